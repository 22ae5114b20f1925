#pragma once

#include <cstdint>
#include <string>

// Conversion between text and a byte string in any Windows code page.
namespace talvo::basInCodePage {

// Code page -1 means the active ANSI code page, 0 the system's ANSI code page,
// 65001 UTF-8; flags pass straight to the platform (0 in every caller).
// The text counts up to its first U+0000 (or its end); the result holds exactly the
// converted bytes, no terminator. A character the code page cannot hold becomes "?"
// (U+FFFD for a lone surrogate in UTF-8). An unknown code page or flags the code page
// refuses throw RuntimeError 5; nothing partial is returned.
std::string UnicodeToCodePage(std::u16string text, std::int32_t codePage, const std::int32_t& flags);

// The mirror image: the bytes count up to their first zero byte. Invalid sequences
// become "?" in the legacy code pages (a bad lead byte alone, the byte after it read
// afresh) and U+FFFD in UTF-8. Same errors as above.
std::u16string CodePageToUnicode(std::string bytes, std::int32_t codePage, const std::int32_t& flags);

} // namespace talvo::basInCodePage
