#include "Utf.h"
#include "Utf8Sequence.h"

#include <cstdint>

// Our own code on every platform: Windows has no ICU, and both must agree byte for byte.
namespace talvo::platform {

namespace {
constexpr char32_t kReplacement = 0xFFFD;

void putUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

void putUtf16(std::u16string& out, char32_t c)
{
    if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
    } else {
        out.push_back(static_cast<char16_t>(0xD7C0 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 | (c & 0x3FF)));
    }
}
} // namespace

std::string toUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size() * 3);
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = kReplacement;
        }
        putUtf8(out, c);
    }
    return out;
}

std::u16string fromUtf8(std::string_view bytes)
{
    std::u16string out;
    out.reserve(bytes.size());
    const auto* s = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const std::size_t length = bytes.size();
    // One U+FFFD per maximal invalid subpart.
    for (std::size_t i = 0; i < length;) {
        const std::uint8_t b0 = s[i];
        if (b0 < 0x80) {
            out.push_back(b0);
            ++i;
            continue;
        }
        char32_t c = 0;
        std::size_t bad = 1;
        const std::size_t n = readUtf8Sequence(s + i, length - i, c, bad);
        putUtf16(out, n != 0 ? c : kReplacement);
        i += n != 0 ? n : bad;
    }
    return out;
}

} // namespace talvo::platform
