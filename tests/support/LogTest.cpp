#include "support/Log.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include "platform/CodePage.h"
#include "platform/ProgramInfo.h"
#include "tests/common/FileBytes.h"
#include "tests/common/ScratchFolder.h"
#include "tests/common/WineDifferences.h"
#include "tests/support/LogWriterEntries.h"

namespace talvo {
namespace {

namespace fs = std::filesystem;
using testfiles::readBytes;

platform::LocalTime at(int y, int mo, int d, int h, int mi, int s) { return {y, mo, d, h, mi, s}; }

// Starts the log writer that sits beside this test program, in `folder`, as writer
// number `process`; true when it ran to its end with 0.
class WriterProcess {
public:
    WriterProcess(const fs::path& folder, int process)
    {
        const fs::path writer = platform::programFolder() / "talvo_log_writer";
#ifdef _WIN32
        std::wstring command = L"\"" + writer.native() + L".exe\" " + std::to_wstring(process);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                           &started)) {
            CloseHandle(started.hThread);
            process_ = started.hProcess;
        }
#else
        process_ = ::fork();
        if (process_ == 0) {
            const std::string number = std::to_string(process);
            if (::chdir(folder.c_str()) == 0)
                ::execl(writer.c_str(), writer.c_str(), number.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
#endif
    }
    WriterProcess(const WriterProcess&) = delete;
    WriterProcess& operator=(const WriterProcess&) = delete;
    ~WriterProcess() { succeeded(); }

    bool started() const noexcept { return process_ != kNone; }

    bool succeeded()
    {
        if (process_ == kNone)
            return finishedWell_;
#ifdef _WIN32
        DWORD code = 1;
        finishedWell_ = WaitForSingleObject(process_, INFINITE) == WAIT_OBJECT_0 && GetExitCodeProcess(process_, &code)
            && code == 0;
        CloseHandle(process_);
#else
        int status = 0;
        finishedWell_ = ::waitpid(process_, &status, 0) == process_ && WIFEXITED(status) && WEXITSTATUS(status) == 0;
#endif
        process_ = kNone;
        return finishedWell_;
    }

private:
#ifdef _WIN32
    static inline const HANDLE kNone = nullptr;
    HANDLE process_ = kNone;
#else
    static constexpr pid_t kNone = -1;
    pid_t process_ = kNone;
#endif
    bool finishedWell_ = false;
};

class LogTest : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(program / "log"); }

    // A log whose clock answers `now`, which the test may move.
    Log logAt()
    {
        return Log(program, [this] { return now; });
    }

    testfiles::ScratchFolder scratch;
    const fs::path program = scratch.path();
    platform::LocalTime now = at(2024, 1, 5, 9, 3, 7);
};

TEST_F(LogTest, EntryLineInTheAnsiCodePage)
{
    Log log = logAt();
    log.ShowMesssage(u"connected");
    // 信息 and the full-width colon in GBK.
    EXPECT_EQ(readBytes(program / "log" / "20240105.log"),
              "2024-01-05 09:03:07 :: \xD0\xC5\xCF\xA2\xA3\xBA"
              "connected\r\n");
}

TEST_F(LogTest, EveryEntryKind)
{
    Log log = logAt();
    now = at(987, 12, 31, 23, 5, 0); // every field padded to its width
    log.ShowMesssage(u"a");
    log.ShowWarn(u"b");
    log.ShowError(u"c");
    log.ShowException(u"");
    log.ShowError(u"多行\r\n文本");
    log.ShowWarn(u"ŧ😀"); // not in the code page
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
    Log log(program, [&reading] { return reading++ == 0 ? at(2024, 2, 29, 23, 59, 59) : at(2024, 3, 1, 0, 0, 0); });
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

TEST_F(LogTest, ProgramFolderWithAChineseName)
{
    const fs::path chinese = program / fs::path(u"营销软件");
    fs::create_directories(chinese / "log");
    Log log(chinese, [this] { return now; });
    log.ShowWarn(u"中文路径");
    EXPECT_EQ(platform::ansiToText(readBytes(chinese / "log" / "20240105.log")),
              u"2024-01-05 09:03:07 :: 警告：中文路径\r\n");
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
    EXPECT_EQ(files[0].filename().string().size(), 12u); // YYYYMMDD.log
    EXPECT_EQ(files[0].extension(), ".log");
}

TEST_F(LogTest, ConcurrentProcessesNeverTearEntries)
{
    using logwriter::kEntries;
    using logwriter::kProcesses;
    const std::u16string padding = logwriter::padding();
    std::vector<std::unique_ptr<WriterProcess>> writers;
    for (int p = 0; p < kProcesses; ++p) {
        writers.push_back(std::make_unique<WriterProcess>(program, p));
        ASSERT_TRUE(writers.back()->started()) << "writer " << p;
    }
    for (int p = 0; p < kProcesses; ++p)
        ASSERT_TRUE(writers[static_cast<std::size_t>(p)]->succeeded()) << "writer " << p;
    TALVO_SKIP_WHERE_WINE_DIFFERS(talvo::tests::kWineAppendsCanInterleave);

    const std::u16string content = platform::ansiToText(readBytes(program / "log" / "20240105.log"));
    const std::u16string head = u"2024-01-05 09:03:07 :: 信息："; // logwriter::kNow
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
