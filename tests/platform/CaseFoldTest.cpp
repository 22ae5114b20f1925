#include "platform/CaseFold.h"

#include <gtest/gtest.h>

#include <string>

using talvo::platform::appendCaseFold;
using talvo::platform::nextCodePoint;
using talvo::platform::simpleLowerCase;
using talvo::platform::simpleUpperCase;

namespace {
std::u16string fold(char32_t c)
{
    std::u16string out;
    appendCaseFold(c, out);
    return out;
}
} // namespace

TEST(CaseFold, FullFoldingOfLettersEverywhere)
{
    EXPECT_EQ(fold(U'A'), u"a");
    EXPECT_EQ(fold(U'z'), u"z");
    EXPECT_EQ(fold(U'\u00DF'), u"ss") << "sharp s folds to two letters";
    EXPECT_EQ(fold(U'\u0130'), u"i\u0307") << "capital I with dot";
    EXPECT_EQ(fold(U'\u0390'), u"\u03B9\u0308\u0301") << "three units";
    EXPECT_EQ(fold(U'\u03A3'), u"\u03C3");
    EXPECT_EQ(fold(U'\u03C2'), u"\u03C3") << "final sigma";
    EXPECT_EQ(fold(U'\uFF21'), u"\uFF41") << "full-width A";
    EXPECT_EQ(fold(U'\U00010400'), u"\U00010428") << "Deseret, beyond the BMP";
    EXPECT_EQ(fold(U'中'), u"中");
    EXPECT_EQ(fold(U'\U0001F600'), u"\U0001F600");
    EXPECT_EQ(fold(0xD800), u"\xD800") << "a lone surrogate stays";
}

TEST(CaseFold, NextCodePointJoinsPairsOnly)
{
    const std::u16string text = u"a\U0001F600\xDC00"
                                u"b\xD83D";
    std::size_t i = 0;
    EXPECT_EQ(nextCodePoint(text.data(), i, text.size()), U'a');
    EXPECT_EQ(nextCodePoint(text.data(), i, text.size()), U'\U0001F600');
    EXPECT_EQ(i, 3u);
    EXPECT_EQ(nextCodePoint(text.data(), i, text.size()), char32_t(0xDC00));
    EXPECT_EQ(nextCodePoint(text.data(), i, text.size()), U'b');
    EXPECT_EQ(nextCodePoint(text.data(), i, text.size()), char32_t(0xD83D));
    EXPECT_EQ(i, text.size());
}

TEST(CaseFold, SimpleMappingsAreOneCodePointToOne)
{
    struct Row {
        char32_t c, upper, lower;
    };
    const Row rows[] = {
        {U'a', U'A', U'a'},
        {U'Z', U'Z', U'z'},
        {U'1', U'1', U'1'},
        {U'\u00DF', U'\u00DF', U'\u00DF'}, // sharp s: its upper case is two letters, so none here
        {U'\u00E9', U'\u00C9', U'\u00E9'},
        {U'\u0130', U'\u0130', U'i'},                  // capital I with dot lowers to a plain i
        {U'\u0131', U'I', U'\u0131'},                  // dotless i
        {U'\u03C2', U'\u03A3', U'\u03C2'},             // final sigma
        {U'\u01C5', U'\u01C4', U'\u01C6'},             // title-case digraph
        {U'\uFF41', U'\uFF21', U'\uFF41'},             // full-width a
        {U'\u0250', U'\u2C6F', U'\u0250'},             // upper case outside its block
        {U'\U00010428', U'\U00010400', U'\U00010428'}, // Deseret, beyond the BMP
        {U'中', U'中', U'中'},
        {0xD800, 0xD800, 0xD800}, // a lone surrogate stays
        {0xDC00, 0xDC00, 0xDC00},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(simpleUpperCase(row.c), row.upper) << std::hex << static_cast<unsigned>(row.c);
        EXPECT_EQ(simpleLowerCase(row.c), row.lower) << std::hex << static_cast<unsigned>(row.c);
    }
}

