#include "codec/Base64.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using talvo::Base64;

namespace {

std::u16string ascii(std::string_view s) { return std::u16string(s.begin(), s.end()); }

// A bit-at-a-time encoder, deliberately unlike the table-driven one.
std::string referenceEncode(const std::string& bytes)
{
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned acc = 0;
    int bits = 0;
    for (unsigned char b : bytes) {
        acc = acc << 8 | b;
        bits += 8;
        while (bits >= 6) {
            bits -= 6;
            out += alphabet[(acc >> bits) & 63];
        }
    }
    if (bits > 0)
        out += alphabet[(acc << (6 - bits)) & 63];
    while (out.size() % 4 != 0)
        out += '=';
    return out;
}

std::string randomBytes(std::size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (auto& c : s)
        c = static_cast<char>(gen() & 0xFF);
    return s;
}

} // namespace

TEST(Base64, Rfc4648VectorsBothWays)
{
    const std::vector<std::pair<std::string, std::string>> vectors = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    Base64 codec;
    for (const auto& [plain, encoded] : vectors) {
        EXPECT_EQ(codec.EncodeBase64Byte(plain), ascii(encoded)) << plain;
        EXPECT_EQ(codec.DecodeBase64Byte(ascii(encoded)), plain) << encoded;
    }
}

TEST(Base64, EveryPaddingRemainder)
{
    Base64 codec;
    for (std::size_t n = 1; n <= 12; ++n) {
        // High and low bytes so every bit position of every group is exercised.
        std::string bytes;
        for (std::size_t k = 0; k < n; ++k)
            bytes += static_cast<char>(k % 2 ? 0xFF - k * 7 : k * 13);
        const std::u16string encoded = codec.EncodeBase64Byte(bytes);
        EXPECT_EQ(encoded.size(), 4 * ((n + 2) / 3)) << n;
        const std::size_t pads = n % 3 == 0 ? 0 : 3 - n % 3;
        EXPECT_EQ(encoded.find(u'='), pads ? encoded.size() - pads : std::u16string::npos) << n;
        EXPECT_EQ(encoded, ascii(referenceEncode(bytes))) << n;
        EXPECT_EQ(codec.DecodeBase64Byte(encoded), bytes) << n;
    }
}

TEST(Base64, RandomInputsMatchTheReferenceAtEveryLength)
{
    Base64 codec;
    for (std::size_t n = 0; n < 200; ++n) {
        const std::string bytes = randomBytes(n, static_cast<unsigned>(n));
        const std::u16string encoded = codec.EncodeBase64Byte(bytes);
        ASSERT_EQ(encoded, ascii(referenceEncode(bytes))) << n;
        ASSERT_EQ(codec.DecodeBase64Byte(encoded), bytes) << n;
    }
    // Small outputs are written in place, big ones (over 4 MiB) in chunks: both paths.
    for (const std::size_t n : {300000u, 2000003u}) {
        const std::string all = randomBytes(n, 7);
        const std::u16string encoded = codec.EncodeBase64Byte(all);
        EXPECT_EQ(encoded.find_first_of(u"\r\n"), std::u16string::npos) << "never a line break";
        EXPECT_EQ(encoded, ascii(referenceEncode(all))) << n;
        EXPECT_EQ(codec.DecodeBase64Byte(encoded), all) << n;
    }
}

TEST(Base64, LongTextsDecodeByTheSameRules)
{
    // Megabytes of text follow the rules of the short ones. (Whole results are
    // compared with == so a failure does not print megabytes.)
    Base64 codec;
    const std::string bytes = randomBytes(6000001, 11); // ends in a padded group
    const std::u16string encoded = codec.EncodeBase64Byte(bytes);
    ASSERT_TRUE(codec.DecodeBase64Byte(encoded) == bytes);

    std::u16string lines;
    for (std::size_t at = 0; at < encoded.size(); at += 76)
        lines += encoded.substr(at, 76) + u"\r\n";
    EXPECT_TRUE(codec.DecodeBase64Byte(lines) == bytes) << "CR LF pairs drop out";

    // Texts encoded apart and joined: the padding ends its own group only.
    EXPECT_TRUE(codec.DecodeBase64Byte(encoded + u"Zm9v") == bytes + "foo");
    EXPECT_TRUE(codec.DecodeBase64Byte(encoded.substr(0, encoded.size() - 3)) == bytes.substr(0, bytes.size() - 1))
        << "a last group of one character adds nothing";

    std::u16string late = lines;
    late[late.size() - 5] = u'\n'; // a lone line feed near the end
    EXPECT_EQ(codec.DecodeBase64Byte(late), "");
    std::u16string bad = encoded;
    bad[bad.size() / 2] = u'*';
    EXPECT_EQ(codec.DecodeBase64Byte(bad), "");
    bad = lines;
    bad[100] = u'*'; // a bad character with CR LF pairs after it
    EXPECT_EQ(codec.DecodeBase64Byte(bad), "");
}

