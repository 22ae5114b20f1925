#include "browser/Browser.h"

#include <QTimer>
#include <QWebEngineDownloadRequest>
#include <QWebEngineHistory>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineProfile>
#include <QWebEngineScript>

#include "browser/BrowserView.h"
#include "browser/DevToolsWindow.h"
#include "browser/Downloads.h"
#include "browser/FramePrint.h"
#include "browser/PopupWindow.h"
#include "browser/PrintPreview.h"
#include "browser/Profile.h"
#include "browser/logic/NavigationPolicy.h"
#include "browser/logic/SameSite.h"
#include "platform/gui/Diagnostics.h"

namespace talvo::browser {

namespace {

const QString kPopupBlocked = QString::fromUtf16(u"已阻止弹出窗口");

std::u16string text(const QUrl& url) { return url.toString(QUrl::FullyEncoded).toStdU16String(); }

browserlogic::NavigationKind kindOf(QWebEnginePage::NavigationType type)
{
    using Kind = browserlogic::NavigationKind;
    switch (type) {
    case QWebEnginePage::NavigationTypeTyped: return Kind::Typed;
    case QWebEnginePage::NavigationTypeLinkClicked: return Kind::LinkClicked;
    case QWebEnginePage::NavigationTypeFormSubmitted: return Kind::FormSubmitted;
    case QWebEnginePage::NavigationTypeBackForward: return Kind::BackForward;
    case QWebEnginePage::NavigationTypeReload: return Kind::Reload;
    case QWebEnginePage::NavigationTypeRedirect: return Kind::Redirect;
    case QWebEnginePage::NavigationTypeOther: return Kind::Other;
    }
    return Kind::Other;
}

} // namespace

Browser::Browser(QWidget* mainWindow, Profile& profile, BrowserPage* preparedPage)
    : QObject(mainWindow), profile_(profile), mainWindow_(mainWindow),
      mainView_(preparedPage ? new BrowserView(preparedPage, mainWindow)
                             : new BrowserView(BrowserPage::Role::Main, profile, mainWindow)),
      downloads_(new Downloads(
          profile.engine(), [this] { return static_cast<QWidget*>(mainWindow_); }, this)),
      print_(new PrintPreview(this)), framePrint_(new FramePrint(print_, this))
{
    clock_.start();
    mainView_->setObjectName(QStringLiteral("WebBrowser1"));
    watch(mainView_);
    connect(mainView_->page(), &QWebEnginePage::urlChanged, this, &Browser::onMainUrl);
    // A window opened only to fetch a file (a link with target="_blank" to an export, a PDF
    // the viewer cannot show) would stay empty: the file goes to the save dialog instead.
    connect(profile_.engine(), &QWebEngineProfile::downloadRequested, this,
            [this](QWebEngineDownloadRequest* download) {
                for (PopupWindow* popup : popups())
                    if (download->page() == popup->scriptPage() && popup->view()->history()->count() == 0) {
                        qCInfo(lcWindows) << "popup closed: it only fetched a file";
                        QTimer::singleShot(0, popup, &QWidget::close);
                    }
            });
    connect(downloads_, &Downloads::status, this, &Browser::statusMessage);
    connect(downloads_, &Downloads::ended, this, &Browser::statusFinished);
}

Browser::~Browser() { shutDown(); }

void Browser::setApplicationAddress(const QUrl& address) { application_ = address; }

bool Browser::isApplication(const QUrl& url) const
{
    return browserlogic::isApplicationSite(text(application_), text(url));
}

void Browser::setExternalOpener(ExternalOpener opener) { external_ = std::move(opener); }

void Browser::setDevToolsAllowed(bool allowed)
{
    devToolsAllowed_ = allowed;
    if (mainView_)
        mainView_->setDevToolsAllowed(allowed);
    for (PopupWindow* popup : popups())
        popup->view()->setDevToolsAllowed(allowed);
}

void Browser::openDevTools(BrowserView* view)
{
    QWebEnginePage* page = view->page();
    for (const auto& open : devTools_) {
        if (open && open->inspected() == page) {
            open->raise();
            open->activateWindow();
            return;
        }
    }
    auto* window = new DevToolsWindow(page, profile_.engine());
    devTools_.removeAll(nullptr); // the ones closed since
    devTools_.append(window);
    window->show();
    qCInfo(lcWindows) << "developer tools opened";
}

QList<PopupWindow*> Browser::popups() const
{
    QList<PopupWindow*> open;
    for (const auto& popup : popups_)
        if (popup)
            open.append(popup);
    return open;
}

void Browser::closePopups()
{
    // Last opened first, like the windows of the program.
    const QList<PopupWindow*> open = popups();
    for (auto it = open.crbegin(); it != open.crend(); ++it)
        (*it)->close();
}

void Browser::shutDown()
{
    for (const auto& window : devTools_)
        delete window.data();
    devTools_.clear();
    delete print_;
    print_ = nullptr;
    for (PopupWindow* popup : popups())
        delete popup;
    popups_.clear();
    delete mainView_;
    mainView_ = nullptr;
}

void Browser::watch(BrowserView* view)
{
    BrowserPage* page = view->browserPage();
    page->setGuard(this);
    connect(page, &QWebEnginePage::newWindowRequested, this, &Browser::onNewWindow, Qt::UniqueConnection);
    FramePrint::prepare(page);
    connect(view, &QWebEngineView::printRequested, this, [this, view] {
        qCInfo(lcWindows) << "print requested by the page";
        if (print_)
            framePrint_->print(view);
    });
    connect(view, &BrowserView::printWanted, this, [this, view] {
        if (print_)
            print_->open(view);
    });
    view->setDevToolsAllowed(devToolsAllowed_);
    connect(view, &BrowserView::devToolsWanted, this, [this, view] {
        if (devToolsAllowed_)
            openDevTools(view);
    });
}

void Browser::noteUserInput() { limits_.noteUserInput(clock_.elapsed()); }

bool Browser::allowNavigation(BrowserPage& page, const QUrl& target, QWebEnginePage::NavigationType type)
{
    const auto verdict = browserlogic::decideNavigation(text(application_), text(page.url()), text(target),
                                                        kindOf(type));
    switch (verdict) {
    case browserlogic::NavigationVerdict::Follow: return true;
    case browserlogic::NavigationVerdict::SystemBrowser:
        handOff(target, limits_.takeGesture(clock_.elapsed()), "navigation to another site");
        return false;
    case browserlogic::NavigationVerdict::Refuse:
        qCInfo(lcWindows).noquote() << "navigation refused: " + target.toString(QUrl::FullyEncoded);
        return false;
    }
    return false;
}

void Browser::handOff(const QUrl& url, bool gesture, const char* what)
{
    const QString address = url.toString(QUrl::FullyEncoded);
    switch (limits_.handOff(gesture, clock_.elapsed())) {
    case browserlogic::PopupLimits::Verdict::Allowed:
        qCInfo(lcWindows).noquote() << QLatin1String(what) + QStringLiteral(": ") + address;
        if (external_)
            external_(url);
        return;
    case browserlogic::PopupLimits::Verdict::NoGesture: return blocked(address, "no user gesture");
    case browserlogic::PopupLimits::Verdict::TooSoon: return blocked(address, "one a second");
    case browserlogic::PopupLimits::Verdict::TooManyWindows: return blocked(address, "too many windows");
    }
}

void Browser::blocked(const QString& address, const char* why)
{
    qCInfo(lcWindows).noquote() << QStringLiteral("popup blocked (%1): %2").arg(QLatin1String(why), address);
    emit statusMessage(kPopupBlocked);
    emit statusFinished();
}

void Browser::onNewWindow(QWebEngineNewWindowRequest& request)
{
    const QUrl url = request.requestedUrl();
    const QString address = url.toString(QUrl::FullyEncoded);
    const auto* opener = qobject_cast<QWebEnginePage*>(sender());
    // A page of another site in one of our views gets nothing of ours: its windows go where
    // a browser would take them, or nowhere.
    const bool fromApplication = !opener || opener->url().isEmpty() || isApplication(opener->url())
        || opener->url().scheme() == QLatin1String("about");
    auto route = browserlogic::routeNewWindow(text(application_), address.toStdU16String());
    if (!fromApplication && route == browserlogic::NewWindowRoute::OwnWindow)
        route = url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")
            ? browserlogic::NewWindowRoute::SystemBrowser
            : browserlogic::NewWindowRoute::Refuse;
    switch (route) {
    case browserlogic::NewWindowRoute::OwnWindow:
        switch (browserlogic::PopupLimits::newWindow(request.isUserInitiated(), popups().size())) {
        case browserlogic::PopupLimits::Verdict::Allowed: return openPopup(request, address);
        case browserlogic::PopupLimits::Verdict::TooManyWindows:
            return blocked(address.isEmpty() ? QStringLiteral("about:blank") : address, "too many windows");
        default: return blocked(address.isEmpty() ? QStringLiteral("about:blank") : address, "no user gesture");
        }
    case browserlogic::NewWindowRoute::SystemBrowser:
        return handOff(url, request.isUserInitiated(), "main window popup");
    case browserlogic::NewWindowRoute::Refuse: qCInfo(lcWindows).noquote() << "new window refused: " + address; return;
    }
}

void Browser::openPopup(QWebEngineNewWindowRequest& request, const QString& address)
{
    const QUrl url = request.requestedUrl();
    auto* page = new BrowserPage(BrowserPage::Role::Popup, profile_, nullptr);
    page->setGuard(this);
    connect(page, &QWebEnginePage::newWindowRequested, this, &Browser::onNewWindow, Qt::UniqueConnection);
    request.openIn(page);
    const QSize size = request.requestedGeometry().size();
    const QString shown = address.isEmpty() ? QStringLiteral("about:blank") : address;
    if (!address.isEmpty() && url.scheme() != QLatin1String("about")) {
        auto* popup = new PopupWindow(page, size, mainWindow_);
        adoptPopup(popup);
        showPopup(popup, shown);
        return;
    }
    // The document of window.open("") has its creator's origin: the frame that asked, which
    // need not be the page around it. Asked in our own world, out of the page's reach, and
    // answered before anything of it shows.
    QPointer<BrowserPage> written(page);
    page->runJavaScript(QStringLiteral("self.origin"), QWebEngineScript::ApplicationWorld,
                        [this, written, size, shown](const QVariant& origin) {
                            if (!written)
                                return;
                            const QString site = origin.toString();
                            if (!isApplication(QUrl(site + QLatin1Char('/')))) {
                                qCInfo(lcWindows).noquote() << "popup of another site closed: " + site;
                                blocked(site, "written by another site");
                                delete written.data();
                                return;
                            }
                            qCInfo(lcWindows).noquote() << "popup written by its opener: " + site;
                            auto* popup = PopupWindow::forWrittenDocument(written, QUrl(site + QLatin1Char('/')), size,
                                                                          mainWindow_);
                            adoptPopup(popup);
                            connect(
                                popup, &PopupWindow::ready, this, [this, popup, shown] { showPopup(popup, shown); },
                                Qt::SingleShotConnection);
                        });
}

void Browser::adoptPopup(PopupWindow* popup)
{
    // The list would otherwise keep an empty entry for every window closed since the start.
    popups_.removeAll(nullptr);
    popups_.append(popup);
    watch(popup->view());
    connect(popup, &PopupWindow::printRequested, this, [this, popup] {
        qCInfo(lcWindows) << "print requested by the page";
        if (print_)
            print_->open(popup->view());
    });
    // A print preview holds the window: a page that closes itself after print() waits,
    // from the request on, while the preview is made ready.
    connect(popup->view(), &QWebEngineView::printRequested, popup, &PopupWindow::hold);
    connect(framePrint_, &FramePrint::attempted, popup, [popup](QWidget* window) {
        if (window == popup)
            popup->release();
    });
    connect(print_, &PrintPreview::opened, popup, [popup](QWidget* window) {
        if (window == popup)
            popup->hold();
    });
    connect(print_, &PrintPreview::closed, popup, [popup](QWidget* window) {
        if (window == popup)
            popup->release();
    });
}

void Browser::showPopup(PopupWindow* popup, const QString& address)
{
    popup->show();
    qCInfo(lcWindows).noquote()
        << QStringLiteral("popup opened: %1 (%2x%3)").arg(address).arg(popup->width()).arg(popup->height());
}

void Browser::onMainUrl(const QUrl& url)
{
    QString host;
    const bool web = url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
    if (web && browserlogic::originOf(text(application_)) && !isApplication(url))
        host = url.host();
    if (host == foreignHost_)
        return;
    foreignHost_ = host;
    if (!host.isEmpty())
        qCInfo(lcWindows).noquote() << "main window shows another site: " + host;
    emit foreignSiteChanged(host);
}

} // namespace talvo::browser
