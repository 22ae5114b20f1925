#pragma once

#include <QLabel>
#include <QPixmap>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

#include "login/logic/AddressLookup.h"
#include "login/logic/LookupAhead.h"
#include "login/logic/LookupFlow.h"
#include "login/logic/WindowInput.h"
#include "main/LoginView.h"
#include "platform/Variant.h"

namespace talvo {

namespace login {
class ClickLabel;
class PictureBox;
class StartupSplash;
class VbCheckBox;
} // namespace login

// The startup window: refuses a second instance, picks the edition, finds the web
// application and hands over to the main window; when it cannot, it shows itself (a
// borderless skinned window) and lets the user pick an edition. The object outlives the
// on-screen window: the main window keeps reading its properties.
class frmLogin : public QWidget, public LoginView {
    Q_OBJECT
public:
    // Start values the load handler gives ServerUrl and LeaveUrl.
    struct Defaults {
        QString serverHost;
        QString leaveUrl;
    };

    // What the window reaches outside itself. The window's own needs have working
    // defaults; the main window's part (its copyright, showing it, its contact request) is
    // wired by the program, and unset does nothing. Tests swap any of them.
    struct Services {
        loginlogic::RequestFactory requests;       // default: a new xmlHttp per step
        std::function<bool()> isFirstInstance;     // unset: no other instance looked for
        std::function<void()> bringRunningForward; // asks the running instance to come up
        // Returns at once; the default box ends the process (endProcess) once it is closed.
        std::function<void(const QString& caption, const QString& text)> showNotice;
        std::function<void(const QString& code)> setMainCopyright; // frmMain's Copyright
        std::function<void()> showMain;                            // frmMain, modeless
        // Builds the main window ahead, once an address is certain (unset: showMain builds it).
        std::function<void()> prepareMain;
        // Runs onScreen once the main window shown by showMain is on screen: this window
        // stays up until then (unset: it goes at once).
        std::function<void(std::function<void()> onScreen)> mainOnScreen;
        std::function<bool(const QString& address)> openBrowser;
        std::function<void()> endProcess;   // status 0
        std::function<QString()> startName; // the start name, not lower-cased
        // The main window's contact request for a member, as a job the lookup's worker
        // runs right after an address came back (unset: the main window asks by itself).
        std::function<std::function<void()>(const QString& member)> contactLookupJob;
        // The start's lookup, begun before this window existed; the load follows it when
        // its server and member are the load's own (unset: the load starts its own).
        std::shared_ptr<loginlogic::LookupAhead> lookupAhead;
        // The browser engine's start-up, run here while the server is asked (each unset:
        // nothing warms up). startBrowser: the engine alone, no render process;
        // prepareBrowserPage: the main window's page on a blank document, which starts
        // its render process; dropBrowserPage: that page goes again (no address came).
        std::function<void()> startBrowser;
        std::function<void()> prepareBrowserPage;
        std::function<void()> dropBrowserPage;
    };

    // LookingUp: the edition came from the start name and its lookup runs; the window
    // then hands off or shows itself, and says so with lookupEnded().
    enum class LoadResult { SecondInstance, WaitForUser, LookingUp };

    explicit frmLogin(Defaults defaults, QWidget* parent = nullptr);
    ~frmLogin() override;

    // Public properties, in the order of the window's interface.
    QString VisitUrl;
    QString member;
    QString LeaveUrl;
    bool IsBusy = false;
    QString ServerUrl;
    QString Title;

    QString getCheckCode();

    // "encode" or "decode" (exact case) through a new Base64 object; no value for any
    // other mode word or when anything goes wrong.
    Variant Base64Code(const QString& modo, const QString& strSource);

