#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace talvo::browserlogic {

// An RFC 5987 extended value, "charset'language'percent-encoded-bytes", as text. Only the
// UTF-8 and ISO-8859-1 character sets are understood (case-insensitive); anything else,
// a missing quote, a bad escape or bytes invalid in the character set gives nothing.
std::optional<std::u16string> decodeExtendedValue(std::u16string_view value);

// The name a download is offered under in the save dialog.
//
// suggested is the name the engine took from the server's answer, urlPath the path of the
// download's address (used when suggested is empty). A name still in the extended form
// (servers that write filename="UTF-8''%E5..."), or wholly percent-escaped UTF-8, is
// decoded. The result is one plain file name, safe on Windows and Linux: path separators,
// control characters, direction overrides and the characters Windows refuses become "_",
// leading dots and trailing dots and blanks go, device names (CON, NUL, COM1 ...) get a "_"
// in front, and it is at most 180 characters with its extension kept. Never empty:
// "download" when nothing usable is left.
std::u16string downloadFileName(std::u16string_view suggested, std::u16string_view urlPath = {});

} // namespace talvo::browserlogic