#ifndef _WIN32
#include <unicode/uchar.h>

// Windows folds with a table made from ICU at one Unicode version. Unicode never changes
// the folding of an assigned character, so any later ICU must agree with the table on
// every character of that version; characters assigned since stay unfolded there.
namespace {
struct CaseFoldEntry {
    char32_t from;
    char16_t to[4];
};
struct CaseMapEntry {
    char32_t from;
    char32_t to;
};
#include "platform/windows/CaseFoldTable.inc"

bool assignedBy(char32_t c, const unsigned char (&version)[2])
{
    UVersionInfo age;
    u_charAge(static_cast<UChar32>(c), age);
    if (age[0] == 0 && age[1] == 0)
        return false; // unassigned in the local ICU
    return age[0] < version[0] || (age[0] == version[0] && age[1] <= version[1]);
}
} // namespace

TEST(CaseFold, WindowsTableEqualsIcuForEveryCharacterOfItsUnicodeVersion)
{
    UVersionInfo local;
    u_getUnicodeVersion(local);
    ASSERT_TRUE(local[0] > kCaseFoldUnicodeVersion[0]
                || (local[0] == kCaseFoldUnicodeVersion[0] && local[1] >= kCaseFoldUnicodeVersion[1]))
        << "the local ICU is older than the table";
    std::size_t next = 0;
    int differences = 0;
    for (char32_t c = 0x80; c <= 0x10FFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF)
            continue;
        std::u16string fromTable;
        if (next < std::size(kCaseFolds) && kCaseFolds[next].from == c) {
            for (int k = 0; k < 4 && kCaseFolds[next].to[k] != 0; ++k)
                fromTable.push_back(kCaseFolds[next].to[k]);
            ++next;
            EXPECT_TRUE(assignedBy(c, kCaseFoldUnicodeVersion)) << "U+" << std::hex << static_cast<unsigned>(c);
        } else if (c < 0x10000) {
            fromTable.push_back(static_cast<char16_t>(c));
        } else {
            fromTable = {static_cast<char16_t>(0xD7C0 + (c >> 10)), static_cast<char16_t>(0xDC00 | (c & 0x3FF))};
        }
        const std::u16string expected = fold(c);
        if (!assignedBy(c, kCaseFoldUnicodeVersion))
            continue;
        if (fromTable != expected && ++differences <= 5)
            ADD_FAILURE() << "U+" << std::hex << static_cast<unsigned>(c);
    }
    EXPECT_EQ(next, std::size(kCaseFolds)) << "table entries out of order";
    EXPECT_EQ(differences, 0);
}

// The upper and lower case tables, likewise. A later Unicode may give a character of
// the table's version a mapping to a character assigned since (U+019B has had an upper
// case since 16.0); the table cannot know that one, so it is left out.
void expectCaseMapEqualsIcu(const CaseMapEntry* begin, const CaseMapEntry* end, UChar32 (*icu)(UChar32))
{
    const CaseMapEntry* next = begin;
    int differences = 0;
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF)
            continue;
        char32_t fromTable = c;
        if (next != end && next->from == c) {
            fromTable = next->to;
            ++next;
        }
        const auto expected = static_cast<char32_t>(icu(static_cast<UChar32>(c)));
        if (!assignedBy(c, kCaseFoldUnicodeVersion) || !assignedBy(expected, kCaseFoldUnicodeVersion))
            continue;
        if (fromTable != expected && ++differences <= 5)
            ADD_FAILURE() << "U+" << std::hex << static_cast<unsigned>(c);
    }
    EXPECT_EQ(next, end) << "table entries out of order";
    EXPECT_EQ(differences, 0);
}

TEST(CaseFold, WindowsCaseMapTablesEqualIcuForEveryCharacterOfTheirUnicodeVersion)
{
    expectCaseMapEqualsIcu(std::begin(kUpperCases), std::end(kUpperCases), u_toupper);
    expectCaseMapEqualsIcu(std::begin(kLowerCases), std::end(kLowerCases), u_tolower);
}
#endif
