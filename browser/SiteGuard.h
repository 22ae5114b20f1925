#pragma once

#include <QUrl>
#include <QWebEnginePage>

namespace talvo::browser {

class BrowserPage;

// Keeps pages of other sites from acting as the application: decides where a page's top
// frame may go, counts the user's gestures and tells the application's site. The browser
// implements it for its pages.
class SiteGuard {
public:
    virtual ~SiteGuard() = default;
    // True when page may go to target; otherwise the view stays where it is and the
    // address may have gone to the system browser.
    virtual bool allowNavigation(BrowserPage& page, const QUrl& target, QWebEnginePage::NavigationType type) = 0;
    // A key or mouse press in one of our views.
    virtual void noteUserInput() = 0;
    // The web application's address (empty until it is known): its site is the application.
    virtual const QUrl& applicationAddress() const = 0;
};

} // namespace talvo::browser