TEST(Base64, DecodingRules)
{
    struct Row {
        const char* why;
        std::u16string text;
        std::string bytes;
    };
    const std::vector<Row> rows = {
        {"CR LF pairs are dropped", u"Zm9v\r\nYmFy", "foobar"},
        {"CR LF inside a group", u"Zm9\r\nvYm\r\nFy\r\n", "foobar"},
        {"only CR LF pairs", u"\r\n\r\n", ""},
        {"lookup is case-exact", u"zm9v", "\xCE\x6F\x6F"},
        {"= ends only its own group", u"Zg==Zg==", "ff"},
        {"joined padded texts", u"Zm8=Zg==", "fof"},
        {"unused low bits are ignored", u"Zh==", "f"},
        {"character after = is not examined", u"Zg=x", "f"},
        {"invalid character after = is not examined", u"Zg=!", "f"},
        {"group starting with = adds nothing", u"Zm9v====", "foo"},
        {"one character before = adds nothing", u"Zm9vZ===", "foo"},
        {"lone pad groups", u"====", ""},
        {"unpadded two characters", u"Zg", "f"},
        {"unpadded three characters", u"Zm9vZm9", "foofo"},
        {"single trailing character adds nothing", u"Zm9vZ", "foo"},
        {"CR LF moves the group boundary after =", u"Zg=\r\n!===", "f"},
    };
    Base64 codec;
    for (const auto& row : rows)
        EXPECT_EQ(codec.DecodeBase64Byte(row.text), row.bytes) << row.why;
}

TEST(Base64, BadInputDecodesToNothing)
{
    struct Row {
        const char* why;
        std::u16string text;
    };
    const std::vector<Row> rows = {
        {"lone LF", u"Zm9v\nYmFy"},
        {"lone CR", u"Zm9v\rYmFy"},
        {"LF CR is not a pair", u"Zm9v\n\rYmFy"},
        {"space", u"Zm9v YmFy"},
        {"tab", u"Zm9v\tYmFy"},
        {"URL-safe alphabet", u"Zm9v-YmFy"},
        {"character above U+00FF", u"Zm9v中YmF"},
        {"character whose low byte is a letter", u"Zm9v\u0141YmF"},
        {"U+0000", std::u16string(u"Zm9v\0Ymy", 8)},
        {"bad character drops earlier groups", u"Zm9vYmFyYmF!"},
        {"bad character in a short last group", u"Zm9vY!"},
    };
    Base64 codec;
    for (const auto& row : rows) {
        EXPECT_EQ(codec.DecodeBase64Byte(row.text), "") << row.why;
        EXPECT_EQ(codec.DecodeBase64String(row.text), u"") << row.why;
    }
}

TEST(Base64, TextsTravelAsAnsiBytes)
{
    Base64 codec;
    struct Row {
        const char* why;
        std::u16string text;
        std::u16string encoded;
    };
    const std::vector<Row> rows = {
        {"empty", u"", u""},
        {"ascii", u"foobar", u"Zm9vYmFy"},
        {"Chinese as GBK bytes D6 D0 CE C4", u"中文", u"1tDOxA=="},
        {"character outside the code page becomes ?", u"a\u200Bb", u"YT9i"},
        {"terminator inside the text is kept", std::u16string(u"a\0b", 3), u"YQBi"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(codec.EncodeBase64String(row.text), row.encoded) << row.why;
    }
    EXPECT_EQ(codec.DecodeBase64String(u"1tDOxA=="), u"中文");
    EXPECT_EQ(codec.DecodeBase64String(u"YQBi"), std::u16string(u"a\0b", 3));
    EXPECT_EQ(codec.DecodeBase64String(u"YT9i"), u"a?b");
    // Bytes that are not valid GBK decode with "?" instead of being lost.
    EXPECT_EQ(codec.DecodeBase64String(codec.EncodeBase64Byte("x\x81")), u"x?");
}
