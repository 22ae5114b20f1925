#pragma once

#include <string>
#include <string_view>

// Bytes read as text in a named character set, on the platform's own converters
// (ICU on Linux, Windows code pages through platform::Charset on Windows).
namespace talvo::net {

// name: ASCII, not UTF-8 (the caller handles that). Undecodable bytes become
// replacement characters. Throws RuntimeError 5 for a name the platform does not
// know, 6 for bytes too many to convert.
std::u16string decodeText(std::string_view bytes, const std::string& name);

} // namespace talvo::net
