#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

using namespace talvo::platform;

namespace {

// Converts with an explicit length and a buffer big enough, checking that the size
// request agrees with the conversion and nothing is written past the answer.
std::string encode(int codePage, std::u16string_view text, std::uint32_t flags = 0)
{
    const int need = wideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (need == 0)
        return "<fail>";
    std::string buffer(static_cast<std::size_t>(need) + 1, '\x5A');
    const int written = wideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()), buffer.data(),
                                            need);
    EXPECT_EQ(written, need);
    EXPECT_EQ(buffer[static_cast<std::size_t>(need)], '\x5A') << "wrote past the end";
    buffer.resize(static_cast<std::size_t>(written));
    return buffer;
}

std::u16string decode(int codePage, std::string_view bytes, std::uint32_t flags = 0)
{
    const int need = multiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (need == 0)
        return u"<fail>";
    std::u16string buffer(static_cast<std::size_t>(need) + 1, u'\x5A');
    const int written = multiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()),
                                            buffer.data(), need);
    EXPECT_EQ(written, need);
    EXPECT_EQ(buffer[static_cast<std::size_t>(need)], u'\x5A') << "wrote past the end";
    buffer.resize(static_cast<std::size_t>(written));
    return buffer;
}

} // namespace

struct EncodeRow {
    const char* why;
    std::u16string text;
    std::string bytes;       // flags 0
    std::string strictBytes; // kNoBestFitChars
};

TEST(CodePage, Gbk936EncodesLikeWindows)
{
    const std::vector<EncodeRow> rows = {
        {"ascii", u"Ab1 ~", "Ab1 ~", "Ab1 ~"},
        {"common hanzi", u"中文", "\xD6\xD0\xCE\xC4", "\xD6\xD0\xCE\xC4"},
        {"euro sign is the single byte 0x80", u"\u20AC", "\x80", "\x80"},
        {"middle dot", u"\u00B7", "\xA1\xA4", "\xA1\xA4"},
        {"ideographic space", u"\u3000", "\xA1\xA1", "\xA1\xA1"},
        {"full-width exclamation", u"\uFF01", "\xA3\xA1", "\xA3\xA1"},
        {"pinyin e acute", u"\u00E9", "\xA8\xA6", "\xA8\xA6"},
        {"soft hyphen best-fits to hyphen", u"\u00AD", "-", "?"},
        {"zero width space", u"\u200B", "?", "?"},
        {"zero width non-joiner", u"\u200C", "?", "?"},
        {"zero width joiner", u"\u200D", "?", "?"},
        {"left-to-right mark", u"\u200E", "?", "?"},
        {"right-to-left mark", u"\u200F", "?", "?"},
        {"byte order mark", u"\uFEFF", "?", "?"},
        {"variation selector 1", u"\uFE00", "?", "?"},
        {"variation selector 16", u"\uFE0F", "?", "?"},
        {"word joiner", u"\u2060", "?", "?"},
        {"invisible times", u"\u2062", "?", "?"},
        {"nominal digit shapes", u"\u206F", "?", "?"},
        {"ignorable between letters keeps its place", u"a\u200Bb", "a?b", "a?b"},
        {"surrogate pair is one character", u"x\U0001F600y", "x?y", "x?y"},
        {"lone high surrogate",
         u"\xD83D"
         u"a",
         "?a", "?a"},
        {"lone low surrogate", u"\xDE00", "?", "?"},
        {"unassigned katakana dot", u"\u30FB", "?", "?"},
        {"private use maps to user area", u"\uE000", "\xAA\xA1", "\xAA\xA1"},
        {"embedded terminator converts with explicit length", std::u16string(u"a\0b", 3), std::string("a\0b", 3),
         std::string("a\0b", 3)},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(encode(936, row.text), row.bytes) << row.why;
        EXPECT_EQ(encode(936, row.text, kNoBestFitChars), row.strictBytes) << row.why;
    }
}

struct DecodeRow {
    const char* why;
    std::string bytes;
    std::u16string text;
};

TEST(CodePage, Gbk936DecodesAndReplacesBadSequences)
{
    const std::vector<DecodeRow> rows = {
        {"double-byte hanzi", "\xD6\xD0\xCE\xC4", u"中文"},
        {"0x80 is the euro sign", "\x80", u"\u20AC"},
        {"0x81 0x40 is the first GBK code", "\x81\x40", u"\u4E02"},
        {"lone lead byte at the end", "a\x81", u"a?"},
        {"lead byte before a space keeps the space", "\x81 x", u"? x"},
        {"lead byte before a quote keeps the quote", "\xD6\"", u"?\""},
        {"DEL after a lead byte is taken with it, as Windows does", "\x81\x7F", u"?"},
        {"0xFF after a lead byte is taken with it, as Windows does", "\x81\xFF", u"?"},
        {"lead byte before a digit keeps the digit",
         "\x81"
         "0",
         u"?0"},
        {"lead byte before a zero byte keeps the zero", std::string("\x81\0z", 3), std::u16string(u"?\0z", 3)},
    };
    for (const auto& row : rows)
        EXPECT_EQ(decode(936, row.bytes), row.text) << row.why;

    // The strict flag turns every replacement into a failure.
    EXPECT_EQ(decode(936, "a\x81", kMbErrInvalidChars), u"<fail>");
    EXPECT_EQ(decode(936, "\x81 ", kMbErrInvalidChars), u"<fail>");
    EXPECT_EQ(decode(936, "\xD6\xD0", kMbErrInvalidChars), u"中");
}

