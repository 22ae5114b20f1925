#include "browser/logic/DownloadName.h"

#include <array>

#include "platform/Surrogates.h"
#include "platform/Utf.h"

namespace talvo::browserlogic {

namespace {

constexpr std::size_t kMaxNameLength = 180;
constexpr std::size_t kMaxExtensionLength = 16;

char16_t lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

bool equalsIgnoringCase(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

int hexValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// Percent-escapes to bytes; other characters must be ASCII. Nothing on a bad escape.
std::optional<std::string> unescapeBytes(std::u16string_view text)
{
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'%') {
            if (i + 2 >= text.size())
                return std::nullopt;
            const int high = hexValue(text[i + 1]);
            const int low = hexValue(text[i + 2]);
            if (high < 0 || low < 0)
                return std::nullopt;
            bytes.push_back(static_cast<char>(high * 16 + low));
            i += 2;
        } else if (c < 0x80) {
            bytes.push_back(static_cast<char>(c));
        } else {
            return std::nullopt;
        }
    }
    return bytes;
}

std::optional<std::u16string> strictUtf8(const std::string& bytes)
{
    std::u16string text = platform::fromUtf8(bytes);
    // fromUtf8 marks every invalid sequence with U+FFFD; a real U+FFFD is EF BF BD.
    std::size_t marks = 0;
    for (const char16_t c : text)
        marks += c == 0xFFFD;
    std::size_t real = 0;
    for (std::size_t at = bytes.find("\xEF\xBF\xBD"); at != std::string::npos; at = bytes.find("\xEF\xBF\xBD", at + 3))
        ++real;
    if (marks != real)
        return std::nullopt;
    return text;
}

bool isUnsafe(char16_t c)
{
    if (c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F))
        return true; // control characters
    if ((c >= 0x200E && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069))
        return true; // direction marks and overrides, which can disguise an extension
    if (c == 0x2028 || c == 0x2029 || c == 0xFEFF)
        return true;
    switch (c) {
    case u'/':
    case u'\\':
    case u':':
    case u'*':
    case u'?':
    case u'"':
    case u'<':
    case u'>':
    case u'|': return true;
    default: return false;
    }
}

bool isDeviceName(std::u16string_view name)
{
    // Windows reserves these whatever the extension.
    const std::u16string_view stem = name.substr(0, name.find(u'.'));
    std::u16string_view bare = stem;
    while (!bare.empty() && bare.back() == u' ')
        bare.remove_suffix(1);
    static constexpr std::array<std::u16string_view, 4> plain = {u"con", u"prn", u"aux", u"nul"};
    for (const auto device : plain)
        if (equalsIgnoringCase(bare, device))
            return true;
    if (bare.size() == 4
        && (equalsIgnoringCase(bare.substr(0, 3), u"com") || equalsIgnoringCase(bare.substr(0, 3), u"lpt"))
        && bare[3] >= u'1' && bare[3] <= u'9')
        return true;
    return false;
}

std::u16string_view lastSegment(std::u16string_view path)
{
    path = path.substr(0, path.find_first_of(u"?#"));
    while (!path.empty() && path.back() == u'/')
        path.remove_suffix(1);
    const auto slash = path.rfind(u'/');
    return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

// Decodes a name that still carries an escaped form; anything else as it is.
std::u16string decoded(std::u16string_view name)
{
    if (const auto extended = decodeExtendedValue(name))
        return *extended;
    if (name.find(u'%') != std::u16string_view::npos) {
        const auto bytes = unescapeBytes(name);
        if (bytes) {
            bool nonAscii = false;
            for (const char b : *bytes)
                nonAscii |= static_cast<unsigned char>(b) >= 0x80;
            if (nonAscii)
                if (auto text = strictUtf8(*bytes))
                    return *text;
        }
    }
    return std::u16string(name);
}

std::u16string cleaned(std::u16string_view raw)
{
    std::u16string name;
    name.reserve(raw.size());
    for (const char16_t c : raw)
        name.push_back(isUnsafe(c) ? u'_' : c);
    std::size_t begin = 0;
    while (begin < name.size() && (name[begin] == u'.' || name[begin] == u' '))
        ++begin;
    std::size_t end = name.size();
    while (end > begin && (name[end - 1] == u'.' || name[end - 1] == u' '))
        --end;
    name = name.substr(begin, end - begin);
    // A name of underscores only came from nothing but unsafe characters.
    if (name.find_first_not_of(u'_') == std::u16string::npos)
        return {};

    if (name.size() > kMaxNameLength) {
        const auto dot = name.rfind(u'.');
        std::u16string extension;
        if (dot != std::u16string::npos && name.size() - dot <= kMaxExtensionLength)
            extension = name.substr(dot);
        std::size_t keep = kMaxNameLength - extension.size();
        // Never cut a surrogate pair in half.
        if (keep > 0 && platform::isHighSurrogate(name[keep - 1]))
            --keep;
        name = name.substr(0, keep) + extension;
    }
    if (isDeviceName(name))
        name.insert(name.begin(), u'_');
    return name;
}

} // namespace

std::optional<std::u16string> decodeExtendedValue(std::u16string_view value)
{
    const auto first = value.find(u'\'');
    if (first == std::u16string_view::npos)
        return std::nullopt;
    const auto second = value.find(u'\'', first + 1);
    if (second == std::u16string_view::npos)
        return std::nullopt;
    const std::u16string_view charset = value.substr(0, first);
    const auto bytes = unescapeBytes(value.substr(second + 1));
    if (!bytes)
        return std::nullopt;
    if (equalsIgnoringCase(charset, u"utf-8"))
        return strictUtf8(*bytes);
    if (equalsIgnoringCase(charset, u"iso-8859-1")) {
        std::u16string text;
        for (const char b : *bytes)
            text.push_back(static_cast<unsigned char>(b));
        return text;
    }
    return std::nullopt;
}

std::u16string downloadFileName(std::u16string_view suggested, std::u16string_view urlPath)
{
    std::u16string name = cleaned(decoded(suggested));
    if (name.empty())
        name = cleaned(decoded(lastSegment(urlPath)));
    return name.empty() ? std::u16string(u"download") : name;
}

} // namespace talvo::browserlogic
