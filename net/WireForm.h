#pragma once

#include <optional>
#include <string>
#include <string_view>

// How the caller's method and address go on the wire, the same for every backend.
namespace talvo::net {

// The method as sent: GET, HEAD, POST, PUT, DELETE and OPTIONS in any letter case go
// upper-cased, any other token as given; nothing when it is not a token (it would let a
// caller write into the request line).
std::optional<std::string> wireMethod(std::u16string_view act);

// The address as UTF-8 with bytes >= 0x80, spaces and control characters
// percent-escaped; everything else, "%XX" escapes included, unchanged.
std::string wireAddress(std::u16string_view url);
std::string escapeUnsafeBytes(std::string_view bytes);

} // namespace talvo::net
