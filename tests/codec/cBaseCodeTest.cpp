#include "codec/cBaseCode.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/CodePage.h"
#include "platform/RuntimeError.h"
#include "platform/Utf.h"

using talvo::cBaseCode;
using talvo::RuntimeError;
using talvo::Variant;

namespace {

struct Row {
    const char* why;
    std::u16string input;
    std::u16string expected;
};

std::u16string escapeEveryByte(const std::string& bytes)
{
    static const char* hex = "0123456789ABCDEF";
    std::u16string out;
    for (unsigned char b : bytes) {
        out += u'%';
        out += static_cast<char16_t>(hex[b >> 4]);
        out += static_cast<char16_t>(hex[b & 15]);
    }
    return out;
}

} // namespace

TEST(cBaseCode, GBtoUTF8andURLEncode)
{
    const std::vector<Row> rows = {
        {"three-byte hanzi", u"中", u"%E4%B8%AD"},
        {"two-byte latin", u"é", u"%C3%A9"},
        {"last two-byte code", u"\u07FF", u"%DF%BF"},
        {"first three-byte code", u"\u0800", u"%E0%A0%80"},
        {"last BMP code", u"\uFFFF", u"%EF%BF%BF"},
        {"ASCII is never escaped", u"a b&c=1%", u"a b&c=1%"},
        {"controls pass through", u"\r\n\t", u"\r\n\t"},
        {"surrogate pair is one character", u"x\U0001F600", u"x%F0%9F%98%80"},
        {"lone high surrogate", u"\xD83Dz", u"%EF%BF%BDz"},
        {"lone low surrogate", u"\xDE00", u"%EF%BF%BD"},
    };
    cBaseCode code;
    for (const auto& row : rows) {
        const Variant result = code.GBtoUTF8andURLEncode(Variant(row.input));
        ASSERT_TRUE(result.isText()) << row.why;
        EXPECT_EQ(result.text(), row.expected) << row.why;
    }
    EXPECT_EQ(code.GBtoUTF8andURLEncode(Variant(u"")), Variant(u"")) << "empty text stays empty text";
    EXPECT_TRUE(code.GBtoUTF8andURLEncode(Variant()).isEmpty()) << "no value stays no value";
    EXPECT_EQ(code.GBtoUTF8andURLEncode(Variant::fromBytes(std::string("\x2D\x4E", 2))), Variant(u"%E4%B8%AD"))
        << "a byte array is read as UTF-16 units";
}

TEST(cBaseCode, GBtoUTF8andURLEncodeAgreesWithUtf8ForEveryBmpCharacter)
{
    std::u16string all;
    for (std::uint32_t u = 0x80; u < 0x10000; ++u)
        if (u < 0xD800 || u > 0xDFFF)
            all += static_cast<char16_t>(u);
    cBaseCode code;
    EXPECT_EQ(code.GBtoUTF8andURLEncode(Variant(all)).text(), escapeEveryByte(talvo::platform::toUtf8(all)));
}

TEST(cBaseCode, URLEncode)
{
    const std::vector<Row> rows = {
        {"empty", u"", u""},
        {"letters pass", u"Ab", u"Ab"},
        {"digits are escaped", u"a1", u"a%31"},
        {"space is %20", u"a b", u"a%20b"},
        {"CR LF", u"x\r\ny", u"x%0D%0Ay"},
        {"unreserved marks are escaped too", u"-._~", u"%2D%2E%5F%7E"},
        {"GBK double-byte", u"中", u"%D6%D0"},
        {"trail byte that is a letter stays escaped", u"丂", u"%81%40"},
        {"euro is the single byte 0x80", u"€", u"%80"},
        {"not in the code page", u"\u200B", u"%3F"},
        {"best fit to a letter gives the letter, not the raw character", u"\u00DE", u"T"},
        {"surrogate pair: each half is ?", u"\U0001F600", u"%3F%3F"},
        {"terminator inside", std::u16string(u"a\0b", 3), u"a%00b"},
    };
    cBaseCode code;
    for (const auto& row : rows)
        EXPECT_EQ(code.URLEncode(row.input), row.expected) << row.why;
}

