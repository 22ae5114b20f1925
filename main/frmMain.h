#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "main/LoginView.h"
#include "main/logic/CommandBridge.h"
#include "main/logic/ContactAhead.h"
#include "main/logic/ContactInfo.h"
#include "main/logic/WindowFit.h"
#include "platform/Twips.h"

class QFrame;
class QLabel;
class QScreen;
class QStatusBar;
class QWebEngineView;

namespace talvo {

namespace browser {
class Browser;
class WarmUp;
} // namespace browser
class TitleWatcher;

using platform::twipsToPixels;

// The window the user works in: the web application in an embedded browser, the edition
// in the title bar, the ownership line and the member's contact summary in the status
// bar. Pages command it through their document title ("VB:..."). Closing it ends the
// program.
class frmMain : public QWidget, private mainlogic::BridgeActions {
    Q_OBJECT
public:
    // The program's one main window: created on first use (after the QApplication),
    // neither loaded nor shown by that, and never destroyed before the process ends.
    static frmMain& instance();

    // Tests make their own windows; the program only ever uses instance().
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    // Hand-over fields, written by the login window before Show(). Assigning them does
    // nothing else.
    bool isLogin = false;
    bool isChat = false;
    QString Code;
    QString VisitUrl;
    QString Copyright;

    // Where the edition caption, member code, application address and leave-message page
    // come from (the login window). Without one they read as empty text.
    void setLoginView(const LoginView* view);
    // The browser engine the program warmed up (its profile, and the main page if one was
    // prepared); the window builds its browser on it when it loads, so it must be set
    // before. The program's, and it outlives the window's pages.
    void setBrowserWarmUp(browser::WarmUp* warmUp);
    // Host of the contact summary lookup, no scheme. Empty by default: the lookup then
    // fails at once and the status bar shows the ownership line alone.
    void setContactHost(const QString& host);

    // Modeless: loads the window on the first call (isChat = false, InitialForm), then
    // shows it; only the first call waits, for the contact lookup, and it shows the
    // window from the event loop once the page's request is out (see shown()).
    void Show();
    bool isLoaded() const { return loaded_; }
    // Builds the window's controls (the browser on the warmed-up page) ahead of Show, unseen,
    // so that Show only lays them out and navigates. A failure is reported by Show.
    void prepare();

    // The whole start-up layout and the first navigation.
    void InitialForm();

    // Fixed sizes, in logical pixels.
    static constexpr int kOuterWidth = twipsToPixels(15170);  // 1011
    static constexpr int kOuterHeight = twipsToPixels(11500); // 767
    static constexpr int kLinkFrameBelowStatusTop = twipsToPixels(60);

    // The line in front of the contact summary; ends in two spaces.
    static const QString& ownershipLine();
    // The whole status text; the bar shows as much as fits before the link, and the rest
    // in its tooltip.
    QString statusText() const;

    // Seams. The defaults end the process, make the one contact request through xmlHttp
    // and open the system browser.
    using ProcessEnder = std::function<void(int status)>;
    using BrowserOpener = std::function<bool(std::u16string_view address)>;
    void setProcessEnder(ProcessEnder ender);
    void setContactRequest(mainlogic::ContactRequest request);
    void setBrowserOpener(BrowserOpener opener);
    // The browser's developer tools on F12 and in the context menu (the program's --devtools).
    void setDevToolsAllowed(bool allowed) { devTools_ = allowed; }

    // The contact request for member as a job for another thread, made before the window
    // loads; the load then shows what it kept instead of asking again.
    std::function<void()> contactLookupJob(const QString& member) const;
    // Where such jobs keep their answer; set it to share one made before the window.
    void setContactAhead(mainlogic::ContactAhead ahead) { contactAhead_ = std::move(ahead); }

    // The default ProcessEnder: leaves the event loop with status and, should the loop
    // not let go (a busy browser, no loop running yet), ends the process after grace
    // milliseconds regardless.
    static void endProcess(int status, int graceMs = 5000);

signals:
    // What the window does, as it does it (tests and whoever watches the window).
    // On screen (each time Show() shows it).
    void shown();
    // The first navigation, to the application's login page.
    void navigating(const QUrl& address);
    // The status bar's whole text changed.
    void statusTextChanged(const QString& text);
    // A title the page set, before anything decides whether it commands the window.
    void pageTitleSeen(const QString& title);
    // A page command reached the window (upper-cased, without "VB:").
    void commandArrived(const QString& command);
    // The chat flag went up.
    void chatFlagRaised();
    // The document title was set back to the product's name after a command.
    void documentTitleReset();
    // The user answered the exit confirmation.
    void exitAnswered(bool ok);
    // The window unloads and the program is told to end.
    void unloading();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void showNow();
    void onLoad();
    void onUnload();
    void onDocumentTitle(const QString& title, const QUrl& url);
    void onForeignSite(const QString& host);

    // What the command bridge does through this window.
    void confirmExit(std::function<void(bool ok)> answered) override;
    void unload() override;
    void setDocumentTitle(std::u16string_view title) override;
    void commandReceived(std::u16string_view command) override;
    void chatFlagSet() override;
    void askAttention();
    std::u16string getContactInfo(const std::u16string& member);

    QSize outerSize() const;
    void setOuterSize(int width, int height);
    void placeStatusBar();
    void setStatusText(const QString& text);
    void showStatusText();
    mainlogic::WindowFit currentFit() const;
    void placeFrame(const mainlogic::WindowFit& fit);
    void applyFit(const mainlogic::WindowFit& fit);
    void fitToScreen();
    void settlePlacement();
    void scheduleSettle();
    void watchScreen(QScreen* display);
    void applyResizeRule();
    void scheduleResizeRule();
    void reportSize();

    QString loginTitle() const;
    QString loginMember() const;
    QString loginVisitUrl() const;
    QString loginLeaveUrl() const;

    const LoginView* login_ = nullptr;
    QString contactHost_; // the private lookup host
    bool loaded_ = false;
    std::optional<std::string> prepareFailure_; // what prepare() threw, for Show to report
    bool showPending_ = false;                  // the first Show() waits for the page's request
    bool unloading_ = false;
    bool enforcingSize_ = false;
    bool ruleQueued_ = false;
    QSize lastReportedSize_;
    // The outer size the resize rule keeps: the fixed size, or less on a small screen.
    QSize targetOuter_{kOuterWidth, kOuterHeight};
    double zoom_ = 1.0;
    QString statusText_;
    QElapsedTimer settling_;
    int placementFixes_ = 0;
    bool settleQueued_ = false;
    bool screenHooked_ = false;
    QPointer<QScreen> watchedScreen_;

    ProcessEnder ender_;
    mainlogic::ContactRequest contactRequest_;
    mainlogic::ContactAhead contactAhead_;
    BrowserOpener opener_;
    bool devTools_ = false;
    browser::WarmUp* warmUp_ = nullptr;

    QWebEngineView* WebBrowser1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QFrame* Frame1 = nullptr;
    QLabel* lnkLeaveWord = nullptr;
    TitleWatcher* titles_ = nullptr;
    browser::Browser* browser_ = nullptr;
    QString statusLine_;  // the ownership line and contact summary
    QString foreignHost_; // the other site the page area shows, if it does
    QTimer statusRestore_;
};

} // namespace talvo
