#include "support/fso.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include <gtest/gtest.h>

#include "platform/RuntimeError.h"
#include "platform/Utf.h"
#include "support/TextStream.h"
#include "tests/common/FileBytes.h"
#include "tests/common/FileLinks.h"
#include "tests/common/ScratchFolder.h"
#include "tests/common/SpecialFiles.h"
#include "tests/common/SystemWords.h"
#include "tests/common/WineDifferences.h"

namespace talvo {
namespace {

namespace fs = std::filesystem;
using testfiles::describesSystemError;
using testfiles::readBytes;
using testfiles::writeBytes;

std::u16string text(const fs::path& path) { return path.u16string(); }

class FsoTest : public testfiles::ScratchTest {
protected:
    // Everything in the folder but the named files: leftovers of a save.
    std::vector<fs::path> strays(std::initializer_list<std::string> expected) const
    {
        std::vector<fs::path> out;
        for (const auto& entry : fs::directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            if (std::find(expected.begin(), expected.end(), name) == expected.end())
                out.push_back(entry.path());
        }
        return out;
    }
};

TEST_F(FsoTest, RoundTripsInEveryCharacterSet)
{
    struct Row {
        std::u16string coding;
        std::u16string body;
        std::string bytes; // what the file must hold
    };
    const Row rows[] = {
        {u"", u"中文", "\xD6\xD0\xCE\xC4"},
        {u"gb2312", u"中文 ABC\r\n", "\xD6\xD0\xCE\xC4 ABC\r\n"},
        {u"GB2312", u"丂€", "\x81\x40\x80"}, // the 936 table, beyond GB2312 proper
        {u"gbk", u"丂€", "\x81\x40\x80"},
        {u"utf-8", u"中a\U0001F600",
         "\xE4\xB8\xAD"
         "a\xF0\x9F\x98\x80"},
        {u"UTF-8", u"é", "\xC3\xA9"},
        {u"unicode", u"中a", std::string("\x2D\x4E\x61\x00", 4)},
        {u"utf-16le", u"中a", std::string("\x2D\x4E\x61\x00", 4)},
        // The sets that carry their own mark write it first.
        {u"utf-16", u"中a", std::string("\xFF\xFE\x2D\x4E\x61\x00", 6)},
        {u"UTF-32", u"中", std::string("\xFF\xFE\x00\x00\x2D\x4E\x00\x00", 8)},
        {u"big5", u"中文", "\xA4\xA4\xA4\xE5"},
        {u"us-ascii", u"plain text", "plain text"},
        {u"iso-8859-1", u"café", "caf\xE9"},
    };
    for (const Row& row : rows) {
        const std::string name(row.coding.begin(), row.coding.end());
        const fs::path file = folder / ("round-" + (name.empty() ? std::string("default") : name) + ".txt");
        fso f;
        f.SetCoding(row.coding);
        ASSERT_TRUE(f.SaveFile(text(file), row.body)) << name << ": " << platform::toUtf8(f.GetErrorInfo());
        EXPECT_EQ(readBytes(file), row.bytes) << name;
        ASSERT_TRUE(f.OpenFile(text(file))) << name << ": " << platform::toUtf8(f.GetErrorInfo());
        EXPECT_EQ(f.GetFileText(), row.body) << name;
        EXPECT_EQ(f.GetErrorInfo(), u"") << name;
    }
}

TEST_F(FsoTest, UnmappableCharactersBecomeQuestionMarks)
{
    const fs::path file = folder / "q.txt";
    fso f;
    f.SetCoding(u"us-ascii");
    ASSERT_TRUE(f.SaveFile(text(file), u"a中b"));
    EXPECT_EQ(readBytes(file), "a?b");
    ASSERT_TRUE(f.SaveFile(text(file), u"café ½")); // no look-alikes either
    EXPECT_EQ(readBytes(file), "caf? ?");
    f.SetCoding(u"");
    ASSERT_TRUE(f.SaveFile(text(file), u"a😀b"));
    EXPECT_EQ(readBytes(file), "a?b");
}

TEST_F(FsoTest, ByteOrderMarkOfTheCharacterSetIsSkipped)
{
    struct Row {
        std::u16string coding;
        std::string bytes;
        std::u16string expected;
    };
    const Row rows[] = {
        {u"utf-8",
         "\xEF\xBB\xBF"
         "abc",
         u"abc"},
        {u"utf-8", "abc", u"abc"},
        {u"unicode", std::string("\xFF\xFE\x2D\x4E", 4), u"中"},
        {u"utf-16le", std::string("\xFF\xFE\x61\x00", 4), u"a"},
        // Only at the start, and only the set's own mark.
        {u"utf-8", "a\xEF\xBB\xBF", u"a\uFEFF"},
        {u"gb2312",
         "\xEF\xBB\xBF"
         "a",
         u"锘縜"},
    };
    for (const Row& row : rows) {
        const fs::path file = folder / "bom.txt";
        writeBytes(file, row.bytes);
        fso f;
        f.SetCoding(row.coding);
        ASSERT_TRUE(f.OpenFile(text(file))) << platform::toUtf8(f.GetErrorInfo());
        EXPECT_EQ(f.GetFileText(), row.expected) << std::string(row.coding.begin(), row.coding.end());
    }
}

TEST_F(FsoTest, Gb18030HoldsEveryCharacterAndSkipsItsMark)
{
    TALVO_SKIP_WHERE_WINE_DIFFERS(talvo::tests::kWineHasNoGb18030);
    const fs::path file = folder / "gb18030.txt";
    fso f;
    f.SetCoding(u"gb18030");
    ASSERT_TRUE(f.SaveFile(text(file), u"中€\U00020000")) << platform::toUtf8(f.GetErrorInfo());
    EXPECT_EQ(readBytes(file), "\xD6\xD0\xA2\xE3\x95\x32\x82\x36");
    ASSERT_TRUE(f.OpenFile(text(file)));
    EXPECT_EQ(f.GetFileText(), u"中€\U00020000");
    writeBytes(file, "\x84\x31\x95\x33\xD6\xD0");
    ASSERT_TRUE(f.OpenFile(text(file)));
    EXPECT_EQ(f.GetFileText(), u"中");
}

TEST_F(FsoTest, UndecodableBytesAreData)
{
    const struct {
        std::u16string coding;
        std::string bytes;
        std::u16string expected;
    } rows[] = {
        {u"utf-8", "a\xFF\xC3", u"a\uFFFD\uFFFD"},
        {u"us-ascii", "a\xE9", u"a\uFFFD"},
        {u"unicode", std::string("\x61\x00\x62", 3), u"a\uFFFD"},
    };
    for (const auto& row : rows) {
        const fs::path file = folder / "bad.txt";
        writeBytes(file, row.bytes);
        fso f;
        f.SetCoding(row.coding);
        ASSERT_TRUE(f.OpenFile(text(file)));
        EXPECT_EQ(f.GetFileText(), row.expected);
    }
}

TEST_F(FsoTest, FailedOpenKeepsTextAndReportsThePath)
{
    const fs::path good = folder / "good.txt";
    writeBytes(good, "\xC4\xE3\xBA\xC3"); // 你好
    const std::u16string missing = text(folder / "missing.txt");

    fso f;
    ASSERT_FALSE(f.OpenFile(missing));
    const std::u16string prefix = missing + u"打开失败！错误信息:";
    ASSERT_EQ(f.GetErrorInfo().substr(0, prefix.size()), prefix);
    const std::u16string notFound = f.GetErrorInfo().substr(prefix.size());
    EXPECT_TRUE(describesSystemError(notFound, RuntimeError::kFileNotFound, testfiles::kNoSuchFile));
    EXPECT_EQ(f.GetFileText(), u"");

    ASSERT_TRUE(f.OpenFile(text(good)));
    EXPECT_EQ(f.GetFileText(), u"你好");
    EXPECT_EQ(f.GetErrorInfo(), prefix + notFound); // kept

    // The same numbered errors as everywhere, the system's words in brackets.
    const struct {
        std::u16string path;
        int number;
        testfiles::SystemError error;
    } systemFailures[] = {
        {missing, RuntimeError::kFileNotFound, testfiles::kNoSuchFile},
        {text(folder / "nowhere" / "x.txt"), RuntimeError::kFileNotFound, testfiles::kNoSuchFolder},
        {text(good / "x.txt"), RuntimeError::kPathNotFound, testfiles::kNotAFolder},
        {text(folder / std::string(300, 'n')), RuntimeError::kBadFileName, testfiles::kNameTooLong},
    };
    for (const auto& failure : systemFailures) {
        EXPECT_FALSE(f.OpenFile(failure.path));
        const std::u16string head = failure.path + u"打开失败！错误信息:";
        ASSERT_EQ(f.GetErrorInfo().substr(0, head.size()), head);
        EXPECT_TRUE(describesSystemError(f.GetErrorInfo().substr(head.size()), failure.number, failure.error));
        EXPECT_EQ(f.GetFileText(), u"你好");
    }

    const testfiles::IdlePipe pipe(folder);
    const struct {
        std::u16string path;
        std::u16string description;
    } failures[] = {
        {text(folder), u"Path/File access error (is a directory)"},
        {u"", u"Bad file name (the name is empty)"},
        {text(pipe.path()), u"Path/File access error (not a regular file)"},
    };
    for (const auto& failure : failures) {
        EXPECT_FALSE(f.OpenFile(failure.path));
        EXPECT_EQ(f.GetErrorInfo(), failure.path + u"打开失败！错误信息:" + failure.description);
        EXPECT_EQ(f.GetFileText(), u"你好");
    }
}

TEST_F(FsoTest, UnknownCharacterSetFailsAtTheFileOperation)
{
    const fs::path file = folder / "keep.txt";
    writeBytes(file, "old");
    fso f;
    f.SetCoding(u"xyz");
    EXPECT_FALSE(f.OpenFile(text(file)));
    EXPECT_EQ(f.GetErrorInfo(), text(file) + u"打开失败！错误信息:Unknown character set: xyz");
    EXPECT_FALSE(f.SaveFile(text(file), u"new"));
    EXPECT_EQ(f.GetErrorInfo(), text(file) + u"保存失败！错误信息:Unknown character set: xyz");
    EXPECT_EQ(readBytes(file), "old");
    EXPECT_FALSE(f.SaveFile(text(folder / "new.txt"), u"new"));
    EXPECT_FALSE(fs::exists(folder / "new.txt"));

    // Back to the default, and the stream works again after the failures.
    f.SetCoding(u"");
    ASSERT_TRUE(f.SaveFile(text(file), u"中"));
    EXPECT_EQ(readBytes(file), "\xD6\xD0");
    ASSERT_TRUE(f.OpenFile(text(file)));
    EXPECT_EQ(f.GetFileText(), u"中");
}

TEST_F(FsoTest, FailedSaveLeavesTheOldFile)
{
    const fs::path file = folder / "data.txt";
    const fs::path plain = folder / "plain";
    const fs::path sub = folder / "sub";
    writeBytes(file, "old content");
    writeBytes(plain, "x");
    fs::create_directories(sub / "inner");
    fso f;

    const testfiles::IdlePipe pipe(folder);
    const struct {
        fs::path path;
        int number;
        testfiles::SystemError error;
    } systemFailures[] = {
        {plain / "a.txt", RuntimeError::kPathNotFound, testfiles::kNotAFolder},
        {folder / "nowhere" / "a.txt", RuntimeError::kPathNotFound, testfiles::kNoSuchFolder},
    };
    for (const auto& failure : systemFailures) {
        EXPECT_FALSE(f.SaveFile(text(failure.path), u"new"));
        const std::u16string head = text(failure.path) + u"保存失败！错误信息:";
        ASSERT_EQ(f.GetErrorInfo().substr(0, head.size()), head);
        EXPECT_TRUE(describesSystemError(f.GetErrorInfo().substr(head.size()), failure.number, failure.error));
    }
    const struct {
        fs::path path;
        std::u16string description;
    } failures[] = {
        {sub, u"Path/File access error (is a directory)"},
        {pipe.path(), u"Path/File access error (not a regular file)"},
    };
    for (const auto& failure : failures) {
        EXPECT_FALSE(f.SaveFile(text(failure.path), u"new"));
        EXPECT_EQ(f.GetErrorInfo(), text(failure.path) + u"保存失败！错误信息:" + failure.description);
    }
    EXPECT_TRUE(fs::is_directory(sub / "inner"));
    EXPECT_EQ(readBytes(plain), "x");
    EXPECT_EQ(readBytes(file), "old content");
    EXPECT_FALSE(fs::exists(folder / "nowhere"));

    // Success afterwards keeps the last message.
    const std::u16string last = f.GetErrorInfo();
    ASSERT_TRUE(f.SaveFile(text(file), u"fine"));
    EXPECT_EQ(readBytes(file), "fine");
    EXPECT_EQ(f.GetErrorInfo(), last);
    std::vector<fs::path> expected{file, plain, sub};
#ifndef _WIN32
    expected.push_back(pipe.path());
#endif
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(folder))
        found.push_back(entry.path());
    std::sort(expected.begin(), expected.end());
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, expected) << "nothing left behind";
}

