// Special files as Base64 destinations (POSIX: named pipes and character devices).
#include "codec/Base64.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <random>
#include <sys/stat.h>

#include "platform/RuntimeError.h"

using talvo::Base64;
using talvo::RuntimeError;
namespace fs = std::filesystem;

namespace {

class Base64SpecialFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device rd;
        dir_ = fs::temp_directory_path() / ("talvo-codec-special-" + std::to_string(rd()));
        fs::create_directories(dir_);
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    std::u16string path(const std::string& name) const { return (dir_ / name).u16string(); }

    static int errorNumberOf(const std::function<void()>& action)
    {
        try {
            action();
        } catch (const RuntimeError& e) {
            return e.number();
        }
        return 0;
    }

    fs::path dir_;
    Base64 codec_;
};

} // namespace

TEST_F(Base64SpecialFiles, PipesAndDevicesAreRefusedNotWaitedOn)
{
    ASSERT_EQ(::mkfifo((dir_ / "pipe").c_str(), 0600), 0);
    std::ofstream(dir_ / "source", std::ios::binary) << "abc";
    const std::function<void()> writers[] = {
        [&] { codec_.DecodeBase64StringToFile(u"Zm9v", path("pipe")); },
        [&] { codec_.EncodFileToBase64File(path("source"), path("pipe")); },
        [&] { codec_.DecodeBase64StringToFile(u"Zm9v", u"/dev/null"); },
    };
    for (const auto& writer : writers) {
        auto outcome = std::async(std::launch::async, [&] { return errorNumberOf(writer); });
        if (outcome.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            // Let the stuck writer finish so the test can report instead of hanging.
            std::ifstream(dir_ / "pipe", std::ios::binary).get();
            ADD_FAILURE() << "a write into the pipe waited for a reader";
        }
        EXPECT_EQ(outcome.get(), RuntimeError::kPathFileAccess);
    }
    EXPECT_TRUE(fs::is_fifo(dir_ / "pipe"));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
}
