#pragma once

#include <string>

// UTF-16 surrogate pairs: the tests, joining and splitting every layer uses.
namespace talvo::platform {

constexpr bool isHighSurrogate(char32_t c) { return c - 0xD800u < 0x400u; }
constexpr bool isLowSurrogate(char32_t c) { return c - 0xDC00u < 0x400u; }
constexpr bool isSurrogate(char32_t c) { return c - 0xD800u < 0x800u; }

// The code point of a high and a low surrogate.
constexpr char32_t combineSurrogates(char32_t high, char32_t low)
{
    return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}

// The two units of a code point above U+FFFF.
constexpr char16_t highSurrogateOf(char32_t c) { return static_cast<char16_t>(0xD7C0 + (c >> 10)); }
constexpr char16_t lowSurrogateOf(char32_t c) { return static_cast<char16_t>(0xDC00 | (c & 0x3FF)); }

// Appends c as one unit, or as a pair above U+FFFF.
inline void appendCodePoint(std::u16string& out, char32_t c)
{
    if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
    } else {
        out.push_back(highSurrogateOf(c));
        out.push_back(lowSurrogateOf(c));
    }
}

// The code point at s[i], moving i past it; a lone surrogate is returned as it is.
template<typename Index>
char32_t nextCodePoint(const char16_t* s, Index& i, Index length)
{
    const char32_t c = s[i++];
    if (isHighSurrogate(c) && i < length && isLowSurrogate(s[i]))
        return combineSurrogates(c, s[i++]);
    return c;
}

} // namespace talvo::platform