TEST(CodePage, TerminatedInputCountsTheTerminator)
{
    const char16_t text[] = u"中a\0ignored";
    EXPECT_EQ(wideCharToMultiByte(936, 0, text, -1, nullptr, 0), 4);
    char out[8];
    std::memset(out, 'Z', sizeof out);
    ASSERT_EQ(wideCharToMultiByte(936, 0, text, -1, out, 8), 4);
    EXPECT_EQ(std::string(out, 5),
              std::string("\xD6\xD0"
                          "a\0Z",
                          5));

    // A lead byte just before the terminator must not swallow it.
    const char bytes[] = "x\x81";
    EXPECT_EQ(multiByteToWideChar(936, 0, bytes, -1, nullptr, 0), 3);
    char16_t units[4] = {u'Z', u'Z', u'Z', u'Z'};
    ASSERT_EQ(multiByteToWideChar(936, 0, bytes, -1, units, 4), 3);
    EXPECT_EQ(std::u16string(units, 4), std::u16string(u"x?\0Z", 4));

    EXPECT_EQ(wideCharToMultiByte(65001, 0, u"", -1, nullptr, 0), 1);
    EXPECT_EQ(multiByteToWideChar(65001, 0, "", -1, nullptr, 0), 1);
}

TEST(CodePage, FailuresReturnZeroAndNeverOverrun)
{
    const char16_t text[] = u"中文";
    char out[8];
    std::memset(out, 'Z', sizeof out);
    EXPECT_EQ(wideCharToMultiByte(936, 0, text, 2, out, 3), 0) << "buffer one byte short";
    EXPECT_EQ(out[3], 'Z');
    std::memset(out, 'Z', sizeof out);
    EXPECT_EQ(wideCharToMultiByte(65001, 0, text, 2, out, 5), 0) << "UTF-8 buffer one byte short";
    EXPECT_EQ(out[5], 'Z');
    char16_t units[4] = {u'Z', u'Z', u'Z', u'Z'};
    EXPECT_EQ(multiByteToWideChar(65001, 0, "abc", 3, units, 2), 0);
    EXPECT_EQ(units[2], u'Z');

    struct Bad {
        const char* why;
        int codePage;
        std::uint32_t flags;
        int length;
        int bufferSize;
    };
    const std::vector<Bad> bad = {
        {"unknown code page", 12345, 0, 2, 0},
        {"negative code page", -1, 0, 2, 0},
        {"UTF-7 is not offered", 65000, 0, 2, 0},
        {"zero length", 936, 0, 0, 0},
        {"length below -1", 936, 0, -2, 0},
        {"negative buffer size", 936, 0, 2, -1},
        {"unsupported flag", 936, 0x200, 2, 0},
        {"best-fit flag is not for UTF-8", 65001, kNoBestFitChars, 2, 0},
        {"strict flag is UTF-8 only", 936, kErrInvalidChars, 2, 0},
    };
    for (const auto& b : bad)
        EXPECT_EQ(wideCharToMultiByte(b.codePage, b.flags, text, b.length, nullptr, b.bufferSize), 0) << b.why;
    EXPECT_EQ(multiByteToWideChar(12345, 0, "a", 1, nullptr, 0), 0);
    EXPECT_EQ(multiByteToWideChar(65001, kPrecomposed, "a", 1, nullptr, 0), 0) << "UTF-8 takes no MB_PRECOMPOSED";
    EXPECT_EQ(multiByteToWideChar(936, kPrecomposed, "a", 1, nullptr, 0), 1);
    EXPECT_EQ(wideCharToMultiByte(936, 0, nullptr, -1, nullptr, 0), 0);
    EXPECT_EQ(multiByteToWideChar(936, 0, nullptr, -1, nullptr, 0), 0);
}