TEST_F(FsoTest, ChineseNamesReachTheSystemAsTheyAre)
{
    // Users keep their files in folders named in Chinese, under Chinese user names.
    const fs::path place = folder / fs::path(u"客户资料 2024");
    fs::create_directories(place);
    const fs::path file = place / fs::path(u"联系人·名单.txt");
    fso f;
    ASSERT_TRUE(f.SaveFile(text(file), u"张三")) << platform::toUtf8(f.GetErrorInfo());
    EXPECT_EQ(readBytes(file), "\xD5\xC5\xC8\xFD");
    ASSERT_TRUE(f.OpenFile(text(file)));
    EXPECT_EQ(f.GetFileText(), u"张三");
    ASSERT_TRUE(f.SaveFile(text(file), u"李四")); // over the file, by its Chinese name
    ASSERT_TRUE(f.OpenFile(text(file)));
    EXPECT_EQ(f.GetFileText(), u"李四");
    std::vector<fs::path> names;
    for (const auto& entry : fs::directory_iterator(place))
        names.push_back(entry.path().filename());
    EXPECT_EQ(names, std::vector<fs::path>{fs::path(u"联系人·名单.txt")});

    // The name comes back whole in the message, too.
    const std::u16string missing = text(place / fs::path(u"不存在.txt"));
    EXPECT_FALSE(f.OpenFile(missing));
    const std::u16string head = missing + u"打开失败！错误信息:";
    ASSERT_EQ(f.GetErrorInfo().substr(0, head.size()), head);
    EXPECT_TRUE(describesSystemError(f.GetErrorInfo().substr(head.size()), RuntimeError::kFileNotFound,
                                     testfiles::kNoSuchFile));
}

