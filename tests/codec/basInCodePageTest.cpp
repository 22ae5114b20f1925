#include "codec/basInCodePage.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/CodePage.h"
#include "platform/RuntimeError.h"

using namespace talvo::basInCodePage;
using talvo::RuntimeError;

TEST(basInCodePage, ConvertsBothWays)
{
    struct Row {
        const char* why;
        std::u16string text;
        std::int32_t codePage;
        std::string bytes;
    };
    const std::vector<Row> rows = {
        {"empty UTF-8", u"", 65001, ""},
        {"empty ANSI", u"", 0, ""},
        {"UTF-8", u"aé中\U0001F600", 65001, "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80"},
        {"ANSI is GBK", u"中文", 0, "\xD6\xD0\xCE\xC4"},
        {"-1 is the active code page", u"中文", -1, "\xD6\xD0\xCE\xC4"},
        {"named 936", u"中文", 936, "\xD6\xD0\xCE\xC4"},
        {"Western", u"€", 1252, "\x80"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(UnicodeToCodePage(row.text, row.codePage, 0), row.bytes) << row.why;
        EXPECT_EQ(CodePageToUnicode(row.bytes, row.codePage, 0), row.text) << row.why;
    }
}

TEST(basInCodePage, ResultHoldsExactlyTheConvertedBytes)
{
    const std::u16string text = u"x中y";
    const std::string bytes = UnicodeToCodePage(text, 0, 0);
    const int asked = talvo::platform::wideCharToMultiByte(936, 0, text.c_str(), -1, nullptr, 0);
    EXPECT_EQ(static_cast<int>(bytes.size()), asked - 1);
    EXPECT_EQ(bytes, "x\xD6\xD0y");
    EXPECT_EQ(CodePageToUnicode(bytes, 0, 0).size(), 3u);
}

TEST(basInCodePage, StopsAtTheFirstTerminator)
{
    EXPECT_EQ(UnicodeToCodePage(std::u16string(u"ab\0cd", 5), 65001, 0), "ab");
    EXPECT_EQ(UnicodeToCodePage(std::u16string(u"\0cd", 3), 0, 0), "");
    EXPECT_EQ(CodePageToUnicode(std::string("ab\0cd", 5), 65001, 0), u"ab");
    EXPECT_EQ(CodePageToUnicode(std::string("\xD6\xD0\0\xCE\xC4", 5), 0, 0), u"中");
}

TEST(basInCodePage, ReplacesWhatTheCodePageCannotHold)
{
    EXPECT_EQ(UnicodeToCodePage(u"a\u200Bb\U0001F600", 0, 0), "a?b?");
    EXPECT_EQ(CodePageToUnicode("a\xC3", 65001, 0), u"a\uFFFD");
    EXPECT_EQ(CodePageToUnicode("a\x81", 0, 0), u"a?");
}

TEST(basInCodePage, RefusedCodePagesAndFlagsRaiseInvalidArgument)
{
    struct Row {
        const char* why;
        std::int32_t codePage;
        std::int32_t flags;
    };
    const std::vector<Row> rows = {
        {"unknown code page", 12345, 0},
        {"-2 is not a code page", -2, 0},
        {"UTF-16 is not a byte code page", 1200, 0},
        {"flag UTF-8 does not allow", 65001, 0x400},
        {"unsupported flag", 936, 0x10},
    };
    for (const auto& row : rows) {
        for (const auto& text : {std::u16string(u"abc"), std::u16string()}) {
            try {
                UnicodeToCodePage(text, row.codePage, row.flags);
                ADD_FAILURE() << row.why << ": no error";
            } catch (const RuntimeError& e) {
                EXPECT_EQ(e.number(), RuntimeError::kInvalidArgument) << row.why;
            }
        }
        EXPECT_THROW(CodePageToUnicode("abc", row.codePage, row.flags), RuntimeError) << row.why;
    }
}
