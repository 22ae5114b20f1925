#include "browser/logic/SameSite.h"

#include <charconv>

namespace talvo::browserlogic {

namespace {

char16_t lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

std::u16string lowered(std::u16string_view text)
{
    std::u16string out(text);
    for (char16_t& c : out)
        c = lower(c);
    return out;
}

bool isSchemeChar(char16_t c, bool first)
{
    const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
    if (first)
        return letter;
    return letter || (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.';
}

// The scheme in front of ':' (lower case), or nothing when there is none.
std::optional<std::u16string> schemeOf(std::u16string_view address)
{
    const auto colon = address.find(u':');
    if (colon == std::u16string_view::npos || colon == 0)
        return std::nullopt;
    for (std::size_t i = 0; i < colon; ++i)
        if (!isSchemeChar(address[i], i == 0))
            return std::nullopt;
    return lowered(address.substr(0, colon));
}

int defaultPort(std::u16string_view scheme)
{
    if (scheme == u"http" || scheme == u"ws")
        return 80;
    if (scheme == u"https" || scheme == u"wss")
        return 443;
    if (scheme == u"ftp")
        return 21;
    return -1;
}

std::u16string_view trimmed(std::u16string_view text)
{
    while (!text.empty() && text.front() <= u' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() <= u' ')
        text.remove_suffix(1);
    return text;
}

} // namespace

std::optional<Origin> originOf(std::u16string_view address)
{
    address = trimmed(address);
    const auto scheme = schemeOf(address);
    if (!scheme)
        return std::nullopt;
    if (*scheme == u"blob")
        return originOf(address.substr(5));
    std::u16string_view rest = address.substr(scheme->size() + 1);
    if (rest.substr(0, 2) != u"//")
        return std::nullopt;
    rest.remove_prefix(2);
    std::u16string_view authority = rest.substr(0, rest.find_first_of(u"/?#\\"));
    const auto at = authority.rfind(u'@');
    if (at != std::u16string_view::npos)
        authority.remove_prefix(at + 1);

    std::u16string_view host = authority;
    std::u16string_view port;
    if (!authority.empty() && authority.front() == u'[') {
        const auto close = authority.find(u']');
        if (close == std::u16string_view::npos)
            return std::nullopt;
        host = authority.substr(0, close + 1);
        const std::u16string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != u':')
                return std::nullopt;
            port = after.substr(1);
        }
    } else if (const auto colon = authority.rfind(u':'); colon != std::u16string_view::npos) {
        host = authority.substr(0, colon);
        port = authority.substr(colon + 1);
    }
    if (host.empty())
        return std::nullopt;

    Origin origin{*scheme, lowered(host), defaultPort(*scheme)};
    // A trailing dot names the same host.
    if (origin.host.size() > 1 && origin.host.back() == u'.')
        origin.host.pop_back();
    if (!port.empty()) {
        if (port.size() > 5)
            return std::nullopt;
        int value = 0;
        for (const char16_t c : port) {
            if (c < u'0' || c > u'9')
                return std::nullopt;
            value = value * 10 + (c - u'0');
        }
        if (value > 65535)
            return std::nullopt;
        origin.port = value;
    }
    return origin;
}

NewWindowRoute routeNewWindow(std::u16string_view application, std::u16string_view target)
{
    target = trimmed(target);
    if (target.empty())
        return NewWindowRoute::OwnWindow;
    const auto scheme = schemeOf(target);
    if (!scheme)
        return NewWindowRoute::Refuse; // not an absolute address: nothing sure to open
    if (*scheme == u"about") {
        // about:blank (with or without a query or fragment) is filled by its opener.
        const std::u16string what = lowered(target.substr(6));
        const std::u16string_view page = std::u16string_view(what).substr(0, what.find_first_of(u"?#"));
        return page == u"blank" ? NewWindowRoute::OwnWindow : NewWindowRoute::Refuse;
    }
    const auto targetOrigin = originOf(target);
    const bool web = *scheme == u"http" || *scheme == u"https" || *scheme == u"blob";
    if (web && targetOrigin) {
        const auto own = originOf(application);
        if (own && *own == *targetOrigin)
            return NewWindowRoute::OwnWindow;
        return *scheme == u"blob" ? NewWindowRoute::Refuse : NewWindowRoute::SystemBrowser;
    }
    if (*scheme == u"mailto" || *scheme == u"tel")
        return NewWindowRoute::SystemBrowser;
    return NewWindowRoute::Refuse;
}

} // namespace talvo::browserlogic
