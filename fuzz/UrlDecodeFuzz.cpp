// URLDecode on hostile text; URLEncode and GBtoUTF8andURLEncode undone again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "codec/cBaseCode.h"
#include "fuzz/FuzzSupport.h"
#include "platform/CodePage.h"
#include "platform/Utf.h"

namespace {

bool isAsciiLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }
bool isUpperHex(char16_t c) { return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'); }

// "%XX" escapes to bytes, other characters as they are (ASCII only here).
std::string unescape(const std::u16string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'%') {
            FUZZ_CHECK(i + 2 < text.size() && isUpperHex(text[i + 1]) && isUpperHex(text[i + 2]));
            auto digit = [](char16_t c) { return c <= u'9' ? c - u'0' : c - u'A' + 10; };
            out.push_back(static_cast<char>(digit(text[i + 1]) * 16 + digit(text[i + 2])));
            i += 2;
        } else {
            FUZZ_CHECK(text[i] < 0x80);
            out.push_back(static_cast<char>(text[i]));
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::u16string text = talvo::fuzz::textFromBytes(data, size);
    talvo::cBaseCode codec;

    const std::u16string decoded = codec.URLDecode(text);
    FUZZ_CHECK(decoded.size() <= text.size());
    if (text.find(u'%') == std::u16string::npos)
        FUZZ_CHECK(decoded == text);

    // Escaping: letters stay, everything else becomes upper-case escapes; what the
    // ANSI code page holds decodes back unchanged.
    const std::u16string encoded = codec.URLEncode(text);
    FUZZ_CHECK(encoded.size() <= text.size() * 6);
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] == u'%') {
            FUZZ_CHECK(i + 2 < encoded.size() && isUpperHex(encoded[i + 1]) && isUpperHex(encoded[i + 2]));
            i += 2;
        } else {
            FUZZ_CHECK(isAsciiLetter(encoded[i]));
        }
    }
    std::u16string held;
    for (char16_t c : text) {
        const std::u16string one(1, c);
        if (talvo::platform::ansiToText(talvo::platform::textToAnsi(one)) == one)
            held.push_back(c);
    }
    FUZZ_CHECK(codec.URLDecode(codec.URLEncode(held)) == held);

    // UTF-8 escaping leaves ASCII alone, so it can be undone when the text has no "%".
    if (!text.empty() && text.find(u'%') == std::u16string::npos) {
        const talvo::Variant escaped = codec.GBtoUTF8andURLEncode(talvo::Variant(text));
        FUZZ_CHECK(escaped.isText());
        FUZZ_CHECK(unescape(escaped.text()) == talvo::platform::toUtf8(text));
    }
    return 0;
}
