#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace talvo::browserlogic {

// Scheme, host and port of an address. Scheme and host are lower case (ASCII); port is
// the explicit port or the scheme's default (-1 when the scheme has none).
struct Origin {
    std::u16string scheme;
    std::u16string host;
    int port = -1;
    bool operator==(const Origin&) const = default;
};

// The origin of an absolute address "scheme://[user@]host[:port]/...". A "blob:" address
// has the origin of the address it wraps. Nothing for addresses without an authority
// ("about:blank", "mailto:x", "data:...") and for malformed ones (bad port, no host).
std::optional<Origin> originOf(std::u16string_view address);

// Where a page's request for a new window goes.
enum class NewWindowRoute {
    OwnWindow,     // our popup window, with the application's session
    SystemBrowser, // another site: the user's own browser
    Refuse,        // nothing a user could want opened (file:, javascript:, view-source: ...)
};

// application: the web application's address (the main window's start address).
// An empty target or "about:blank" is a window the opener fills by script, so it belongs
// to the opener's site. Same site means same scheme, host and port.
NewWindowRoute routeNewWindow(std::u16string_view application, std::u16string_view target);

} // namespace talvo::browserlogic
