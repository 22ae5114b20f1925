#pragma once

// The windows are laid out in twips, as they were designed: 15 twips make a logical pixel.
namespace talvo::platform {

inline constexpr double kTwipsPerPixel = 15.0;

// Twips to logical pixels, rounded to the nearest pixel with halves away from zero (as
// std::lround, which is not constexpr). The difference p - whole is exact in doubles, so
// no half is lost to rounding on the way.
constexpr int twipsToPixels(double twips)
{
    const double p = twips / kTwipsPerPixel;
    const int whole = static_cast<int>(p);
    const double rest = p - whole;
    if (rest >= 0.5)
        return whole + 1;
    if (rest <= -0.5)
        return whole - 1;
    return whole;
}

} // namespace talvo::platform
