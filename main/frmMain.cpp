#include "main/frmMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QElapsedTimer>
#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>
#include <QWebEngineView>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <thread>

#include "browser/Browser.h"
#include "browser/BrowserView.h"
#include "browser/DesktopNotifications.h"
#include "browser/RequestWait.h"
#include "browser/WarmUp.h"
#include "main/TitleWatcher.h"
#include "main/logic/ProductTexts.h"
#include "net/ServerScheme.h"
#include "platform/SystemBrowser.h"
#include "platform/gui/Diagnostics.h"
#include "platform/gui/MessageBox.h"

namespace talvo {

namespace {

constexpr int px(int twips) { return twipsToPixels(twips); }

// Design layout, in pixels.
constexpr int kDesignClientWidth = px(14550);
constexpr int kDesignClientHeight = px(10815);
constexpr int kStatusHeight = px(375);
constexpr QRect kFrame1{px(13320), px(10490), px(975), px(230)};
constexpr QRect kLinkInFrame{px(120), px(60), px(975), px(180)};
// Steps 2 and 7 of the layout set these before the resize rule takes over.
constexpr int kStartHeight = px(11500);
constexpr int kStartWidth = px(16600);
constexpr qsizetype kMaxStatusLength = 1024;
// The link keeps at least the design's room to its right when the window is narrower.
constexpr int kLinkRoomRight = kDesignClientWidth - kFrame1.x();
// Where QStatusBar starts its text, and the gap kept before the link.
constexpr int kStatusTextLeft = 6;
constexpr int kStatusTextGap = 8;
// A window manager frames and places the window after it is shown; for this long its
// placement is checked again on every move, at most this many times.
constexpr int kSettleMs = 3000;
constexpr int kMaxPlacementFixes = 10;

// How long the last download notice stays before the status bar's own line returns.
constexpr int kStatusNoticeMs = 10000;

// The longest the window waits for its page's request before showing anyway.
constexpr int kRequestWaitMs = 500;

QString fromView(std::u16string_view text)
{
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

const QString kProductName = fromView(mainlogic::kProductName);
const QString kCaptionPrefix = kProductName + fromView(mainlogic::kEditionCaptionTail);
const QString kMessageCaption = fromView(mainlogic::kNoticeCaption);
const QString kExitQuestion = QString::fromUtf16(u"   您真的确定要退出系统！    ");
const QString kForeignSite = QString::fromUtf16(u"正在访问外部网站：");

// A JavaScript string literal holding text, safe for any text.
QString jsString(const QString& text)
{
    QString out = QStringLiteral("'");
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\'' || u == u'\\' || u < 0x20 || u == 0x2028 || u == 0x2029)
            out += QStringLiteral("\\u%1").arg(static_cast<int>(u), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out + QLatin1Char('\'');
}

} // namespace

frmMain& frmMain::instance()
{
    // Deliberately never deleted: the window lives until the process ends, and a static
    // widget would be destroyed after the QApplication.
    static frmMain* const window = new frmMain;
    return *window;
}

frmMain::frmMain(QWidget* parent)
    : QWidget(parent,
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      ender_([](int status) { endProcess(status); }),
      opener_([](std::u16string_view address) { return platform::openInSystemBrowser(address); })
{
    setWindowTitle(kProductName + fromView(mainlogic::kDesignCaptionTail));
    setWindowIcon(QIcon(QStringLiteral(":/icons/talvo-32.png")));
    resize(kDesignClientWidth, kDesignClientHeight);
}

frmMain::~frmMain() = default;

void frmMain::setLoginView(const LoginView* view) { login_ = view; }
void frmMain::setBrowserWarmUp(browser::WarmUp* warmUp) { warmUp_ = warmUp; }
void frmMain::setContactHost(const QString& host) { contactHost_ = host; }
void frmMain::setProcessEnder(ProcessEnder ender) { ender_ = std::move(ender); }
void frmMain::setContactRequest(mainlogic::ContactRequest request) { contactRequest_ = std::move(request); }
void frmMain::setBrowserOpener(BrowserOpener opener) { opener_ = std::move(opener); }

QString frmMain::loginTitle() const { return login_ ? login_->editionTitle() : QString(); }
QString frmMain::loginMember() const { return login_ ? login_->memberCode() : QString(); }
QString frmMain::loginVisitUrl() const { return login_ ? login_->visitUrl() : QString(); }
QString frmMain::loginLeaveUrl() const { return login_ ? login_->leaveUrl() : QString(); }

const QString& frmMain::ownershipLine()
{
    static const QString line = QString::fromUtf16(u"版权所有 © Zentarro 软件  ");
    return line;
}

void frmMain::endProcess(int status, int graceMs)
{
    QCoreApplication::exit(status);
    // The user asked to end, and the end must not depend on the engine: what follows the
    // loop (pages and profile going, the session written to disk) waits for the browser
    // processes, and a renderer stuck in a page's script may keep it waiting. Normally
    // the process is gone before the grace runs out and this never fires; it bounds the
    // rest. Detached: nothing waits for it, and it must outlive whatever hangs.
    std::thread([status, graceMs] {
        std::this_thread::sleep_for(std::chrono::milliseconds(graceMs));
        std::_Exit(status);
    }).detach();
}

void frmMain::buildControls()
{
    // Created in the design order; the status bar covers the lower part of the browser
    // and the link frame sits on top of the status bar.
    Frame1 = new QFrame(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setFrameShape(QFrame::NoFrame);
    Frame1->setGeometry(kFrame1);

    lnkLeaveWord = new QLabel(fromView(mainlogic::kLeaveWordLink), Frame1);
    lnkLeaveWord->setObjectName(QStringLiteral("lnkLeaveWord"));
    lnkLeaveWord->setTextFormat(Qt::PlainText);
    lnkLeaveWord->setGeometry(kLinkInFrame);
    lnkLeaveWord->setAttribute(Qt::WA_TranslucentBackground);
    lnkLeaveWord->setAutoFillBackground(false);
    QPalette blue = lnkLeaveWord->palette();
    blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
    lnkLeaveWord->setPalette(blue);
    QFont small = lnkLeaveWord->font();
    small.setPixelSize(12);
    lnkLeaveWord->setFont(small);
    const QPixmap hand(QStringLiteral(":/cursors/hand.png"));
    lnkLeaveWord->setCursor(hand.isNull() ? QCursor(Qt::PointingHandCursor) : QCursor(hand, 13, 5));
    lnkLeaveWord->installEventFilter(this);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);   // the window cannot be resized anyway
    StatusBar1->setAutoFillBackground(true); // it covers the bottom of the page
    StatusBar1->showMessage(kProductName);

    // On the page the engine warmed up while the server was asked, if there is one.
    if (!warmUp_)
        qFatal("main window: loaded without a browser profile");
    browser_ = new browser::Browser(this, warmUp_->profile(), warmUp_->takePage());
    browser_->setExternalOpener([this](const QUrl& url) { opener_(url.toString().toStdU16String()); });
    browser_->setDevToolsAllowed(devTools_);
    WebBrowser1 = browser_->mainView();
    // Download progress borrows the status bar; its own line comes back afterwards.
    connect(browser_, &browser::Browser::statusMessage, this, [this](const QString& text) {
        statusRestore_.stop();
        setStatusText(text);
    });
    connect(browser_, &browser::Browser::statusFinished, this, [this] { statusRestore_.start(); });
    connect(browser_, &browser::Browser::foreignSiteChanged, this, &frmMain::onForeignSite);
    // The application's notifications go to the desktop; the browser decides the site.
    new browser::DesktopNotifications(this, warmUp_->profile(),
                                      [browser = QPointer<browser::Browser>(browser_)](const QUrl& origin) {
                                          return browser && browser->isApplication(origin);
                                      });
    statusRestore_.setSingleShot(true);
    statusRestore_.setInterval(kStatusNoticeMs);
    connect(&statusRestore_, &QTimer::timeout, this,
            [this] { setStatusText(foreignHost_.isEmpty() ? statusLine_ : kForeignSite + foreignHost_); });
    WebBrowser1->setGeometry(px(4080), px(1440), px(2295), px(1215));

    titles_ = new TitleWatcher(WebBrowser1->page(), this);
    connect(titles_, &TitleWatcher::titleChanged, this, &frmMain::onDocumentTitle);

    WebBrowser1->lower();
    StatusBar1->raise();
    Frame1->raise();
    placeStatusBar();

    // The page must go before WebEngine's profile does, and that cannot happen inside the
    // page's own signals, so it goes when the event loop has finished.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        delete titles_;
        titles_ = nullptr;
        browser_->shutDown();
        WebBrowser1 = nullptr;
    });
}

void frmMain::Show()
{
    if (!loaded_) {
        try {
            onLoad();
            platform::logStartupStep("main window built");
        } catch (const std::exception& error) {
            // Start-up has no way round a failed step: say so and end once the user has read it.
            platform::showInformation(nullptr, kMessageCaption,
                                      QString::fromUtf16(u"主窗口无法启动：") + QString::fromLocal8Bit(error.what()),
                                      [self = QPointer<frmMain>(this)] {
                                          if (self)
                                              self->ender_(1);
                                      });
            return;
        }
        // The page's request goes out before the window's first frame holds this thread.
        if (WebBrowser1) {
            showPending_ = true;
            browser::whenPageRequestSent(WebBrowser1->page(), kRequestWaitMs, this, [this](bool sent) {
                platform::logStartupStep(sent ? "page request sent" : "page request not seen yet");
                if (!sent)
                    qCInfo(lcWindows, "main window shown before the page request");
                showPending_ = false;
                if (!unloading_)
                    showNow();
            });
            return;
        }
    }
    // A second call while the first waits for the request: the first shows the window.
    if (!showPending_)
        showNow();
}

void frmMain::showNow()
{
    show();
    raise();
    activateWindow();
    qCInfo(lcWindows).noquote() << "main window shown: title=" + windowTitle();
    platform::logStartupStep("main window shown");
    applyResizeRule();
    reportSize();
    if (windowHandle() && !screenHooked_) {
        screenHooked_ = true;
        watchScreen(windowHandle()->screen());
        connect(windowHandle(), &QWindow::screenChanged, this, &frmMain::watchScreen);
    }
    // A window manager adds its frame and places the window only after showing: fit and
    // place it again as that happens.
    settling_.start();
    placementFixes_ = 0;
    QTimer::singleShot(0, this, [this] {
        settlePlacement();
        reportSize();
    });
    emit shown();
}

void frmMain::prepare()
{
    if (loaded_ || WebBrowser1 || prepareFailure_)
        return;
    try {
        buildControls();
        platform::logStartupStep("main window prepared");
    } catch (const std::exception& error) {
        prepareFailure_ = error.what();
    }
}

void frmMain::onLoad()
{
    loaded_ = true;
    isChat = false;
    if (prepareFailure_)
        throw std::runtime_error(*prepareFailure_);
    InitialForm(); // builds the controls unless prepare() did
}

void frmMain::InitialForm()
{
    if (!WebBrowser1)
        buildControls();

    // The order below matters: the window is centred with its width before the last resize.
    WebBrowser1->move(0, 0);
    const mainlogic::WindowFit fit = currentFit();
    setOuterSize(outerSize().width(), std::min(kStartHeight, fit.outer.height));
    placeFrame(fit);
    // Too wide on purpose: the resize rule brings it to the fixed size (or, on a small
    // screen, the size that fits), with the page below ending where the status bar begins.
    setOuterSize(kStartWidth, outerSize().height());
    applyFit(fit);
    Frame1->move(Frame1->x(), StatusBar1->y() + kLinkFrameBelowStatusTop);
    setWindowTitle(kCaptionPrefix + loginTitle());
    // Blocks until the contact lookup answers or gives up.
    const std::u16string summary = getContactInfo(loginMember().toStdU16String());
    QString status = ownershipLine() + QString::fromStdU16String(summary);
    // One line of about a thousand pixels: a longer answer (a whole error page that
    // happens to mention QQ) cannot be seen anyway and would slow every repaint to seconds.
    if (status.size() > kMaxStatusLength) {
        status.truncate(kMaxStatusLength);
        if (status.back().isHighSurrogate())
            status.chop(1);
    }
    statusLine_ = status;
    setStatusText(status);
    qCInfo(lcWindows).noquote() << "main window status: " + status;
    const QString address = QString::fromUtf16(kServerScheme.data(), kServerScheme.size()) + loginVisitUrl()
        + QStringLiteral("/ui/common/login.jsp?cp=") + Copyright;
    qCInfo(lcWindows).noquote() << "main window navigate: " + address;
    emit navigating(QUrl(address));
    browser_->setApplicationAddress(QUrl(address));
    WebBrowser1->load(QUrl(address));
}

std::function<void()> frmMain::contactLookupJob(const QString& member) const
{
    return contactAhead_.job(member.toStdU16String(), contactHost_.toStdU16String(), contactRequest_);
}

std::u16string frmMain::getContactInfo(const std::u16string& member)
{
    if (std::optional<std::u16string> kept = contactAhead_.take(member))
        return *std::move(kept);
    return mainlogic::getContactInfo(member, contactHost_.toStdU16String(), contactRequest_);
}

QSize frmMain::outerSize() const { return frameGeometry().size(); }

void frmMain::setOuterSize(int width, int height)
{
    const QSize frame = frameGeometry().size() - size();
    // Fixed, so that window managers offer neither resize handles nor maximising; the
    // resize rule still puts things right for one that resizes anyway.
    const QSize client(width - frame.width(), height - frame.height());
    setFixedSize(client);
    resize(client); // setFixedSize alone does nothing when the limits are unchanged
}

void frmMain::placeStatusBar()
{
    if (!StatusBar1)
        return;
    // Along the bottom edge, the link 60 twips below its top and at its right end; the page
    // fills the rest of the client area.
    StatusBar1->setGeometry(0, height() - kStatusHeight, width(), kStatusHeight);
    Frame1->move(std::min(kFrame1.x(), width() - kLinkRoomRight), StatusBar1->y() + kLinkFrameBelowStatusTop);
    if (WebBrowser1)
        WebBrowser1->setGeometry(0, 0, width(), StatusBar1->y());
    showStatusText();
}

void frmMain::setStatusText(const QString& text)
{
    statusText_ = text;
    // Always rich text, so that markup in the answer shows as written, runs of blanks stay
    // and a long text wraps.
    StatusBar1->setToolTip(QStringLiteral("<p style=\"white-space:pre-wrap\">") + text.toHtmlEscaped()
                           + QStringLiteral("</p>"));
    showStatusText();
    emit statusTextChanged(text);
}

void frmMain::showStatusText()
{
    if (!StatusBar1 || statusText_.isNull())
        return;
    // Ends before the link's frame, which lies over the bar's right end.
    const int room = Frame1->x() - StatusBar1->x() - kStatusTextLeft - kStatusTextGap;
    const QString shown = StatusBar1->fontMetrics().elidedText(statusText_, Qt::ElideRight, std::max(room, 0));
    if (shown != StatusBar1->currentMessage())
        StatusBar1->showMessage(shown);
}

QString frmMain::statusText() const { return statusText_; }

mainlogic::WindowFit frmMain::currentFit() const
{
    const QScreen* display = screen() ? screen() : QGuiApplication::primaryScreen();
    const auto rect = [](const QRect& r) { return mainlogic::Rect{r.x(), r.y(), r.width(), r.height()}; };
    const QRect frame = frameGeometry();
    const QRect client = geometry();
    const mainlogic::Margins margins{client.left() - frame.left(), client.top() - frame.top(),
                                     frame.right() - client.right(), frame.bottom() - client.bottom()};
    return mainlogic::fitMainWindow(rect(display->geometry()), rect(display->availableGeometry()), margins,
                                    {kOuterWidth, kOuterHeight, kStatusHeight, kDesignClientWidth});
}

void frmMain::placeFrame(const mainlogic::WindowFit& fit)
{
    // For a window, move() places the frame.
    if (frameGeometry().topLeft() != QPoint(fit.outer.x, fit.outer.y))
        move(fit.outer.x, fit.outer.y);
}

void frmMain::applyFit(const mainlogic::WindowFit& fit)
{
    const QSize outer(fit.outer.width, fit.outer.height);
    if (outer != targetOuter_) {
        targetOuter_ = outer;
        qCInfo(lcWindows).noquote() << QStringLiteral("main window fits: %1x%2").arg(outer.width()).arg(outer.height());
    }
    if (!qFuzzyCompare(fit.zoom, zoom_)) {
        zoom_ = fit.zoom;
        qCInfo(lcWindows).noquote() << QStringLiteral("main window zoom: %1").arg(zoom_, 0, 'f', 3);
    }
    // The user's own zoom keys work on top of the fit; the view keeps both across documents.
    if (browser_ && browser_->mainView())
        browser_->mainView()->setBaseZoom(zoom_);
    applyResizeRule();
}

void frmMain::fitToScreen()
{
    if (!loaded_ || isMinimized())
        return;
    applyFit(currentFit());
    // The size may have changed the frame; place what it is now.
    placeFrame(currentFit());
}

void frmMain::settlePlacement()
{
    settleQueued_ = false;
    if (!loaded_ || isMinimized() || !settling_.isValid() || settling_.hasExpired(kSettleMs)
        || placementFixes_ >= kMaxPlacementFixes)
        return;
    const mainlogic::WindowFit fit = currentFit();
    applyFit(fit);
    const mainlogic::WindowFit now = currentFit();
    if (frameGeometry().topLeft() != QPoint(now.outer.x, now.outer.y)) {
        ++placementFixes_;
        placeFrame(now);
    }
}

void frmMain::scheduleSettle()
{
    if (settleQueued_ || !settling_.isValid() || settling_.hasExpired(kSettleMs))
        return;
    settleQueued_ = true;
    QTimer::singleShot(0, this, [this] { settlePlacement(); });
}

void frmMain::watchScreen(QScreen* display)
{
    if (watchedScreen_ == display)
        return;
    if (watchedScreen_)
        disconnect(watchedScreen_, nullptr, this, nullptr);
    watchedScreen_ = display;
    if (!display)
        return;
    // A panel added, a resolution or scale changed: fit and place again.
    connect(display, &QScreen::availableGeometryChanged, this, &frmMain::fitToScreen);
    connect(display, &QScreen::geometryChanged, this, &frmMain::fitToScreen);
}

void frmMain::applyResizeRule()
{
    if (enforcingSize_ || isMinimized())
        return;
    if (outerSize() != targetOuter_) {
        enforcingSize_ = true;
        setOuterSize(targetOuter_.width(), targetOuter_.height());
        enforcingSize_ = false;
        placeStatusBar();
        if (isVisible())
            reportSize();
    }
}

void frmMain::reportSize()
{
    const QSize outer = outerSize();
    if (outer == lastReportedSize_)
        return;
    lastReportedSize_ = outer;
    qCInfo(lcWindows).noquote() << QStringLiteral("main window size: %1x%2").arg(outer.width()).arg(outer.height());
}

void frmMain::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeStatusBar();
    if (!loaded_)
        return;
    applyResizeRule();
    if (isVisible())
        scheduleSettle();
    // A size that came from the platform window may not take a new one while it is being
    // delivered, so look again once it has settled.
    if (isVisible())
        scheduleResizeRule();
}

