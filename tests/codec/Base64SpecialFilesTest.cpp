// Special files as Base64 destinations (POSIX: named pipes and character devices).
#include "codec/Base64.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <sys/stat.h>

#include "Base64FileFixture.h"

using talvo::RuntimeError;
namespace fs = std::filesystem;

namespace {

// The same fixture, its own name for the POSIX-only cases.
class Base64SpecialFiles : public talvo::testfiles::Base64Files {};

} // namespace

TEST_F(Base64SpecialFiles, PipesAndDevicesAreRefusedNotWaitedOn)
{
    ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0600), 0);
    std::ofstream(folder / "source", std::ios::binary) << "abc";
    const std::function<void()> writers[] = {
        [&] { codec_.DecodeBase64StringToFile(u"Zm9v", path("pipe")); },
        [&] { codec_.EncodFileToBase64File(path("source"), path("pipe")); },
        [&] { codec_.DecodeBase64StringToFile(u"Zm9v", u"/dev/null"); },
    };
    for (const auto& writer : writers) {
        auto outcome = std::async(std::launch::async, [&] { return errorNumberOf(writer); });
        if (outcome.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            // Let the stuck writer finish so the test can report instead of hanging.
            std::ifstream(folder / "pipe", std::ios::binary).get();
            ADD_FAILURE() << "a write into the pipe waited for a reader";
        }
        EXPECT_EQ(outcome.get(), RuntimeError::kPathFileAccess);
    }
    EXPECT_TRUE(fs::is_fifo(folder / "pipe"));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
}