TEST_F(FsoTest, SaveReplacesWholeContent)
{
    const fs::path file = folder / "w.txt";
    fso f;
    ASSERT_TRUE(f.SaveFile(text(file), u"a much longer first text"));
    ASSERT_TRUE(f.SaveFile(text(file), u"short"));
    EXPECT_EQ(readBytes(file), "short");
    ASSERT_TRUE(f.SaveFile(text(file), u""));
    EXPECT_TRUE(fs::exists(file));
    EXPECT_EQ(fs::file_size(file), 0u);
    ASSERT_TRUE(f.OpenFile(text(file)));
    EXPECT_EQ(f.GetFileText(), u"");

    // Many calls in a row on one object.
    for (int i = 0; i < 20; ++i) {
        const std::u16string body = u"第" + std::u16string(static_cast<std::size_t>(i), u'次');
        ASSERT_TRUE(f.SaveFile(text(file), body));
        ASSERT_TRUE(f.OpenFile(text(file)));
        ASSERT_EQ(f.GetFileText(), body);
    }
    EXPECT_EQ(strays({"w.txt"}), std::vector<fs::path>{});
}

TEST_F(FsoTest, SaveThroughALink)
{
    // The file the link names changes; the link stays a link.
    const fs::path file = folder / "w.txt";
    const fs::path link = folder / "link.txt";
    writeBytes(file, "old");
    TALVO_SYMLINK_OR_SKIP(file, link);
    fso f;
    ASSERT_TRUE(f.SaveFile(text(link), u"via link")) << platform::toUtf8(f.GetErrorInfo());
    EXPECT_TRUE(testfiles::isSymlink(link));
    EXPECT_EQ(readBytes(file), "via link");
    EXPECT_EQ(strays({"w.txt", "link.txt"}), std::vector<fs::path>{});
}

