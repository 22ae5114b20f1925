// Special files as Base64 destinations: named pipes and devices.
#include "codec/Base64.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>

#include "Base64FileFixture.h"
#include "tests/common/SpecialFiles.h"

using talvo::RuntimeError;
namespace fs = std::filesystem;

namespace {

class Base64SpecialFiles : public talvo::testfiles::Base64Files { };

#ifdef _WIN32
constexpr char16_t kNullDevice[] = u"NUL";
#else
constexpr char16_t kNullDevice[] = u"/dev/null";
#endif

} // namespace

TEST_F(Base64SpecialFiles, PipesAndDevicesAreRefusedNotWaitedOn)
{
    const talvo::testfiles::IdlePipe pipe(folder);
    const std::u16string pipePath = pipe.path().u16string();
    write("source", "abc");
    const std::function<void()> writers[] = {
        [&] { codec_.DecodeBase64StringToFile(u"Zm9v", pipePath); },
        [&] { codec_.EncodFileToBase64File(path("source"), pipePath); },
        [&] { codec_.DecodeBase64StringToFile(u"Zm9v", kNullDevice); },
    };
    for (const auto& writer : writers) {
        auto outcome = std::async(std::launch::async, [&] { return errorNumberOf(writer); });
        if (outcome.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            // Let the stuck writer finish so the test can report instead of hanging.
            std::ifstream(pipe.path(), std::ios::binary).get();
            ADD_FAILURE() << "a write into the pipe waited for a reader";
        }
        EXPECT_EQ(outcome.get(), RuntimeError::kPathFileAccess);
    }
#ifndef _WIN32
    EXPECT_TRUE(fs::is_fifo(pipe.path()));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
#endif
}
