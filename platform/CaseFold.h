#pragma once

#include <string>

#include "platform/Surrogates.h"

// Full Unicode case folding (the default mappings, "ß" becomes "ss"), for searches that
// ignore case: ICU on Linux, a table made from ICU on Windows
// (platform/windows/CaseFoldTable.inc), so both fold alike.
namespace talvo::platform {

// Appends the folded form of the code point c (a lone surrogate is kept as it is).
void appendCaseFold(char32_t c, std::u16string& out);

// The simple (one-to-one) case mappings of one code point, from the same source as the
// folding; a code point without one, a surrogate included, is returned as it is.
char32_t simpleUpperCase(char32_t c);
char32_t simpleLowerCase(char32_t c);

} // namespace talvo::platform