void frmMain::scheduleResizeRule()
{
    if (ruleQueued_)
        return;
    ruleQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        ruleQueued_ = false;
        applyResizeRule();
    });
}

void frmMain::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    // The frame a window manager adds shows up with a move, not a resize.
    if (loaded_ && isVisible()) {
        scheduleResizeRule();
        scheduleSettle();
    }
}

void frmMain::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !loaded_)
        return;
    const Qt::WindowStates big = Qt::WindowMaximized | Qt::WindowFullScreen;
    if (windowState() & big) {
        // Not maximisable: a window manager that offers it anyway gets the size put back.
        QTimer::singleShot(0, this, [this, big] {
            setWindowState(windowState() & ~big);
            scheduleResizeRule();
        });
    } else {
        scheduleResizeRule();
    }
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lnkLeaveWord && event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && lnkLeaveWord->rect().contains(mouse->position().toPoint())) {
            const std::u16string address = loginLeaveUrl().toStdU16String();
            opener_(address);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmMain::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (!unloading_)
        onUnload();
}

void frmMain::onUnload()
{
    if (unloading_)
        return;
    unloading_ = true;
    if (titles_)
        titles_->stop();
    if (WebBrowser1)
        WebBrowser1->page()->triggerAction(QWebEnginePage::Stop);
    if (browser_)
        browser_->closePopups();

    // Every other window, last to first, then this one.
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (auto it = windows.crbegin(); it != windows.crend(); ++it) {
        QWidget* window = *it;
        if (window != this && window->isVisible())
            window->close();
    }
    close();
    qCInfo(lcWindows) << "main window unloaded";
    emit unloading();
    ender_(0);
}