TEST(CodePage, Utf8FollowsTheStandardReplacementRule)
{
    EXPECT_EQ(encode(65001, u"aé中\U0001F600"), "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80");
    EXPECT_EQ(encode(65001, u"\xD800x"), "\xEF\xBF\xBDx");
    EXPECT_EQ(encode(65001, u"\xD800x", kErrInvalidChars), "<fail>");
    EXPECT_EQ(encode(65001, u"ok", kErrInvalidChars), "ok");

    const std::vector<DecodeRow> rows = {
        {"well formed", "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80", u"aé中\U0001F600"},
        {"truncated three-byte sequence is one replacement", "\xE4\xB8x", u"\uFFFDx"},
        {"overlong form is two replacements", "\xC0\x80", u"\uFFFD\uFFFD"},
        {"encoded surrogate is three replacements", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"stray continuation byte", "a\x80z", u"a\uFFFDz"},
        {"long ascii run crosses the fast path", "abcdefghij\xC3\xA9klmnopqr", u"abcdefghijéklmnopqr"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(decode(65001, row.bytes), row.text) << row.why;
    EXPECT_EQ(decode(65001, "\xC0\x80", kMbErrInvalidChars), u"<fail>");
}

TEST(CodePage, OtherWindowsCodePages)
{
    struct Row {
        int codePage;
        std::u16string text;
        std::string bytes;
    };
    const std::vector<Row> rows = {
        {1252, u"€é", "\x80\xE9"}, {1250, u"Ł", "\xA3"},     {1251, u"Ж", "\xC6"},   {1253, u"α", "\xE1"},
        {1254, u"ğ", "\xF0"},      {1255, u"א", "\xE0"},     {1256, u"ب", "\xC8"},   {1258, u"₫", "\xFE"},
        {437, u"é", "\x82"},       {850, u"é", "\x82"},      {874, u"ก", "\xA1"},    {932, u"あ", "\x82\xA0"},
        {949, u"한", "\xC7\xD1"},  {950, u"中", "\xA4\xA4"}, {0, u"中", "\xD6\xD0"}, {1, u"中", "\xD6\xD0"},
        {3, u"中", "\xD6\xD0"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(encode(row.codePage, row.text), row.bytes) << row.codePage;
        EXPECT_EQ(decode(row.codePage, row.bytes), row.text) << row.codePage;
    }
}

TEST(CodePage, EveryGbkDoubleByteCodeRoundTrips)
{
    std::size_t assigned = 0;
    std::string allBytes;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F)
                continue;
            const std::string pair{static_cast<char>(lead), static_cast<char>(trail)};
            const std::u16string text = decode(936, pair);
            ASSERT_EQ(text.size(), 1u) << std::hex << lead << ' ' << trail;
            if (text == u"?")
                continue;
            ++assigned;
            allBytes += pair;
            EXPECT_EQ(encode(936, text, kNoBestFitChars), pair) << std::hex << lead << ' ' << trail;
        }
    }
    EXPECT_GE(assigned, 21886u) << "GBK holds at least 21886 double-byte characters";
    // The whole text at once, through the ANSI helpers.
    EXPECT_EQ(textToAnsi(ansiToText(allBytes)), allBytes);
}

TEST(CodePage, EveryBmpCharacterEitherRoundTripsOrBecomesQuestionMark)
{
    for (std::uint32_t u = 1; u < 0x10000; ++u) {
        if (u >= 0xD800 && u <= 0xDFFF)
            continue;
        const std::u16string text(1, static_cast<char16_t>(u));
        const std::string bytes = encode(936, text, kNoBestFitChars);
        if (bytes == "?" && u != '?')
            continue;
        ASSERT_EQ(decode(936, bytes), text) << std::hex << u;
    }
}

TEST(CodePage, AnsiHelpersConvertWholeText)
{
    EXPECT_EQ(textToAnsi(u""), "");
    EXPECT_EQ(ansiToText(""), u"");
    const std::u16string withZero(u"a\0中", 3);
    EXPECT_EQ(textToAnsi(withZero), std::string("a\0\xD6\xD0", 4));
    EXPECT_EQ(ansiToText(std::string("a\0\xD6\xD0", 4)), withZero);
    EXPECT_EQ(textToAnsi(u"日志\u200B文件😀"), "\xC8\xD5\xD6\xBE?\xCE\xC4\xBC\xFE?");
    // Long mixed text exercises the ASCII fast path at every alignment.
    std::u16string text;
    for (int i = 0; i < 50; ++i)
        text += std::u16string(static_cast<std::size_t>(i % 9), u'x') + u"中";
    EXPECT_EQ(ansiToText(textToAnsi(text)), text);
}

TEST(CodePage, FirstUseFromManyThreadsGivesOneTable)
{
    // 1257 is used by no other test, so its table is built here, concurrently.
    const std::u16string text = u"ąčęėįšųūž Baltic";
    std::vector<std::string> results(4);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < results.size(); ++i)
        threads.emplace_back([&, i] { results[i] = encode(1257, text); });
    for (auto& t : threads)
        t.join();
    for (const auto& r : results)
        EXPECT_EQ(r, "\xE0\xE8\xE6\xEB\xE1\xF0\xF8\xFB\xFE Baltic");
}
