// The UTF-8 encoder behind toUtf8 and code page 65001 counts four units at a time and
// writes four bytes a unit while there is room; these tables put every kind of character
// at every place around those steps and the end of the room, and check each result
// against the encoding rules written out plainly below.
#include "platform/CodePage.h"
#include "platform/Utf.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace talvo::platform;

namespace {

constexpr std::size_t kBlock = 4; // the counter's step, in units

// The rules, one code point at a time: a pair is one four-byte character, a lone
// surrogate is U+FFFD.
std::string expectedUtf8(std::u16string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

bool hasLoneSurrogate(std::u16string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] >= 0xD800 && text[i] < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00
            && text[i + 1] < 0xE000)
            ++i;
        else if (text[i] >= 0xD800 && text[i] < 0xE000)
            return true;
    }
    return false;
}

std::string hex(std::u16string_view text)
{
    std::string out;
    for (char16_t c : text) {
        char unit[8];
        std::snprintf(unit, sizeof unit, "%04X ", static_cast<unsigned>(c));
        out += unit;
    }
    return out;
}

// Everything one text must give: toUtf8, the size request and the conversion into a
// buffer of exactly that size, failure one byte short without a byte written past the
// buffer, and the strict flag failing exactly on a lone surrogate.
void checkEncoding(std::u16string_view text)
{
    SCOPED_TRACE(hex(text));
    const std::string expected = expectedUtf8(text);
    EXPECT_EQ(toUtf8(text), expected);
    if (text.empty())
        return;
    const int length = static_cast<int>(text.size());
    const int need = static_cast<int>(expected.size());
    ASSERT_EQ(wideCharToMultiByte(65001, 0, text.data(), length, nullptr, 0), need);
    std::string buffer(expected.size() + 8, '\x5A');
    ASSERT_EQ(wideCharToMultiByte(65001, 0, text.data(), length, buffer.data(), need), need);
    EXPECT_EQ(buffer.substr(0, expected.size()), expected);
    EXPECT_EQ(buffer.substr(expected.size()), std::string(8, '\x5A')) << "wrote past the end";

    if (need > 1) { // a buffer size of 0 asks for the size
        std::string shortBuffer(expected.size() + 8, '\x5A');
        EXPECT_EQ(wideCharToMultiByte(65001, 0, text.data(), length, shortBuffer.data(), need - 1), 0);
        EXPECT_EQ(shortBuffer.substr(expected.size() - 1), std::string(9, '\x5A')) << "wrote past a short buffer";
    }

    const int strict = hasLoneSurrogate(text) ? 0 : need;
    EXPECT_EQ(wideCharToMultiByte(65001, kErrInvalidChars, text.data(), length, nullptr, 0), strict);
    EXPECT_EQ(wideCharToMultiByte(65001, kErrInvalidChars, text.data(), length, buffer.data(), need), strict);
}

// One of each kind of character the encoder tells apart, with the edges of each range.
const std::vector<std::u16string> kPieces = {
    u"a",          u"\x7F",   u"\x01",   u"\x80",   u"é",      u"\u07FF",       u"\u0800",
    u"中",         u"\uD7FF", u"\uE000", u"\uFFFD", u"\uFFFF", u"\U00010000",   u"\U0001F600",
    u"\U0010FFFF", u"\xD800", u"\xDBFF", u"\xDC00", u"\xDFFF", u"\xDC00\xD800",
};

} // namespace

TEST(Utf8Encode, AsciiRunsOfEveryLengthAroundTheBlock)
{
    for (const std::u16string& before : kPieces)
        for (const std::u16string& after : kPieces)
            for (std::size_t n = 0; n <= 4 * kBlock + 1; ++n) {
                std::u16string text = before;
                for (std::size_t k = 0; k < n; ++k)
                    text += static_cast<char16_t>(u'0' + k % 10);
                text += after;
                checkEncoding(text);
                checkEncoding(text.substr(before.size())); // the run alone, then the piece
            }
}

TEST(Utf8Encode, EveryCharacterAtEveryPlaceAcrossTwoBlocks)
{
    // Chinese text (the non-ASCII block path), ASCII text (the narrowing path) and both
    // mixed, with one piece put at each place from the start to past the second block.
    const std::vector<std::u16string> backgrounds = {std::u16string(4 * kBlock, u'中'),
                                                     std::u16string(4 * kBlock, u'x'),
                                                     u"客户a营销b管理c软件d提示e信息f联系g人h电话i0123456789"};
    for (const std::u16string& background : backgrounds)
        for (const std::u16string& piece : kPieces)
            for (std::size_t at = 0; at <= 3 * kBlock + 1; ++at) {
                std::u16string text = background;
                text.insert(at, piece);
                checkEncoding(text);
                text.resize(at + piece.size()); // the piece at the very end
                checkEncoding(text);
            }
}

TEST(Utf8Encode, HalvesOfPairsSplitAcrossTheBlockEdge)
{
    for (std::size_t at = 0; at <= 3 * kBlock + 1; ++at) {
        std::u16string text(at, u'中');
        text += u"\xD83D";
        checkEncoding(text); // a high surrogate last of all
        checkEncoding(text + u"\xDE00" + std::u16string(kBlock, u'a'));
        checkEncoding(text + u"a" + u"\xDE00");
        checkEncoding(text + u"\xD83D\xDE00\xDE00");
    }
}

TEST(Utf8Encode, MixedRunsOfRandomLength)
{
    std::mt19937 random(2026);
    for (int round = 0; round < 2000; ++round) {
        std::u16string text;
        const std::size_t pieces = random() % 24;
        for (std::size_t k = 0; k < pieces; ++k) {
            const std::u16string& piece = kPieces[random() % kPieces.size()];
            for (std::size_t repeat = random() % (2 * kBlock + 2); repeat > 0; --repeat)
                text += piece;
        }
        checkEncoding(text);
    }
}

TEST(Utf8Encode, EveryBufferTooSmallFailsWithoutWritingPastIt)
{
    const std::u16string text = u"客户abcdefgh\U0001F600ij营销\xD800管理klmnopqrstuvwx\xDC00é";
    const std::string expected = expectedUtf8(text);
    for (int capacity = 1; capacity < static_cast<int>(expected.size()); ++capacity) {
        std::string buffer(expected.size() + 4, '\x5A');
        EXPECT_EQ(wideCharToMultiByte(65001, 0, text.data(), static_cast<int>(text.size()), buffer.data(), capacity), 0)
            << capacity;
        EXPECT_EQ(buffer.substr(static_cast<std::size_t>(capacity)),
                  std::string(expected.size() + 4 - static_cast<std::size_t>(capacity), '\x5A'))
            << capacity;
    }
}

TEST(Utf8Encode, LongTextsCountEveryUnit)
{
    // The counter keeps per-lane sums that it folds into the total now and then: texts of
    // the longest forms, long enough to need several folds, with a pair past each fold.
    for (const char16_t unit : {u'中', u'\u07FF', u'a'}) {
        std::u16string text(300000 + 3, unit);
        text.replace(131068, 2, u"\U0001F600");
        text.replace(262136 + 1, 2, u"\U0001F600");
        text.back() = 0xD800;
        SCOPED_TRACE(static_cast<unsigned>(unit));
        const std::string expected = expectedUtf8(text);
        const int length = static_cast<int>(text.size());
        EXPECT_EQ(wideCharToMultiByte(65001, 0, text.data(), length, nullptr, 0), static_cast<int>(expected.size()));
        EXPECT_EQ(toUtf8(text), expected);
    }
}
