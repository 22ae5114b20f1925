#pragma once

#include <cstdint>
#include <string>

#include "platform/Variant.h"

namespace talvo {

// Text transformations for talking to web servers: UTF-8 carried inside ANSI text,
// and percent-escaping. Hex digits written are two per byte, upper case.
class cBaseCode {
public:
    std::string cnvUni2;        // ANSI bytes of the last non-empty DecodeUTF8 input
    std::u16string cnvUni;      // kept for callers; no operation uses it
    std::int32_t sCodePage = 0; // the code page EncodeUTF8 encodes to (0 = ANSI)

    // No value for "". Otherwise the text up to its first U+0000 encoded in sCodePage,
    // those bytes read back as ANSI text (a byte sequence the ANSI code page cannot
    // read becomes "?"). Throws RuntimeError 5 when sCodePage is not a known code page.
    Variant EncodeUTF8(std::u16string cnvUni);

    // Sets sCodePage to 65001 first, always. No value for "". Otherwise stores the
    // text's ANSI bytes in cnvUni2 and returns them decoded as UTF-8 (invalid UTF-8
    // becomes U+FFFD). Like EncodeUTF8, only the text before a U+0000 counts.
    Variant DecodeUTF8(std::u16string cnvUni);

    // Percent-escaped UTF-8 of every non-ASCII character; ASCII, controls and "%"
    // included, passes through untouched. A variant holding no value or "" comes back
    // unchanged; a byte array is first read as UTF-16 units. A surrogate pair becomes
    // the four escapes of its character; a lone surrogate becomes "%EF%BF%BD" (U+FFFD).
    Variant GBtoUTF8andURLEncode(const Variant& szInput);

    // Escapes the ANSI bytes of every character except the 52 ASCII letters: a space
    // is "%20", a double-byte character two escapes, a character the ANSI code page
    // cannot hold "%3F" (each half of a surrogate pair on its own).
    std::u16string URLEncode(const std::u16string& strURL);

    // Text without "%" comes back unchanged; "+" always stays "+". An escape reads up
    // to two hex digits (either case) after "%", stopping at the first non-digit or
    // the end of the text, and always consumes three characters: "%zz" and a "%" at
    // the very end give U+0000, "%4" at the end gives U+0004. An escape above 0x7F is
    // a lead byte: when the next three characters are "%" and two hex digits and the
    // two bytes make one ANSI character, that character is appended and six characters
    // are consumed; otherwise the byte is decoded on its own ("?" for a lead byte
    // without its trail) and only its own escape is consumed, so nothing after it is
    // swallowed.
    std::u16string URLDecode(const std::u16string& strURL);
};

} // namespace talvo
