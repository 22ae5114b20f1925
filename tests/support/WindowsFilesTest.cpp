// Saving over files as only Windows has them: held open by other programs under
// sharing rules, and carrying file attributes.
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/FileSave.h"
#include "platform/RuntimeError.h"
#include "platform/Utf.h"
#include "support/fso.h"
#include "tests/common/FileBytes.h"
#include "tests/common/FileLinks.h"
#include "tests/common/ScratchFolder.h"
#include "tests/common/WineDifferences.h"
#include "tests/support/TextStreamSave.h"

namespace talvo {
namespace {

namespace fs = std::filesystem;
using testfiles::identityOf;
using testfiles::readBytes;
using testfiles::writeBytes;
using textstreamsave::strays;

using WindowsSaveTest = testfiles::ScratchTest;

// What another program sees through its own handle, from the start.
std::string readThrough(HANDLE file)
{
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    std::string bytes(256, '\0');
    DWORD got = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    bytes.resize(got);
    return bytes;
}

// Editors and viewers often keep a file open without letting it be renamed or deleted
// meanwhile: the file cannot be replaced by a renamed copy, so it is overwritten in
// place, and the other program sees the new text in the same file.
TEST_F(WindowsSaveTest, FileHeldOpenByAnotherProgramIsOverwrittenInPlace)
{
    const fs::path file = folder / "held.txt";
    writeBytes(file, "old content, longer than the new");
    const testfiles::FileIdentity before = identityOf(file);
    const HANDLE held = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    fso f;
    f.SetCoding(u"utf-8");
    const bool saved = f.SaveFile(file.u16string(), u"新的");
    const std::string seen = readThrough(held);
    CloseHandle(held);
    ASSERT_TRUE(saved) << platform::toUtf8(f.GetErrorInfo());
    EXPECT_EQ(seen, "\xE6\x96\xB0\xE7\x9A\x84");
    EXPECT_EQ(readBytes(file), seen);
    EXPECT_EQ(identityOf(file), before);
    EXPECT_EQ(strays(folder, {"held.txt"}), std::vector<std::string>{});
}

// A program that holds the file without letting others write it: the save is refused
// with the numbered error for access, and the file keeps its text.
TEST_F(WindowsSaveTest, FileLockedAgainstWritingIsRefusedAndKept)
{
    const fs::path file = folder / "locked.txt";
    writeBytes(file, "old");
    const HANDLE held = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    int number = 0;
    try {
        platform::saveWholeFile(file, "new", true);
    } catch (const RuntimeError& e) {
        number = e.number();
    }
    CloseHandle(held);
    EXPECT_EQ(number, RuntimeError::kPermissionDenied);
    EXPECT_EQ(readBytes(file), "old");
    EXPECT_EQ(strays(folder, {"locked.txt"}), std::vector<std::string>{});
}

// A read-only file is not saved over, as on Linux for a file its user may not write:
// the numbered error for access, the old text and the mark stay.
TEST_F(WindowsSaveTest, ReadOnlyFileIsRefusedAndKept)
{
    const fs::path file = folder / "readonly.txt";
    writeBytes(file, "old");
    ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
    fso f;
    const bool saved = f.SaveFile(file.u16string(), u"new");
    if (saved && talvo::tests::runningUnderWine())
        GTEST_SKIP() << "Wine differs from Windows here: " << talvo::tests::kWineRootWritesReadOnlyFiles;
    EXPECT_FALSE(saved);
    const std::u16string head = file.u16string() + u"保存失败！错误信息:";
    ASSERT_EQ(f.GetErrorInfo().substr(0, head.size()), head);
    EXPECT_EQ(f.GetErrorInfo().substr(head.size(), 19), u"Permission denied (");
    EXPECT_EQ(readBytes(file), "old");
    EXPECT_NE(GetFileAttributesW(file.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(strays(folder, {"readonly.txt"}), std::vector<std::string>{});
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Hidden and system marks stay on a file saved over, as mode bits do on POSIX
// systems; the archive mark tells backups that the file changed.
TEST_F(WindowsSaveTest, FileAttributesAreKept)
{
    const fs::path file = folder / "marked.txt";
    writeBytes(file, "old");
    const DWORD marks = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    ASSERT_TRUE(SetFileAttributesW(file.c_str(), marks));
    EXPECT_EQ(platform::saveWholeFile(file, "new", true), platform::SaveWay::Replaced);
    EXPECT_EQ(readBytes(file), "new");
    EXPECT_EQ(GetFileAttributesW(file.c_str()) & (marks | FILE_ATTRIBUTE_ARCHIVE), marks | FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(strays(folder, {"marked.txt"}), std::vector<std::string>{});
}

} // namespace
} // namespace talvo