TEST(cBaseCode, URLDecode)
{
    const std::vector<Row> rows = {
        {"no % comes back as is", u"abc", u"abc"},
        {"plus stays plus", u"a+b", u"a+b"},
        {"escapes", u"%41%62c", u"Abc"},
        {"lower-case hex", u"%4a", u"J"},
        {"GBK pair", u"%D6%D0", u"中"},
        {"GBK pair with lower-case hex", u"x%d6%d0y", u"x中y"},
        {"trail byte in the letter range", u"%81%40", u"丂"},
        {"non-hex gives U+0000 and consumes three", u"%zzA", std::u16string(u"\0A", 2)},
        {"% at the very end", u"ab%", std::u16string(u"ab\0", 3)},
        {"one digit at the end", u"ab%4", u"ab\x04"},
        {"one digit then a letter", u"%4zA",
         u"\x04"
         u"A"},
        {"lead escape at the very end", u"ab%D6", u"ab?"},
        {"lead escape before plain text keeps the text", u"%D6abc", u"?abc"},
        {"lead escape with a short trail escape", u"%D6%4", u"?\x04"},
        {"lead escape with a non-hex trail escape", u"%D6%zz", std::u16string(u"?\0", 2)},
        {"single-byte character above 0x7F", u"%80%41", u"€A"},
        {"lead before a byte that cannot be a trail", u"%81%20", u"? "},
        {"pairs are taken from the left", u"%D6%D6%D0", u"种?"},
        {"0xFF alone", u"%FF", u"\uF8F5"},
    };
    cBaseCode code;
    for (const auto& row : rows)
        EXPECT_EQ(code.URLDecode(row.input), row.expected) << row.why;
}

TEST(cBaseCode, URLEncodeThenDecodeGivesEveryGbkCharacterBack)
{
    std::u16string text = u"Mixed text 中文, digits 0-9 & marks ~!@#$%^&*()+ ";
    for (std::uint32_t u = 1; u < 0x10000; ++u) {
        if (u >= 0xD800 && u <= 0xDFFF)
            continue;
        const std::u16string one(1, static_cast<char16_t>(u));
        // Only characters the code page holds exactly can come back.
        if (talvo::platform::ansiToText(talvo::platform::textToAnsi(one)) == one)
            text += one;
    }
    ASSERT_GT(text.size(), 21000u);
    cBaseCode code;
    EXPECT_EQ(code.URLDecode(code.URLEncode(text)), text);
}

TEST(cBaseCode, Utf8InsideAnsiText)
{
    cBaseCode code;
    EXPECT_TRUE(code.EncodeUTF8(u"").isEmpty());
    EXPECT_EQ(code.sCodePage, 0) << "EncodeUTF8 only reads the code page";
    EXPECT_EQ(code.EncodeUTF8(u"中").text(), u"中") << "code page 0 passes through ANSI";

    EXPECT_TRUE(code.DecodeUTF8(u"").isEmpty());
    EXPECT_EQ(code.sCodePage, 65001) << "set even for empty input";
    EXPECT_TRUE(code.cnvUni2.empty());

    // é is C3 A9 in UTF-8, and C3 A9 is the GBK character 茅.
    EXPECT_EQ(code.EncodeUTF8(u"é").text(), u"茅");
    EXPECT_EQ(code.DecodeUTF8(u"茅").text(), u"é");
    EXPECT_EQ(code.cnvUni2, "\xC3\xA9");

    for (const std::u16string ascii : {u"plain ascii", u"a", u"~!@# $%^"}) {
        EXPECT_EQ(code.EncodeUTF8(ascii).text(), ascii);
        EXPECT_EQ(code.DecodeUTF8(ascii).text(), ascii);
        EXPECT_EQ(code.cnvUni2, std::string(ascii.begin(), ascii.end()));
    }
    // Only the text before a U+0000 counts.
    EXPECT_EQ(code.EncodeUTF8(std::u16string(u"ab\0cd", 5)).text(), u"ab");

    code.sCodePage = 12345;
    try {
        code.EncodeUTF8(u"x");
        ADD_FAILURE() << "unknown code page accepted";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), RuntimeError::kInvalidArgument);
    }
}

TEST(cBaseCode, Utf8RoundTripWhereTheAnsiCodePageIsLossless)
{
    // Every pair of Latin-1 letters: two-byte UTF-8 sequences C3 xx read as GBK.
    cBaseCode code;
    code.sCodePage = 65001;
    int lossless = 0;
    for (char16_t c = 0xC0; c <= 0xFF; ++c) {
        const std::u16string text{u'a', c, u'z'};
        const std::u16string carried = code.EncodeUTF8(text).text();
        if (talvo::platform::ansiToText(talvo::platform::textToAnsi(carried)) != carried)
            continue;
        ++lossless;
        EXPECT_EQ(code.DecodeUTF8(carried).text(), text) << std::hex << static_cast<int>(c);
        code.sCodePage = 65001;
    }
    EXPECT_GT(lossless, 40);
}
