#pragma once

#include <QWebEngineView>

#include "browser/BrowserPage.h"
#include "browser/logic/BrowserKeys.h"

namespace talvo::browser {

class FindBar;
class Profile;
class PageRecovery;

// A browser view with what a user works with all day: the browser keys (reload, find,
// zoom, back and forward, print), the mouse's back and forward buttons, a find bar and a
// context menu without developer entries.
class BrowserView : public QWebEngineView {
    Q_OBJECT
public:
    BrowserView(BrowserPage::Role role, Profile& profile, QWidget* parent);
    // On a page made beforehand (the warmed-up main page); the view takes it over.
    BrowserView(BrowserPage* page, QWidget* parent);

    BrowserPage* browserPage() const { return page_; }

    // True while the view holds the stand-in for a failed load, not an application page.
    bool showsFailedLoad() const;

    // Runs one browser action as its key would.
    void perform(browserlogic::BrowserAction action);

    // A zoom the window itself needs (to fit a small screen); the user's zoom multiplies it.
    void setBaseZoom(double factor);

    // F12 and the context menu offer the developer tools (the program's --devtools).
    void setDevToolsAllowed(bool allowed) { devToolsAllowed_ = allowed; }

signals:
    // Ctrl+P or the context menu's print entry.
    void printWanted();
    // F12 or the context menu's entry, when the developer tools are allowed.
    void devToolsWanted();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void watchChild(QObject* child);
    // The zoom of every view, in percent; kept for the session.
    int sessionZoom() const;
    void applyZoom(int percent);

    BrowserPage* page_;
    FindBar* findBar();
    FindBar* findBar_ = nullptr;
    PageRecovery* recovery_ = nullptr;
    double baseZoom_ = 1.0;
    bool devToolsAllowed_ = false;
};

} // namespace talvo::browser
