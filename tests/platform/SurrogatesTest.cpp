#include "platform/Surrogates.h"

#include <gtest/gtest.h>

using namespace talvo::platform;

TEST(Surrogates, RangesEndWhereTheStandardEndsThem)
{
    struct Row {
        char32_t c;
        bool high, low;
    };
    const Row rows[] = {{0xD7FF, false, false}, {0xD800, true, false},   {0xDBFF, true, false},
                        {0xDC00, false, true},  {0xDFFF, false, true},   {0xE000, false, false},
                        {0x0000, false, false}, {0x1D800, false, false}, {0x1DC00, false, false}};
    for (const Row& row : rows) {
        EXPECT_EQ(isHighSurrogate(row.c), row.high) << std::hex << static_cast<unsigned>(row.c);
        EXPECT_EQ(isLowSurrogate(row.c), row.low) << std::hex << static_cast<unsigned>(row.c);
        EXPECT_EQ(isSurrogate(row.c), row.high || row.low) << std::hex << static_cast<unsigned>(row.c);
    }
}

TEST(Surrogates, EveryCodePointAboveTheBmpSplitsAndJoinsBack)
{
    for (char32_t c = 0x10000; c <= 0x10FFFF; ++c) {
        const char16_t high = highSurrogateOf(c), low = lowSurrogateOf(c);
        ASSERT_TRUE(isHighSurrogate(high) && isLowSurrogate(low)) << std::hex << static_cast<unsigned>(c);
        ASSERT_EQ(combineSurrogates(high, low), c);
    }
    EXPECT_EQ(highSurrogateOf(0x1F600), 0xD83D);
    EXPECT_EQ(lowSurrogateOf(0x1F600), 0xDE00);
}

TEST(Surrogates, AppendWritesOneUnitOrAPair)
{
    std::u16string out;
    appendCodePoint(out, U'a');
    appendCodePoint(out, 0xFFFF);
    appendCodePoint(out, U'\U0001F600');
    appendCodePoint(out, 0xDC00); // a lone surrogate stays one unit
    EXPECT_EQ(out, u"a\uFFFF\U0001F600\xDC00");
}
