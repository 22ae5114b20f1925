#pragma once

#include <string_view>

namespace talvo::browserlogic {

// How a top-level navigation came about, as the engine tells it.
enum class NavigationKind {
    Typed,       // our own load of an address
    LinkClicked, // a link, clicked or followed by script
    FormSubmitted,
    BackForward, // the user's history keys
    Reload,
    Redirect, // the server sent the navigation on
    Other,    // script (location = ...), window.open(...).location, meta refresh
};

enum class NavigationVerdict {
    Follow,        // the view goes there
    SystemBrowser, // stays where it is; the address goes to the user's own browser
    Refuse,        // stays where it is; nothing opened
};

// Where a navigation of a page's top frame may go. application: the web application's
// address; current: what the view shows now (empty before its first page); target: where
// the navigation goes. Frames inside a page are not decided here: they may show any site.
//
// The application's own site is always followed, and so is a server's redirect (the
// navigation it belongs to was let through when it started: single sign-on works that way).
// Our own loads and the user's history keys are followed. A page of another site that the
// view shows may move about its own site; everything else a page starts towards another
// site goes to the system browser, or nowhere for addresses no browser should be handed.
NavigationVerdict decideNavigation(std::u16string_view application, std::u16string_view current,
                                   std::u16string_view target, NavigationKind kind);

// True when address is of the application's site (same scheme, host and port).
bool isApplicationSite(std::u16string_view application, std::u16string_view address);

} // namespace talvo::browserlogic
