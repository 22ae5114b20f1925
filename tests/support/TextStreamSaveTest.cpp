// Saving over files that other names, owners and programs hold on to, on real files.
#include "support/TextStream.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/FileSave.h"
#include "platform/RuntimeError.h"
#include "tests/common/FileBytes.h"

namespace talvo {
namespace {

namespace fs = std::filesystem;
using testfiles::readBytes;
using testfiles::writeBytes;

constexpr uid_t kNobody = 65534;

struct stat statOf(const fs::path& path)
{
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

// The whole save as the file-access class drives it: UTF-8 text, overwrite allowed.
void save(const fs::path& path, const std::u16string& body)
{
    TextStream s;
    s.open();
    s.setCharset(u"utf-8");
    s.writeText(body);
    s.saveToFile(path.u16string(), TextStream::CreateOverwrite);
}

std::string failure(const fs::path& path, const std::u16string& body)
{
    try {
        save(path, body);
    } catch (const RuntimeError& e) {
        return e.what();
    }
    return "saved";
}

class TextStreamSaveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = fs::temp_directory_path()
                 / ("talvo-save-" + std::to_string(::getpid()) + "-"
                    + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override
    {
        std::error_code ec;
        for (const auto& entry : fs::recursive_directory_iterator(folder, ec))
            if (entry.is_directory(ec) && !entry.is_symlink(ec))
                fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(folder, ec);
    }

    // Names in a folder that a save left behind besides the expected ones.
    static std::vector<std::string> strays(const fs::path& where, std::initializer_list<std::string> expected)
    {
        std::vector<std::string> out;
        for (const auto& entry : fs::directory_iterator(where)) {
            const std::string name = entry.path().filename().string();
            if (std::find(expected.begin(), expected.end(), name) == expected.end())
                out.push_back(name);
        }
        return out;
    }

    fs::path folder;
};

TEST_F(TextStreamSaveTest, EveryHardLinkShowsTheNewText)
{
    const fs::path file = folder / "a.txt";
    const fs::path other = folder / "b.txt";
    writeBytes(file, "old text that is longer");
    fs::create_hard_link(file, other);
    const ino_t inode = statOf(file).st_ino;

    save(file, u"new 文本");
    EXPECT_EQ(readBytes(file), "new \xE6\x96\x87\xE6\x9C\xAC");
    EXPECT_EQ(readBytes(other), readBytes(file));
    EXPECT_EQ(statOf(file).st_ino, inode);
    EXPECT_EQ(statOf(file).st_nlink, 2u);

    // Longer than before, through the other name.
    save(other, u"a much longer text than any of the ones before it");
    EXPECT_EQ(readBytes(file), "a much longer text than any of the ones before it");
    EXPECT_EQ(strays(folder, {"a.txt", "b.txt"}), std::vector<std::string>{});
}

TEST_F(TextStreamSaveTest, LinksAreWrittenThroughAndStayLinks)
{
    fs::create_directories(folder / "sub");
    const fs::path file = folder / "sub" / "real.txt";
    writeBytes(file, "old");
    // A chain of relative links: near -> far -> sub/real.txt.
    fs::create_symlink("sub/real.txt", folder / "far");
    fs::create_symlink("far", folder / "near");
    save(folder / "near", u"through two links");
    EXPECT_TRUE(fs::is_symlink(folder / "near"));
    EXPECT_TRUE(fs::is_symlink(folder / "far"));
    EXPECT_EQ(readBytes(file), "through two links");

    // A link to a file that does not exist yet creates that file.
    fs::create_symlink("sub/later.txt", folder / "pending");
    save(folder / "pending", u"created");
    EXPECT_TRUE(fs::is_symlink(folder / "pending"));
    EXPECT_EQ(readBytes(folder / "sub" / "later.txt"), "created");

    // A link into a missing folder fails as that folder would, and stays.
    fs::create_symlink("gone/x.txt", folder / "broken");
    EXPECT_EQ(failure(folder / "broken", u"x"), "Path not found (No such file or directory)");
    EXPECT_TRUE(fs::is_symlink(folder / "broken"));

    // A link loop is an error, not a hang.
    fs::create_symlink("loop2", folder / "loop1");
    fs::create_symlink("loop1", folder / "loop2");
    EXPECT_NE(failure(folder / "loop1", u"x"), "saved");
    EXPECT_TRUE(fs::is_symlink(folder / "loop1"));

    EXPECT_EQ(strays(folder, {"sub", "far", "near", "pending", "broken", "loop1", "loop2"}),
              std::vector<std::string>{});
    EXPECT_EQ(strays(folder / "sub", {"real.txt", "later.txt"}), std::vector<std::string>{});
}

TEST_F(TextStreamSaveTest, WritableFileInReadOnlyFolder)
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
    ::chown(folder.c_str(), kNobody, kNobody);
    ::chown(file.c_str(), kNobody, kNobody);
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

TEST_F(TextStreamSaveTest, OwnerGroupModeAndAttributesAreKept)
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

TEST_F(TextStreamSaveTest, InPlaceSaveThatDoesNotFitKeepsTheOldFile)
{
    const fs::path file = folder / "big.txt";
    const fs::path other = folder / "big-link.txt";
    writeBytes(file, "old content");
    fs::create_hard_link(file, other);

    const std::u16string body(64 * 1024, u'z');
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string result = failure(file, body);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);

    EXPECT_EQ(result, "Device I/O error while writing");
    EXPECT_EQ(readBytes(file), "old content");
    EXPECT_EQ(readBytes(other), "old content");
    EXPECT_EQ(strays(folder, {"big.txt", "big-link.txt"}), std::vector<std::string>{});
}

TEST(SaveWayTest, RouteFollowsWhatTheFileNeeds)
{
    const fs::path folder = fs::temp_directory_path() / ("talvo-saveway-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    const fs::path file = folder / "f.txt";
    using platform::SaveWay;
    EXPECT_EQ(platform::saveWholeFile(file, "one", true), SaveWay::Created);
    EXPECT_EQ(platform::saveWholeFile(file, "two", true), SaveWay::Replaced);
    fs::create_hard_link(file, folder / "g.txt");
    EXPECT_EQ(platform::saveWholeFile(file, "three", true), SaveWay::OverwrittenInPlace);
    fs::remove(folder / "g.txt");
    EXPECT_EQ(platform::saveWholeFile(file, "four", true), SaveWay::Replaced);
    ::chmod(folder.c_str(), 0500);
    EXPECT_EQ(platform::saveWholeFile(file, "five", true), SaveWay::OverwrittenInPlace);
    ::chmod(folder.c_str(), 0700);
    EXPECT_EQ(readBytes(file), "five");
    try {
        platform::saveWholeFile(file, "six", false);
        ADD_FAILURE() << "an existing file was replaced";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), 58);
    }
    EXPECT_EQ(readBytes(file), "five");
    fs::remove_all(folder);
}

} // namespace
} // namespace talvo
