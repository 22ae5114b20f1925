#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "NetTestSupport.h"
#include "net/RandomSequence.h"

namespace talvo {
namespace {

using test::u8;

TEST(RandomSequence, StartsAtTheFixedSeedEveryTime)
{
    RandomSequence first;
    EXPECT_FLOAT_EQ(first.next(), 0.7055475f);
    EXPECT_FLOAT_EQ(first.next(), 0.533424f);
    EXPECT_FLOAT_EQ(first.next(), 0.5795186f);

    // The exact states, as multiples of 2^-24.
    RandomSequence second;
    EXPECT_EQ(second.next() * 16777216.0f, 11837123.0f);
    EXPECT_EQ(second.next() * 16777216.0f, 8949370.0f);
    EXPECT_EQ(second.next() * 16777216.0f, 9722709.0f);
    EXPECT_EQ(second.next() * 16777216.0f, 4858052.0f);
}

TEST(RandomSequence, CoversEveryStateOnceInRangeBeforeRepeating)
{
    RandomSequence sequence;
    const float first = sequence.next();
    float lowest = first, highest = first;
    long long steps = 1;
    for (float value = sequence.next(); value != first; value = sequence.next()) {
        lowest = std::min(lowest, value);
        highest = std::max(highest, value);
        ++steps;
        ASSERT_LE(steps, 1LL << 24);
    }
    // Each value is a distinct state, so the first comes back after exactly 2^24 draws.
    EXPECT_EQ(steps, 1LL << 24);
    EXPECT_EQ(lowest, 0.0f);
    EXPECT_EQ(highest, 16777215.0f / 16777216.0f);
}

TEST(RandomSequence, ProcessSequenceIsOneSharedObject)
{
    EXPECT_EQ(&processRandomSequence(), &processRandomSequence());
    // nextRandomDigits draws from that one sequence, one value per call.
    RandomSequence copy = processRandomSequence();
    const std::u16string first = randomDigits(copy.next());
    const std::u16string second = randomDigits(copy.next());
    EXPECT_EQ(nextRandomDigits(), first);
    EXPECT_EQ(nextRandomDigits(), second);
}

TEST(RandomDigits, KnownTexts)
{
    struct Row {
        float value;
        const char* digits;
    };
    const Row rows[] = {
        {0.7055475f, "07055475"},
        {0.533424f, "0533424"},
        {0.5795186f, "05795186"},
        {0.5f, "05"},
        {0.1f, "01"}, // 0.100000001... rounds to 0.1
        {0.0f, "0"},
        {-0.0f, "0"},
        {16777215.0f / 16777216.0f, "09999999"}, // 0.99999994 keeps seven digits
        {1.0f / 16777216.0f, "000000005960464"}, // 5.960464E-08, written out
        {1.0f / 8388608.0f, "00000001192093"},   // 1.192093E-07
        {0.001f, "0001"},
        {12.5f, "125"},
        {100.0f, "100"},
        {1234567.0f, "1234567"},
        {123456789.0f, "123456800"}, // seven significant digits, then zeros
        {-0.25f, "-025"},
        {std::numeric_limits<float>::quiet_NaN(), "0"},
        {std::numeric_limits<float>::infinity(), "0"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(u8(randomDigits(row.value)), row.digits) << "value " << row.value;
}

// Every value the sequence can give near zero and a long stretch of ordinary ones:
// digits only, and they read back as the value to seven significant digits.
TEST(RandomDigits, SequenceValuesAreDigitsThatReadBack)
{
    const auto check = [](float value) {
        const std::string digits = u8(randomDigits(value));
        ASSERT_FALSE(digits.empty());
        ASSERT_EQ(digits.find_first_not_of("0123456789"), std::string::npos) << digits;
        ASSERT_EQ(digits[0], '0') << digits;
        if (value == 0.0f)
            return;
        const double readBack = std::strtod(("0." + digits.substr(1)).c_str(), nullptr);
        ASSERT_NEAR(readBack, value, value * 5e-7) << digits;
        ASSERT_LE(digits.find_last_not_of('0') - digits.find_first_not_of('0') + 1, 7u) << digits;
    };
    for (int k = 0; k < 5000; ++k)
        check(static_cast<float>(k) / 16777216.0f);
    RandomSequence sequence;
    for (int i = 0; i < 50000; ++i)
        check(sequence.next());
}

} // namespace
} // namespace talvo
