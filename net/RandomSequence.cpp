#include "net/RandomSequence.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace talvo {

namespace {
constexpr std::uint32_t kSeed = 0x50000;
constexpr std::uint32_t kMultiplier = 0x43FD43FD;
constexpr std::uint32_t kIncrement = 0xC39EC3;
constexpr std::uint32_t kMask = 0xFFFFFF;
constexpr float kScale = 1.0f / 16777216.0f; // 2^-24
} // namespace

RandomSequence::RandomSequence() : state_(kSeed) { }

float RandomSequence::next()
{
    // 32-bit wrap-around keeps the low 24 bits exact, which is all the mask keeps.
    state_ = (state_ * kMultiplier + kIncrement) & kMask;
    return static_cast<float>(state_) * kScale;
}

RandomSequence& processRandomSequence()
{
    static RandomSequence sequence;
    return sequence;
}

std::u16string randomDigits(float value)
{
    if (!std::isfinite(value) || value == 0.0f)
        return u"0";

    // Seven significant digits as "d.dddddde±XX"; the value is taken as a double so the
    // rounding is that of the float's exact value.
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.6e", static_cast<double>(std::fabs(value)));
    const std::string text(buffer);
    const auto e = text.find('e');
    std::string mantissa; // the significant digits, without the point
    for (std::size_t i = 0; i < e; ++i)
        if (text[i] != '.')
            mantissa.push_back(text[i]);
    while (mantissa.size() > 1 && mantissa.back() == '0')
        mantissa.pop_back();
    const int exponent = std::atoi(text.c_str() + e + 1);

    // Fixed notation with the point already left out: digits of the integer part, then
    // of the fraction. Values below 1 start with "0" and the fraction's leading zeros.
    std::string digits;
    if (exponent < 0) {
        digits.assign(static_cast<std::size_t>(-exponent), '0');
        digits += mantissa;
    } else {
        digits = mantissa;
        const auto integerDigits = static_cast<std::size_t>(exponent) + 1;
        if (digits.size() < integerDigits)
            digits.append(integerDigits - digits.size(), '0');
    }

    std::u16string out;
    out.reserve(digits.size() + 1);
    if (value < 0.0f)
        out.push_back(u'-');
    for (char c : digits)
        out.push_back(static_cast<char16_t>(c));
    return out;
}

std::u16string nextRandomDigits() { return randomDigits(processRandomSequence().next()); }

} // namespace talvo
