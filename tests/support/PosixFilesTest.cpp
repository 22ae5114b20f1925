// Saving and logging against what only POSIX systems have: owners, mode bits,
// extended attributes and file-size limits.
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "platform/FileSave.h"
#include "platform/RuntimeError.h"
#include "support/Log.h"
#include "support/TextStream.h"
#include "support/fso.h"
#include "tests/common/FileBytes.h"
#include "tests/common/FileLinks.h"
#include "tests/common/ScratchFolder.h"
#include "tests/support/TextStreamSave.h"

namespace talvo {
namespace {

namespace fs = std::filesystem;
using testfiles::readBytes;
using testfiles::writeBytes;
using textstreamsave::failure;
using textstreamsave::save;
using textstreamsave::strays;

constexpr uid_t kNobody = 65534;

struct stat statOf(const fs::path& path)
{
    struct stat st { };
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

// Lowers the file-size limit of this process for as long as it lives.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        EXPECT_EQ(::getrlimit(RLIMIT_FSIZE, &old_), 0);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = old_;
        small.rlim_cur = bytes;
        EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, previous_);
    }

private:
    struct rlimit old_ { };
    void (*previous_)(int) = nullptr;
};

using PosixSaveTest = testfiles::ScratchTest;

TEST_F(PosixSaveTest, WritableFileInReadOnlyFolder)
{
    const fs::path file = folder / "note.txt";
    writeBytes(file, "old content here");
    ::chmod(file.c_str(), 0666);
    ::chmod(folder.c_str(), 0555);
    const ino_t inode = statOf(file).st_ino;

    save(file, u"short");
    EXPECT_EQ(readBytes(file), "short");
    EXPECT_EQ(statOf(file).st_ino, inode);
    EXPECT_EQ(strays(folder, {"note.txt"}), std::vector<std::string>{});

    if (::geteuid() != 0)
        return;
    // The same as an ordinary user, for whom the folder really refuses new names.
    ASSERT_EQ(::chown(folder.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(::chown(file.c_str(), kNobody, kNobody), 0);
    ::chmod(file.c_str(), 0644);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int code = 0;
        if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            code = 2;
        else if (failure(file, u"saved by the owner") != "saved")
            code = 1;
        ::_exit(code);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(readBytes(file), "saved by the owner");
    EXPECT_EQ(statOf(file).st_ino, inode);
}

TEST_F(PosixSaveTest, OwnerGroupModeAndAttributesAreKept)
{
    // A file of the saving user: replaced by a copy that keeps mode and attributes.
    const fs::path file = folder / "mine.txt";
    writeBytes(file, "old");
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    const bool attributes = ::setxattr(file.c_str(), "user.talvo.note", "kept", 4, 0) == 0;
    gid_t group = statOf(file).st_gid;
    if (::geteuid() == 0) {
        group = kNobody;
        ASSERT_EQ(::chown(file.c_str(), ::geteuid(), group), 0);
        ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    }
    save(file, u"new");
    EXPECT_EQ(readBytes(file), "new");
    EXPECT_EQ(statOf(file).st_mode & 07777, 0640u);
    EXPECT_EQ(statOf(file).st_uid, ::geteuid());
    EXPECT_EQ(statOf(file).st_gid, group);
    if (attributes) {
        char value[16] = {};
        EXPECT_EQ(::getxattr(file.c_str(), "user.talvo.note", value, sizeof value), 4);
        EXPECT_STREQ(value, "kept");
    }
    EXPECT_EQ(strays(folder, {"mine.txt"}), std::vector<std::string>{});

    if (::geteuid() != 0)
        GTEST_SKIP() << "a file owned by another user needs root to set up";
    // Someone else's file saved by root: still theirs, the same file.
    const fs::path theirs = folder / "theirs.txt";
    writeBytes(theirs, "their old text");
    ASSERT_EQ(::chown(theirs.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(::chmod(theirs.c_str(), 0600), 0);
    const ino_t inode = statOf(theirs).st_ino;
    save(theirs, u"root wrote this");
    EXPECT_EQ(readBytes(theirs), "root wrote this");
    const struct stat after = statOf(theirs);
    EXPECT_EQ(after.st_uid, kNobody);
    EXPECT_EQ(after.st_gid, kNobody);
    EXPECT_EQ(after.st_mode & 07777, 0600u);
    EXPECT_EQ(after.st_ino, inode);
}

TEST_F(PosixSaveTest, InPlaceSaveThatDoesNotFitKeepsTheOldFile)
{
    const fs::path file = folder / "big.txt";
    const fs::path other = folder / "big-link.txt";
    writeBytes(file, "old content");
    fs::create_hard_link(file, other);

    const std::u16string body(64 * 1024, u'z');
    std::string result;
    {
        const FileSizeLimit limit(4096);
        result = failure(file, body);
    }

    EXPECT_EQ(result, "Device I/O error while writing");
    EXPECT_EQ(readBytes(file), "old content");
    EXPECT_EQ(readBytes(other), "old content");
    EXPECT_EQ(strays(folder, {"big.txt", "big-link.txt"}), std::vector<std::string>{});
}

TEST_F(PosixSaveTest, FsoSaveThatRunsOutOfRoomKeepsTheOldFile)
{
    // A write that runs out of room half-way: the old file stays whole and no
    // temporary file is left behind.
    const fs::path file = folder / "data.txt";
    writeBytes(file, "old content");
    fso f;
    const std::string body(64 * 1024, 'z');
    bool saved = true;
    {
        const FileSizeLimit limit(4096);
        saved = f.SaveFile(file.u16string(), std::u16string(body.begin(), body.end()));
    }
    EXPECT_FALSE(saved);
    EXPECT_EQ(f.GetErrorInfo(), file.u16string() + u"保存失败！错误信息:Device I/O error while writing");
    EXPECT_EQ(readBytes(file), "old content");
    EXPECT_EQ(strays(folder, {"data.txt"}), std::vector<std::string>{});
}

TEST_F(PosixSaveTest, ReadOnlyFolderMeansOverwriteInPlace)
{
    const fs::path file = folder / "f.txt";
    EXPECT_EQ(platform::saveWholeFile(file, "one", true), platform::SaveWay::Created);
    EXPECT_EQ(platform::saveWholeFile(file, "two", true), platform::SaveWay::Replaced);
    ::chmod(folder.c_str(), 0500);
    EXPECT_EQ(platform::saveWholeFile(file, "three", true), platform::SaveWay::OverwrittenInPlace);
    ::chmod(folder.c_str(), 0700);
    EXPECT_EQ(readBytes(file), "three");
}

TEST_F(PosixSaveTest, LogEntryCutShortByASizeLimitIsLeftOut)
{
    fs::create_directories(folder / "log");
    const fs::path file = folder / "log" / "20240105.log";
    std::ofstream(file, std::ios::binary) << "earlier\r\n";
    // In a child, so the limit cannot touch the rest of the run.
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit { };
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 64;
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            ::_exit(2);
        Log log(folder, [] { return platform::LocalTime{2024, 1, 5, 9, 3, 7}; });
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

} // namespace
} // namespace talvo
