#include "net/WireForm.h"

#include <algorithm>
#include <array>

#include "platform/Utf.h"

namespace talvo::net {

namespace {

bool isTokenChar(char16_t c)
{
    if ((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'))
        return true;
    return std::u16string_view(u"!#$%&'*+-.^_`|~").find(c) != std::u16string_view::npos;
}

} // namespace

std::optional<std::string> wireMethod(std::u16string_view act)
{
    if (act.empty())
        return std::nullopt;
    std::string method;
    for (char16_t c : act) {
        if (!isTokenChar(c))
            return std::nullopt;
        method.push_back(static_cast<char>(c));
    }
    std::string upper = method;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; });
    static constexpr std::array<std::string_view, 6> kKnown{"GET", "HEAD", "POST", "PUT", "DELETE", "OPTIONS"};
    if (std::find(kKnown.begin(), kKnown.end(), upper) != kKnown.end())
        return upper;
    return method;
}

std::string escapeUnsafeBytes(std::string_view bytes)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size());
    for (unsigned char c : bytes) {
        if (c >= 0x80 || c <= 0x20 || c == 0x7F) {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 0x0F]);
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

std::string wireAddress(std::u16string_view url) { return escapeUnsafeBytes(platform::toUtf8(url)); }

} // namespace talvo::net
