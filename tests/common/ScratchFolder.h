#pragma once

#include <filesystem>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <gtest/gtest.h>

namespace talvo::testfiles {

inline unsigned long processId()
{
#ifdef _WIN32
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(::getpid());
#endif
}

// A fresh folder under the system's temporary folder for the running test, named after
// the test and the process so parallel runs never meet. Removed with all it holds,
// after giving write access back to whatever a test made read-only.
class ScratchFolder {
public:
    ScratchFolder()
    {
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string name = test ? std::string(test->test_suite_name()) + "-" + test->name() : "none";
        path_ = std::filesystem::temp_directory_path() / ("talvo-" + name + "-" + std::to_string(processId()));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder()
    {
        namespace fs = std::filesystem;
        std::error_code ec;
        for (const auto& entry : fs::recursive_directory_iterator(path_, ec))
            if (!entry.is_symlink(ec))
                fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const noexcept { return path_; }

private:
    std::filesystem::path path_;
};

// A test with its own scratch folder.
class ScratchTest : public ::testing::Test {
protected:
    ScratchFolder scratch;
    const std::filesystem::path folder = scratch.path();
};

} // namespace talvo::testfiles