void frmMain::onDocumentTitle(const QString& title, const QUrl& url)
{
    qCInfo(lcWindows).noquote() << "page title: " + title;
    emit pageTitleSeen(title);
    if (unloading_)
        return;
    // Only the application's own pages may command the client.
    if (browser_ && !browser_->isApplication(url)) {
        qCInfo(lcWindows).noquote() << "page title ignored: another site " + url.host();
        return;
    }
    // The engine's stand-in for a failed load names the address; it is no word of the page.
    if (browser_ && browser_->mainView() && browser_->mainView()->showsFailedLoad()) {
        qCInfo(lcWindows) << "page title ignored: failed load";
        return;
    }
    mainlogic::onTitleChange(title.toStdU16String(), isChat, *this);
}

void frmMain::onForeignSite(const QString& host)
{
    statusRestore_.stop();
    foreignHost_ = host;
    setStatusText(host.isEmpty() ? statusLine_ : kForeignSite + host);
}

void frmMain::confirmExit(std::function<void(bool ok)> answered)
{
    // The page's next titles wait for the answer: no second box on top of this one, and
    // the commands keep their order. The box belongs to this window: the answer never
    // comes to a window that has gone.
    if (titles_)
        titles_->hold();
    platform::askOkCancel(this, kMessageCaption, kExitQuestion, [this, answered = std::move(answered)](bool ok) {
        qCInfo(lcWindows) << (ok ? "exit confirmation: ok" : "exit confirmation: cancel");
        emit exitAnswered(ok);
        answered(ok);
        if (titles_)
            titles_->resume();
    });
}

void frmMain::unload() { onUnload(); }

void frmMain::setDocumentTitle(std::u16string_view title)
{
    if (!WebBrowser1 || unloading_)
        return;
    const QString text = fromView(title);
    WebBrowser1->page()->runJavaScript(QStringLiteral("document.title = %1;").arg(jsString(text)));
    if (title == mainlogic::kProductTitle) {
        qCInfo(lcWindows) << "document title reset";
        emit documentTitleReset();
    }
}

void frmMain::commandReceived(std::u16string_view command)
{
    qCInfo(lcWindows).noquote() << "page command: " + fromView(command);
    emit commandArrived(fromView(command));
    // Once the page is a chat, each of its commands may be a message the user should see.
    if (isChat)
        askAttention();
}

void frmMain::chatFlagSet()
{
    qCInfo(lcWindows) << "chat flag set";
    emit chatFlagRaised();
    askAttention();
}

void frmMain::askAttention()
{
    // The window manager's urgency hint stays until the user activates the window.
    if (isActiveWindow() || !isVisible())
        return;
    QApplication::alert(this);
    qCInfo(lcWindows) << "window asks for attention: chat";
}

} // namespace talvo
