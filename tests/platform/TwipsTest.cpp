#include "platform/Twips.h"

#include <gtest/gtest.h>

#include <cmath>

using talvo::platform::twipsToPixels;

// The main window's sizes are constants the compiler works out.
static_assert(twipsToPixels(15170) == 1011);
static_assert(twipsToPixels(11500) == 767);

TEST(Twips, RoundsLikeLroundForWholeAndFractionalTwips)
{
    // Whole twips, and the drag arithmetic's fractions, halves included, either sign.
    for (int tenths = -300000; tenths <= 300000; ++tenths) {
        const double twips = tenths / 10.0;
        ASSERT_EQ(twipsToPixels(twips), std::lround(twips / 15.0)) << twips;
    }
}

TEST(Twips, HalvesGoAwayFromZeroAndTheValueJustBelowAHalfDoesNot)
{
    // Written out: MinGW's lround turns the double just below 0.5 into 1.
    const struct {
        double twips;
        int pixels;
    } rows[] = {{7.5, 1},
                {-7.5, -1},
                {22.5, 2},
                {-22.5, -2},
                {7.499999999999999, 0},
                {-7.499999999999999, 0},
                {7.500000000000001, 1},
                {0.0, 0},
                {-0.0, 0}};
    for (const auto& row : rows)
        EXPECT_EQ(twipsToPixels(row.twips), row.pixels) << row.twips;
}

TEST(Twips, WholeTwipsGiveWhatTheIntegerRoundingGave)
{
    // The main window measured whole, non-negative twips as (twips * 2 + 15) / 30.
    for (int twips = 0; twips <= 100000; ++twips)
        ASSERT_EQ(twipsToPixels(twips), (twips * 2 + 15) / 30) << twips;
}
