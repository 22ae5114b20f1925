#include "support/Log.h"

#include <filesystem>
#include <fstream>
#include <csignal>
#include <set>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "platform/CodePage.h"
#include "platform/ProgramInfo.h"
#include "tests/common/FileBytes.h"

namespace talvo {
namespace {

namespace fs = std::filesystem;
using testfiles::readBytes;

platform::LocalTime at(int y, int mo, int d, int h, int mi, int s) { return {y, mo, d, h, mi, s}; }

class LogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        program = fs::temp_directory_path()
                  / ("talvo-log-" + std::to_string(::getpid()) + "-"
                     + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(program);
        fs::create_directories(program / "log");
    }
    void TearDown() override { fs::remove_all(program); }

    // A log whose clock answers `now`, which the test may move.
    Log logAt() { return Log(program, [this] { return now; }); }

    fs::path program;
    platform::LocalTime now = at(2024, 1, 5, 9, 3, 7);
};

TEST_F(LogTest, EntryLineInTheAnsiCodePage)
{
    Log log = logAt();
    log.ShowMesssage(u"connected");
    // 信息 and the full-width colon in GBK.
    EXPECT_EQ(readBytes(program / "log" / "20240105.log"),
              "2024-01-05 09:03:07 :: \xD0\xC5\xCF\xA2\xA3\xBA" "connected\r\n");
}

TEST_F(LogTest, EveryEntryKind)
{
    Log log = logAt();
    now = at(987, 12, 31, 23, 5, 0);  // every field padded to its width
    log.ShowMesssage(u"a");
    log.ShowWarn(u"b");
    log.ShowError(u"c");
    log.ShowException(u"");
    log.ShowError(u"多行\r\n文本");
    log.ShowWarn(u"ŧ😀");  // not in the code page
    EXPECT_EQ(platform::ansiToText(readBytes(program / "log" / "09871231.log")),
              u"0987-12-31 23:05:00 :: 信息：a\r\n"
              u"0987-12-31 23:05:00 :: 警告：b\r\n"
              u"0987-12-31 23:05:00 -- 错误：c\r\n"
              u"0987-12-31 23:05:00 -- 异常：\r\n"
              u"0987-12-31 23:05:00 -- 错误：多行\r\n文本\r\n"
              u"0987-12-31 23:05:00 :: 警告：??\r\n");
}

TEST_F(LogTest, WriteLogAddsNothing)
{
    Log log = logAt();
    log.WriteLog(u"raw");
    log.WriteLog(u" text\nwith\r\nbreaks");
    log.WriteLog(u"");
    EXPECT_EQ(readBytes(program / "log" / "20240105.log"), "raw text\nwith\r\nbreaks");
}

TEST_F(LogTest, OneFilePerDay)
{
    const fs::path first = program / "log" / "20240105.log";
    std::ofstream(first, std::ios::binary) << "earlier\r\n";
    Log log = logAt();
    log.ShowMesssage(u"one");
    now = at(2024, 1, 5, 23, 59, 59);
    log.ShowMesssage(u"two");
    now = at(2024, 1, 6, 0, 0, 0);
    log.ShowMesssage(u"three");
    EXPECT_EQ(platform::ansiToText(readBytes(first)),
              u"earlier\r\n2024-01-05 09:03:07 :: 信息：one\r\n2024-01-05 23:59:59 :: 信息：two\r\n");
    EXPECT_EQ(platform::ansiToText(readBytes(program / "log" / "20240106.log")),
              u"2024-01-06 00:00:00 :: 信息：three\r\n");
}

TEST_F(LogTest, EntryAcrossMidnightLandsInTheNewDay)
{
    // The stamp and the file name are two readings of the clock.
    int reading = 0;
    Log log(program, [&reading] {
        return reading++ == 0 ? at(2024, 2, 29, 23, 59, 59) : at(2024, 3, 1, 0, 0, 0);
    });
    log.ShowError(u"late");
    EXPECT_FALSE(fs::exists(program / "log" / "20240229.log"));
    EXPECT_EQ(platform::ansiToText(readBytes(program / "log" / "20240301.log")),
              u"2024-02-29 23:59:59 -- 错误：late\r\n");
}

TEST_F(LogTest, NothingWrittenWithoutTheFolder)
{
    fs::remove_all(program / "log");
    Log log = logAt();
    log.ShowMesssage(u"lost");
    log.WriteLog(u"lost");
    EXPECT_FALSE(fs::exists(program / "log"));

    // A file where the folder should be, and a folder where the day file should be.
    std::ofstream(program / "log") << "not a folder";
    log.ShowWarn(u"lost");
    EXPECT_EQ(readBytes(program / "log"), "not a folder");
    fs::remove(program / "log");
    fs::create_directories(program / "log" / "20240105.log");
    log.ShowError(u"lost");
    EXPECT_TRUE(fs::is_directory(program / "log" / "20240105.log"));

    // A clock that throws is swallowed too.
    Log broken(program, []() -> platform::LocalTime { throw std::runtime_error("no clock"); });
    broken.ShowException(u"lost");
    broken.WriteLog(u"lost");

    // A missing program folder.
    Log elsewhere(program / "gone", [this] { return now; });
    elsewhere.ShowMesssage(u"lost");
    EXPECT_FALSE(fs::exists(program / "gone"));
}

TEST_F(LogTest, DefaultLogUsesTheProgramFolder)
{
    const fs::path folder = platform::programFolder() / "log";
    if (fs::exists(folder))
        GTEST_SKIP() << folder << " already exists";
    Log log;
    log.ShowMesssage(u"absent");
    EXPECT_FALSE(fs::exists(folder));
    fs::create_directory(folder);
    log.ShowMesssage(u"present");
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder))
        files.push_back(entry.path());
    fs::remove_all(folder);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].filename().string().size(), 12u);  // YYYYMMDD.log
    EXPECT_EQ(files[0].extension(), ".log");
}

