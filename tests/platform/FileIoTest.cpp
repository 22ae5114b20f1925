#include "platform/FileIo.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>

#include "platform/RuntimeError.h"
#include "platform/Utf.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

using talvo::RuntimeError;
namespace fs = std::filesystem;
namespace platform = talvo::platform;

namespace {

class FileIo : public testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path()
            / ("talvo-fileio-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        fs::create_directories(dir_);
    }
    void TearDown() override
    {
        std::error_code ignored;
        for (const auto& entry : fs::recursive_directory_iterator(dir_, ignored))
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(dir_, ignored);
    }

    // The number and description of the error the call throws; 0 when it throws none.
    template<typename Call>
    std::pair<int, std::string> errorOf(Call call)
    {
        try {
            call();
        } catch (const RuntimeError& error) {
            return {error.number(), error.what()};
        }
        return {0, {}};
    }

    fs::path dir_;
};

bool validUtf8(const std::string& text) { return platform::toUtf8(platform::fromUtf8(text)) == text; }

} // namespace

TEST_F(FileIo, ChineseNamesReadOnlyFilesAndErrorsAsOnEveryPlatform)
{
    // A Chinese name goes to the system as it is.
    const fs::path chinese = dir_ / fs::path(u"日志 文件.txt");
    platform::writeWholeFile(chinese, std::string("\xD6\xD0\0x", 4));
    EXPECT_TRUE(fs::exists(chinese));
    EXPECT_EQ(platform::readWholeFile(chinese), std::string("\xD6\xD0\0x", 4));
    platform::writeWholeFile(chinese, "");
    EXPECT_EQ(platform::readWholeFile(chinese), "") << "rewritten from the start";

    // A read-only file can be replaced: removed, then written anew.
    const fs::path readOnly = dir_ / "readonly.bin";
    platform::writeWholeFile(readOnly, "old");
    fs::permissions(readOnly, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    platform::removeFile(readOnly);
    EXPECT_FALSE(fs::exists(readOnly));
    platform::removeFile(readOnly); // nothing to remove is no error
    platform::writeWholeFile(readOnly, "new");
    EXPECT_EQ(platform::readWholeFile(readOnly), "new");

    // The same numbers everywhere, with the system's own words in UTF-8.
    platform::writeWholeFile(dir_ / "plain", "a file");
    const auto [missing, missingText] = errorOf([&] { platform::readWholeFile(dir_ / "nothing.txt"); });
    EXPECT_EQ(missing, RuntimeError::kFileNotFound);
    EXPECT_TRUE(validUtf8(missingText)) << missingText;
    EXPECT_EQ(errorOf([&] { platform::writeWholeFile(dir_ / "missing" / "x.txt", "x"); }).first,
              RuntimeError::kFileNotFound);
    EXPECT_EQ(errorOf([&] { platform::writeWholeFile(dir_ / "plain" / "x.txt", "x"); }).first,
              RuntimeError::kPathNotFound)
        << "a file used as a folder";
    EXPECT_EQ(errorOf([&] { platform::writeWholeFile(dir_ / std::string(300, 'n'), "x"); }).first,
              RuntimeError::kBadFileName);
    fs::create_directory(dir_ / "folder");
    EXPECT_NE(errorOf([&] { platform::writeWholeFile(dir_ / "folder", "x"); }).first, 0);
    EXPECT_TRUE(fs::is_directory(dir_ / "folder"));
    EXPECT_EQ(platform::readWholeFile(dir_ / "plain"), "a file");
}

TEST_F(FileIo, PipesAndDevicesAreRefusedNotWaitedOn)
{
#ifdef _WIN32
    const fs::path pipe = L"\\\\.\\pipe\\talvo-fileio-" + std::to_wstring(GetCurrentProcessId());
    HANDLE server = CreateNamedPipeW(pipe.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE, 1, 4096, 4096, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    const fs::path device = L"NUL";
#else
    const fs::path pipe = dir_ / "pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const fs::path device = "/dev/null";
#endif
    for (const fs::path& target : {pipe, device}) {
        auto outcome = std::async(std::launch::async,
                                  [&] { return errorOf([&] { platform::writeWholeFile(target, "x"); }).first; });
        if (outcome.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            std::ifstream(pipe, std::ios::binary).get(); // let the stuck writer end
            ADD_FAILURE() << "a write waited for a reader";
        }
        EXPECT_EQ(outcome.get(), RuntimeError::kPathFileAccess) << target.string();
    }
#ifdef _WIN32
    CloseHandle(server);
#endif
}
