#pragma once

#include <string>

// Full Unicode case folding (the default mappings, "ß" becomes "ss"), for searches that
// ignore case: ICU on Linux, a table made from ICU on Windows
// (platform/windows/CaseFoldTable.inc), so both fold alike.
namespace talvo::platform {

// Appends the folded form of the code point c (a lone surrogate is kept as it is).
void appendCaseFold(char32_t c, std::u16string& out);

// The code point at s[i], moving i past it; a lone surrogate is returned as it is.
template <typename Index>
char32_t nextCodePoint(const char16_t* s, Index& i, Index length)
{
    const char32_t c = s[i++];
    if (c >= 0xD800 && c <= 0xDBFF && i < length && s[i] >= 0xDC00 && s[i] <= 0xDFFF)
        return 0x10000 + ((c - 0xD800) << 10) + (s[i++] - 0xDC00u);
    return c;
}

} // namespace talvo::platform
