#pragma once

#include <cstdint>
#include <string>

namespace talvo {

// The process-wide pseudo-random sequence every cache-busting value comes from.
// A 24-bit linear congruential generator with a fixed seed, so every run draws the
// same succession of values; it is never seeded from the clock.
class RandomSequence {
public:
    RandomSequence();

    // The next value in [0, 1): the new state divided by 2^24 (exact in a float).
    float next();

private:
    std::uint32_t state_;
};

// The one sequence the whole process shares. Not thread-safe: everything that draws
// from it runs on the user-interface thread.
RandomSequence& processRandomSequence();

// The value's decimal text with at most 7 significant digits (the shortest such text,
// trailing zeros dropped), always written without an exponent, with every "." removed:
// 0.7055475 -> "07055475", 0.5 -> "05", 0 -> "0", 5.960464E-08 -> "000000005960464".
// A negative value keeps its leading "-"; a value that is not finite gives "0".
std::u16string randomDigits(float value);

// randomDigits() of the next value of the process sequence.
std::u16string nextRandomDigits();

} // namespace talvo
