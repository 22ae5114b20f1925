#include "browser/logic/NavigationPolicy.h"

#include "browser/logic/SameSite.h"

namespace talvo::browserlogic {

namespace {

bool sameSite(std::u16string_view a, std::u16string_view b)
{
    const auto first = originOf(a);
    const auto second = originOf(b);
    return first && second && *first == *second;
}

std::u16string lowerAscii(std::u16string_view text)
{
    std::u16string out(text);
    for (char16_t& c : out)
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c + 32);
    return out;
}

bool isWeb(std::u16string_view address)
{
    const std::u16string lower = lowerAscii(address.substr(0, 8));
    return lower.starts_with(u"http://") || lower.starts_with(u"https://");
}

// about:blank and about:srcdoc carry no site of their own: they take their creator's.
bool isBlankDocument(std::u16string_view address)
{
    const std::u16string lower = lowerAscii(address);
    const std::u16string_view page = std::u16string_view(lower).substr(0, lower.find_first_of(u"?#"));
    return page == u"about:blank" || page == u"about:srcdoc";
}

} // namespace

bool isApplicationSite(std::u16string_view application, std::u16string_view address)
{
    return sameSite(application, address);
}

NavigationVerdict decideNavigation(std::u16string_view application, std::u16string_view current,
                                   std::u16string_view target, NavigationKind kind)
{
    if (isBlankDocument(target))
        return NavigationVerdict::Follow;
    // Before the application's address is known there is nothing to keep apart.
    if (!originOf(application))
        return NavigationVerdict::Follow;
    if (sameSite(application, target))
        return NavigationVerdict::Follow;
    switch (kind) {
    case NavigationKind::Typed:
    case NavigationKind::BackForward:
    case NavigationKind::Reload:
    case NavigationKind::Redirect: return NavigationVerdict::Follow;
    case NavigationKind::LinkClicked:
    case NavigationKind::FormSubmitted:
    case NavigationKind::Other: break;
    }
    if (isWeb(target) && isWeb(current) && !sameSite(application, current) && sameSite(current, target))
        return NavigationVerdict::Follow;
    switch (routeNewWindow(application, target)) {
    case NewWindowRoute::SystemBrowser: return NavigationVerdict::SystemBrowser;
    case NewWindowRoute::OwnWindow: // only the application's own, decided above
    case NewWindowRoute::Refuse: break;
    }
    return NavigationVerdict::Refuse;
}

} // namespace talvo::browserlogic
