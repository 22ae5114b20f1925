#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>

class QWebEngineNewWindowRequest;
class QWidget;

namespace talvo::browser {

class BrowserPage;
class BrowserView;
class Downloads;
class PopupWindow;
class PrintPreview;

// The embedded browser of the main window and everything around it: the main view, the
// popup windows the application opens on its own site, downloads and printing. The main
// window owns one and shows it; only the main view's page feeds the command bridge.
class Browser : public QObject {
    Q_OBJECT
public:
    using ExternalOpener = std::function<void(const QUrl& url)>;

    // mainWindow: the window the main view sits in (its parent), the centre for popups
    // and the parent of the save and print dialogs.
    // preparedPage: the main page made ahead (see WarmUp.h), taken over; or nullptr.
    explicit Browser(QWidget* mainWindow, BrowserPage* preparedPage = nullptr);
    ~Browser() override;

    BrowserView* mainView() const { return mainView_; }

    // The web application's address: new windows on its site (same scheme, host and port)
    // open in our own windows, others in the system browser.
    void setApplicationAddress(const QUrl& address);
    // Opens addresses of other sites; by default nothing is opened.
    void setExternalOpener(ExternalOpener opener);

    // The popup windows open now.
    QList<PopupWindow*> popups() const;
    // Closes every popup window.
    void closePopups();
    // Closes the popups and deletes every page, main view included; the profile may go
    // after this. Safe to call more than once.
    void shutDown();

signals:
    // Download progress, completion and failure for the status bar.
    void statusMessage(const QString& text);
    // The last status message is over; the status bar may show its own line again.
    void statusFinished();

private:
    void watch(BrowserView* view);
    void onNewWindow(QWebEngineNewWindowRequest& request);

    QWidget* mainWindow_;
    QPointer<BrowserView> mainView_;
    QUrl application_;
    ExternalOpener external_;
    Downloads* downloads_;
    PrintPreview* print_;
    QList<QPointer<PopupWindow>> popups_;
};

} // namespace talvo::browser
