#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>

#include "browser/SiteGuard.h"
#include "browser/logic/PopupLimits.h"

class QWebEngineNewWindowRequest;
class QWidget;

namespace talvo::browser {

class BrowserPage;
class BrowserView;
class DevToolsWindow;
class Downloads;
class FramePrint;
class PopupWindow;
class PrintPreview;
class Profile;

// The embedded browser of the main window and everything around it: the main view, the
// popup windows the application opens on its own site, downloads and printing. The main
// window owns one and shows it; only the main view's page feeds the command bridge.
//
// Only the application's own site (scheme, host and port of its address) is the
// application. A page's top frame goes to other sites only by a server's redirect of a
// navigation we let start; what a page starts towards another site goes to the system
// browser, once per user gesture and at most once a second. New windows need a gesture too,
// one per gesture, and at most PopupLimits::kMaxPopups are open at once. A window the
// opener writes itself stays ours only when its document is of the application's site.
class Browser : public QObject, public SiteGuard {
    Q_OBJECT
public:
    using ExternalOpener = std::function<void(const QUrl& url)>;

    // mainWindow: the window the main view sits in (its parent), the centre for popups
    // and the parent of the save and print dialogs.
    // profile: the one every page of ours is on; it outlives this.
    // preparedPage: the main page made ahead (see WarmUp.h), taken over; or nullptr.
    Browser(QWidget* mainWindow, Profile& profile, BrowserPage* preparedPage = nullptr);
    ~Browser() override;

    BrowserView* mainView() const { return mainView_; }

    // The web application's address: new windows on its site (same scheme, host and port)
    // open in our own windows, others in the system browser.
    void setApplicationAddress(const QUrl& address);
    const QUrl& applicationAddress() const { return application_; }
    // True when url is of the application's site.
    bool isApplication(const QUrl& url) const;
    // Opens addresses of other sites; by default nothing is opened.
    void setExternalOpener(ExternalOpener opener);
    // F12 and the context menu open the engine's developer tools for their page.
    void setDevToolsAllowed(bool allowed);

    // The popup windows open now.
    QList<PopupWindow*> popups() const;
    // Closes every popup window.
    void closePopups();
    // Closes the popups and deletes every page, main view included; the profile may go
    // after this. Safe to call more than once.
    void shutDown();

    // SiteGuard
    bool allowNavigation(BrowserPage& page, const QUrl& target, QWebEnginePage::NavigationType type) override;
    void noteUserInput() override;

signals:
    // Download progress, completion and failure, blocked popups, for the status bar.
    void statusMessage(const QString& text);
    // The last status message is over; the status bar may show its own line again.
    void statusFinished();
    // The main view shows a page of another site (host), or the application's again (empty).
    void foreignSiteChanged(const QString& host);

private:
    void watch(BrowserView* view);
    void onNewWindow(QWebEngineNewWindowRequest& request);
    void openPopup(QWebEngineNewWindowRequest& request, const QString& address);
    // A popup becomes ours (counted, watched, closed with the rest), then is shown.
    void adoptPopup(PopupWindow* popup);
    void showPopup(PopupWindow* popup, const QString& address);
    void handOff(const QUrl& url, bool gesture, const char* what);
    void blocked(const QString& address, const char* why);
    void onMainUrl(const QUrl& url);
    void openDevTools(BrowserView* view);

    Profile& profile_;
    QWidget* mainWindow_;
    QPointer<BrowserView> mainView_;
    QUrl application_;
    ExternalOpener external_;
    Downloads* downloads_;
    PrintPreview* print_;
    FramePrint* framePrint_;
    QList<QPointer<PopupWindow>> popups_;
    browserlogic::PopupLimits limits_;
    QElapsedTimer clock_;
    QString foreignHost_;
    bool devToolsAllowed_ = false;
    QList<QPointer<DevToolsWindow>> devTools_;
};

} // namespace talvo::browser