TEST_F(LogTest, EntryCutShortByASizeLimitIsLeftOut)
{
    const fs::path file = program / "log" / "20240105.log";
    std::ofstream(file, std::ios::binary) << "earlier\r\n";
    // In a child, so the limit cannot touch the rest of the run.
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 64;
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            ::_exit(2);
        Log log = logAt();
        log.ShowMesssage(u"this entry is far too long to fit under the limit");
        log.WriteLog(u"raw text that does not fit either, not even its first half");
        log.WriteLog(u"fits\r\n");
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(readBytes(file), "earlier\r\nfits\r\n");
}

TEST_F(LogTest, ConcurrentProcessesNeverTearEntries)
{
    constexpr int kProcesses = 8;
    constexpr int kEntries = 1000;
    // Long entries make a torn write likely if appends were not whole.
    const std::u16string padding(300, u'填');
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            Log log = logAt();
            for (int i = 0; i < kEntries; ++i) {
                const std::string tag = "p" + std::to_string(p) + "e" + std::to_string(i) + "|";
                log.ShowMesssage(std::u16string(tag.begin(), tag.end()) + padding);
            }
            ::_exit(0);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    const std::u16string content = platform::ansiToText(readBytes(program / "log" / "20240105.log"));
    const std::u16string head = u"2024-01-05 09:03:07 :: 信息：";
    std::set<std::u16string> seen;
    std::size_t lines = 0;
    for (std::size_t start = 0; start < content.size();) {
        const std::size_t end = content.find(u"\r\n", start);
        ASSERT_NE(end, std::u16string::npos) << "unterminated tail";
        const std::u16string line = content.substr(start, end - start);
        ++lines;
        ASSERT_EQ(line.substr(0, head.size()), head) << "line " << lines;
        const std::size_t bar = line.find(u'|');
        ASSERT_NE(bar, std::u16string::npos) << "line " << lines;
        ASSERT_EQ(line.substr(bar + 1), padding) << "line " << lines;
        seen.insert(line.substr(head.size(), bar - head.size()));
        start = end + 2;
    }
    EXPECT_EQ(lines, static_cast<std::size_t>(kProcesses * kEntries));
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(kProcesses * kEntries));
}

} // namespace
} // namespace talvo
