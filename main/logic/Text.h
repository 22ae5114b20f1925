#pragma once

#include <string>
#include <string_view>

namespace talvo::mainlogic {

// Upper case, one code point at a time with the simple (one-to-one) Unicode mapping, so
// the result always has the same length in UTF-16 units as the input: "ß" stays "ß",
// and a mapping that would change a character's UTF-16 length keeps the original.
// Unpaired surrogates pass through unchanged.
std::u16string upperCase(std::u16string_view text);

// Every non-overlapping occurrence of from, scanned left to right, replaced by to. The
// replaced text is not scanned again. An empty from leaves text as it is.
std::u16string replaceAll(std::u16string_view text, std::u16string_view from, std::u16string_view to);

} // namespace talvo::mainlogic