    // The process's start. WaitForUser: the caller shows the window.
    LoadResult Form_Load();

signals:
    // The number (from 1) of the check-code attempt now shown, on the splash at start or
    // under the login picture.
    void lookupAttemptShown(int attempt);
    // A lookup (from the start or the login picture) has ended and its answer was acted
    // on: handed off, the window is the user's again, or (closed meanwhile) dropped.
    void lookupEnded();

public:
    Services& services() { return services_; }
    // The diagnostics line of each check-code attempt, for a lookup begun before the window.
    static loginlogic::AttemptObserver attemptLog();
    // Where the hover pictures are read from (default: the program folder's images/login).
    void setPictureFolder(const QString& folder) { pictureFolder_ = folder; }
    bool isUnloaded() const { return flow_.phase() == loginlogic::LookupPhase::Unloaded; }

    // The controls, for the window's own tests and for whoever needs to look at them.
    login::PictureBox* cmdLogin() const { return cmdLogin_; }
    login::PictureBox* PicMin() const { return picMin_; }
    login::PictureBox* picClose() const { return picClose_; }
    login::VbCheckBox* chkCopyright(int index) const;
    int chkCopyrightUBound() const { return static_cast<int>(chkCopyright_.size()) - 1; }
    QWidget* Frame1() const { return frame1_; }
    login::ClickLabel* lnkLeaveWord() const { return lnkLeaveWord_; }
    // "正在连接服务器… 第 N 次尝试" while a lookup started here runs; hidden otherwise.
    QWidget* connectingLabel() const { return lblConnecting_; }
    loginlogic::LookupPhase lookupPhase() const { return flow_.phase(); }
    QWidget* Label2() const { return label2_; }
    QWidget* lblBottom() const { return lblBottom_; }
    QPoint mouseDownTwips() const { return {mouseDownX_, mouseDownY_}; }

    // LoginView: what the main window reads for its whole life.
    QString editionTitle() const override { return Title; }
    QString memberCode() const override { return member; }
    QString visitUrl() const override { return VisitUrl; }
    QString leaveUrl() const override { return LeaveUrl; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Asks the server for member's address on a worker thread and returns at once; the
    // attempts and the answer come back to this thread (lookupDone). The browser engine
    // and the main window's page warm up meanwhile.
    void startLookup(loginlogic::LookupFlow::Origin origin);
    // A lookup of ServerUrl for member, begun now.
    std::shared_ptr<loginlogic::LookupAhead> startOwnLookup() const;
    void lookupDone(const QString& address);
    void showLookupAttempt(int attempt);
    void addressIn();
    void setBusyLook(bool busy);
    void showAttempt(int attempt);
    bool editionChecked() const;
    void handOff();
    void unload();
    QString picturePath(const char16_t* name) const;

    void cmdLogin_Click();
    void chkCopyright_Click(int Index);
    void lnkLeaveWord_Click();
    void picClose_Click();
    void PicMin_Click();
    void cmdLogin_MouseMove();
    void picClose_MouseMove();
    void PicMin_MouseMove();
    void Form_MouseDown(float x, float y);
    void Form_MouseMove(Qt::MouseButtons buttons, float x, float y);

    Defaults defaults_;
    Services services_;
    QString pictureFolder_;
    QPixmap skin_;
    loginlogic::LookupFlow flow_;
    std::unique_ptr<login::StartupSplash> splash_; // while the lookup at start runs
    bool centred_ = false;
    bool browserStarted_ = false;
    int mouseDownX_ = 0; // twips
    int mouseDownY_ = 0;

    login::PictureBox* cmdLogin_ = nullptr;
    login::PictureBox* picMin_ = nullptr;
    login::PictureBox* picClose_ = nullptr;
    QWidget* frame1_ = nullptr;
    std::array<login::VbCheckBox*, 3> chkCopyright_{};
    QWidget* label2_ = nullptr;
    login::ClickLabel* lnkLeaveWord_ = nullptr;
    QWidget* lblBottom_ = nullptr;
    QLabel* lblConnecting_ = nullptr;
};

} // namespace talvo