TEST_F(FsoTest, MissingStream)
{
    const fs::path file = folder / "x.txt";
    writeBytes(file, "abc");
    for (int variant = 0; variant < 2; ++variant) {
        fso f(variant == 0 ? fso::StreamFactory([] { return std::unique_ptr<TextStream>(); })
                           : fso::StreamFactory([]() -> std::unique_ptr<TextStream> { throw std::bad_alloc(); }));
        EXPECT_EQ(f.GetErrorInfo(), u"ADODB.Stream对象创建失败！");
        EXPECT_FALSE(f.OpenFile(text(file)));
        EXPECT_FALSE(f.OpenFile(text(folder / "missing")));
        EXPECT_FALSE(f.SaveFile(text(folder / "y.txt"), u"y"));
        EXPECT_EQ(f.GetErrorInfo(), u"ADODB.Stream对象创建失败！");
        EXPECT_EQ(f.GetFileText(), u"");
        EXPECT_FALSE(fs::exists(folder / "y.txt"));
    }
}

TEST(TextStreamTest, StepsRefusedOutOfOrder)
{
    const auto description = [](auto&& step) -> std::string {
        try {
            step();
        } catch (const RuntimeError& e) {
            return e.what();
        }
        return "no error";
    };
    TextStream s;
    EXPECT_EQ(description([&] { s.readText(); }), "The stream is not open");
    EXPECT_EQ(description([&] { s.setType(3); }), "Unknown stream type 3");
    EXPECT_EQ(description([&] { s.setMode(0); }), "Unknown stream mode 0");
    EXPECT_EQ(description([&] { s.setCharset(u"no-such-set"); }), "Unknown character set: no-such-set");
    EXPECT_EQ(description([&] { s.setCharset(u""); }), "Unknown character set: ");
    EXPECT_EQ(s.charset(), u"gb2312");
    s.open();
    EXPECT_EQ(description([&] { s.open(); }), "The stream is already open");
    EXPECT_EQ(description([&] { s.setMode(TextStream::Read); }), "The mode cannot change while the stream is open");
    s.setCharset(u"utf-8");
    s.writeText(u"héllo");
    EXPECT_EQ(s.size(), 6);
    EXPECT_EQ(description([&] { s.setType(TextStream::Binary); }), "The stream type can only change at position 0");
    EXPECT_EQ(description([&] { s.setPosition(7); }), "Position 7 lies outside the stream");
    EXPECT_EQ(description([&] { s.saveToFile(u"/tmp/x", 3); }), "Unknown save option 3");
    s.setPosition(0);
    s.writeText(u"j"); // overwrites in place
    s.setPosition(0);
    EXPECT_EQ(s.readText(), u"jéllo");
    s.setPosition(0);
    s.setType(TextStream::Binary);
    EXPECT_EQ(description([&] { s.readText(); }), "Text cannot be read from a binary stream");
    s.close();
    s.close();
    EXPECT_FALSE(s.isOpen());
    s.setMode(TextStream::Write);
    s.setType(TextStream::Text);
    s.open();
    EXPECT_EQ(description([&] { s.readText(); }), "The stream was not opened for reading");
    s.writeText(u"x");
    const testfiles::ScratchFolder scratch;
    const fs::path file = scratch.path() / "x.txt";
    s.saveToFile(file.u16string(), TextStream::CreateNotExist);
    EXPECT_EQ(description([&] { s.saveToFile(file.u16string(), TextStream::CreateNotExist); }), "File already exists");
    EXPECT_EQ(readBytes(file), "x");
}

} // namespace
} // namespace talvo
