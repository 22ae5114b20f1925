#include "platform/Charset.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/RuntimeError.h"
#include "tests/common/WineDifferences.h"

using talvo::RuntimeError;
using talvo::platform::Charset;

namespace {
std::string bytes(std::initializer_list<int> values)
{
    std::string out;
    for (int v : values)
        out.push_back(static_cast<char>(v));
    return out;
}
std::u16string decode(const std::u16string& name, const std::string& in)
{
    return Charset(name).decode(in.data(), in.size());
}
} // namespace

// The same answers on Linux (ICU) and Windows (code pages and our own Unicode code).
TEST(Charset, UnicodeSetsAndTheirMarks)
{
    const std::u16string text = u"中a\U0001F600";
    EXPECT_EQ(Charset(u"utf-8").encode(text),
              "\xE4\xB8\xAD"
              "a\xF0\x9F\x98\x80");
    EXPECT_EQ(Charset(u"UTF-8").encode(u"x\xD800y"), "x?y") << "a lone surrogate is a character it cannot hold";
    EXPECT_EQ(Charset(u"unicode").encode(u"中a"), bytes({0x2D, 0x4E, 'a', 0}));
    EXPECT_EQ(Charset(u"utf-16le").encode(u"中a"), bytes({0x2D, 0x4E, 'a', 0}));
    EXPECT_EQ(Charset(u"utf-16be").encode(u"中a"), bytes({0x4E, 0x2D, 0, 'a'}));
    EXPECT_EQ(Charset(u"utf-16").encode(u"a"), bytes({0xFF, 0xFE, 'a', 0})) << "mark, then little-endian";
    EXPECT_EQ(Charset(u"utf-32").encode(u"a"), bytes({0xFF, 0xFE, 0, 0, 'a', 0, 0, 0}));
    EXPECT_EQ(Charset(u"utf-32be").encode(u"\U0001F600"), bytes({0, 0x01, 0xF6, 0x00}));

    EXPECT_EQ(decode(u"utf-8",
                     "\xE4\xB8\xAD"
                     "a\xF0\x9F\x98\x80"),
              text);
    EXPECT_EQ(decode(u"utf-8", "a\xC3"), u"a\uFFFD") << "cut short";
    EXPECT_EQ(decode(u"utf-16le", bytes({0x2D, 0x4E, 'a', 0})), u"中a");
    EXPECT_EQ(decode(u"utf-16", bytes({0xFF, 0xFE, 'a', 0})), u"a") << "the mark chooses the order";
    EXPECT_EQ(decode(u"utf-16", bytes({0xFE, 0xFF, 0, 'a'})), u"a");
    EXPECT_EQ(decode(u"utf-16", bytes({0, 'a'})), u"a") << "no mark: big-endian";
    EXPECT_EQ(decode(u"utf-32le", bytes({0x00, 0xF6, 0x01, 0x00})), u"\U0001F600");
}

TEST(Charset, ChineseNamesUseTheCodePageTable)
{
    EXPECT_EQ(Charset(u"GB2312").encode(u"中文\u20AC"), "\xD6\xD0\xCE\xC4\x80");
    EXPECT_EQ(Charset(u"gbk").encode(u"\U0001F600"), "?");
    EXPECT_EQ(decode(u"gb2312",
                     "\xD6\xD0"
                     "a\x81"),
              u"中a?");
    EXPECT_EQ(Charset(u"big5").encode(u"中"), "\xA4\xA4");
    EXPECT_EQ(decode(u"big5", "\xA4\xA4"), u"中");
    EXPECT_EQ(Charset(u"iso-8859-1").encode(u"\u00E9\u4E2D"), "\xE9?");
    EXPECT_EQ(Charset(u"windows-1252").encode(u"\u20AC"), "\x80");
}

TEST(Charset, Gb18030HoldsEveryCharacter)
{
    TALVO_SKIP_WHERE_WINE_DIFFERS(talvo::tests::kWineHasNoGb18030);
    EXPECT_EQ(Charset(u"gb18030").encode(u"中\U0001F600"), "\xD6\xD0\x94\x39\xFC\x36");
    EXPECT_EQ(decode(u"gb18030", "\xD6\xD0\x94\x39\xFC\x36"), u"中\U0001F600");
}

TEST(Charset, UnknownNamesAreRefused)
{
    for (const std::u16string name : {u"no-such-set", u"", u"utf 8", u"中文"}) {
        try {
            Charset charset(name);
            ADD_FAILURE() << "accepted an unknown name";
        } catch (const RuntimeError& error) {
            EXPECT_EQ(error.number(), RuntimeError::kInvalidArgument);
        }
    }
}
