#pragma once

#include <cstddef>

namespace talvo::platform {

// Reads the UTF-8 sequence at s, whose first byte is 0x80 or more, with avail bytes
// available. Returns its length (2-4) with its code point in cp, or 0 with `bad` set to
// the length of the maximal invalid subpart (the Unicode / WHATWG rule), which stands for
// one U+FFFD: the bytes that were valid so far go together, the byte that broke the
// sequence is read afresh. Inline because both decoders call it once a character.
inline std::size_t readUtf8Sequence(const unsigned char* s, std::size_t avail, char32_t& cp, std::size_t& bad)
{
    const unsigned char b0 = s[0];
    bad = 1;
    std::size_t need;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 2;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 3;
        cp = b0 & 0x0F;
        if (b0 == 0xE0)
            lo = 0xA0;
        else if (b0 == 0xED)
            hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 4;
        cp = b0 & 0x07;
        if (b0 == 0xF0)
            lo = 0x90;
        else if (b0 == 0xF4)
            hi = 0x8F;
    } else {
        return 0;
    }
    for (std::size_t k = 1; k < need; ++k) {
        if (k >= avail)
            return 0;
        const unsigned char b = s[k];
        if (b < lo || b > hi)
            return 0;
        lo = 0x80;
        hi = 0xBF;
        cp = (cp << 6) | (b & 0x3F);
        bad = k + 1;
    }
    return need;
}

} // namespace talvo::platform
