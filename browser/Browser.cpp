#include "browser/Browser.h"

#include <QWebEngineNewWindowRequest>
#include <QWebEngineProfile>

#include "browser/BrowserView.h"
#include "browser/Downloads.h"
#include "browser/PopupWindow.h"
#include "browser/PrintPreview.h"
#include "browser/Profile.h"
#include "browser/logic/SameSite.h"
#include "platform/gui/Diagnostics.h"

namespace talvo::browser {

Browser::Browser(QWidget* mainWindow, BrowserPage* preparedPage)
    : QObject(mainWindow), mainWindow_(mainWindow),
      mainView_(preparedPage ? new BrowserView(preparedPage, mainWindow)
                             : new BrowserView(BrowserPage::Role::Main, mainWindow)),
      downloads_(new Downloads(profile(), [this] { return static_cast<QWidget*>(mainWindow_); }, this)),
      print_(new PrintPreview(this))
{
    mainView_->setObjectName(QStringLiteral("WebBrowser1"));
    watch(mainView_);
    connect(downloads_, &Downloads::status, this, &Browser::statusMessage);
    connect(downloads_, &Downloads::ended, this, &Browser::statusFinished);
}

Browser::~Browser() { shutDown(); }

void Browser::setApplicationAddress(const QUrl& address) { application_ = address; }

void Browser::setExternalOpener(ExternalOpener opener) { external_ = std::move(opener); }

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
    for (PopupWindow* popup : popups())
        delete popup;
    popups_.clear();
    delete mainView_;
    mainView_ = nullptr;
}

void Browser::watch(BrowserView* view)
{
    QWebEnginePage* page = view->page();
    connect(page, &QWebEnginePage::newWindowRequested, this, &Browser::onNewWindow);
    // A popup passes its print requests on itself (it may print for a page it does not show).
    if (view == mainView_)
        connect(view, &QWebEngineView::printRequested, this, [this, view] {
            qCInfo(lcWindows) << "print requested by the page";
            print_->open(view);
        });
    connect(view, &BrowserView::printWanted, this, [this, view] { print_->open(view); });
}

void Browser::onNewWindow(QWebEngineNewWindowRequest& request)
{
    const QUrl url = request.requestedUrl();
    const QString address = url.toString(QUrl::FullyEncoded);
    const auto route = browserlogic::routeNewWindow(application_.toString(QUrl::FullyEncoded).toStdU16String(),
                                                    address.toStdU16String());
    switch (route) {
    case browserlogic::NewWindowRoute::OwnWindow: {
        auto* popup = new PopupWindow(request.requestedGeometry().size(), mainWindow_);
        popups_.append(popup);
        watch(popup->view());
        connect(popup, &PopupWindow::printRequested, this, [this, popup] { print_->open(popup->view()); });
        const auto* opener = qobject_cast<QWebEnginePage*>(sender());
        const bool filledByOpener = address.isEmpty() || url.scheme() == QLatin1String("about");
        QWebEnginePage* page = popup->pageForRequest(filledByOpener, opener ? opener->url() : application_);
        connect(page, &QWebEnginePage::newWindowRequested, this, &Browser::onNewWindow, Qt::UniqueConnection);
        request.openIn(page);
        popup->show();
        qCInfo(lcWindows).noquote() << QStringLiteral("popup opened: %1 (%2x%3)")
                                           .arg(address.isEmpty() ? QStringLiteral("about:blank") : address)
                                           .arg(popup->width())
                                           .arg(popup->height());
        break;
    }
    case browserlogic::NewWindowRoute::SystemBrowser:
        qCInfo(lcWindows).noquote() << "main window popup: " + address;
        if (external_)
            external_(url);
        break;
    case browserlogic::NewWindowRoute::Refuse:
        qCInfo(lcWindows).noquote() << "new window refused: " + address;
        break;
    }
}

} // namespace talvo::browser
