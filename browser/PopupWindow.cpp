#include "browser/PopupWindow.h"

#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QScreen>
#include <QStatusBar>
#include <QVBoxLayout>

#include "browser/BrowserView.h"
#include "platform/gui/Diagnostics.h"

namespace talvo::browser {

PopupWindow::PopupWindow(const QSize& requested, QWidget* centreOn)
    : QWidget(nullptr, Qt::Window), view_(new BrowserView(BrowserPage::Role::Popup, this)), status_(new QStatusBar(this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(centreOn ? centreOn->windowIcon() : QIcon());
    setWindowTitle(QString::fromUtf16(u"正在打开…"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(view_, 1);
    layout->addWidget(status_);
    status_->setSizeGripEnabled(true);

    QWebEnginePage* page = view_->page();
    watchTitleAndClose(page);
    connect(view_, &QWebEngineView::printRequested, this, &PopupWindow::printRequested);
    connect(page, &QWebEnginePage::linkHovered, this, [this](const QString& url) {
        if (url.isEmpty())
            status_->clearMessage();
        else
            status_->showMessage(url);
    });
    connect(page, &QWebEnginePage::loadStarted, this, [this] { status_->showMessage(QString::fromUtf16(u"正在加载…")); });
    connect(page, &QWebEnginePage::loadFinished, this, [this](bool ok) {
        status_->showMessage(ok ? QString::fromUtf16(u"完成") : QString::fromUtf16(u"页面未能加载"), 3000);
    });
    // A page may size its own window (resizeTo); its position stays ours.
    connect(page, &QWebEnginePage::geometryChangeRequested, this, [this](const QRect& geometry) {
        if (geometry.width() > 0 && geometry.height() > 0)
            resize(geometry.width(), geometry.height() + status_->sizeHint().height());
    });

    QSize size = requested.width() > 0 && requested.height() > 0 ? requested : kDefaultSize;
    const QScreen* screen = centreOn && centreOn->screen() ? centreOn->screen() : QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    size = size.boundedTo(available.size());
    // The page asks for the size of its content; the status line comes on top.
    resize(size.width(), size.height() + (requested.isEmpty() ? 0 : status_->sizeHint().height()));
    const QRect around = centreOn && centreOn->isVisible() ? centreOn->frameGeometry() : available;
    QRect frame(QPoint(0, 0), this->size());
    frame.moveCenter(around.center());
    // Keep the title bar on the screen.
    frame.moveTop(std::max(frame.top(), available.top()));
    frame.moveLeft(std::clamp(frame.left(), available.left(), std::max(available.left(), available.right() - frame.width())));
    move(frame.topLeft());
}

void PopupWindow::watchTitleAndClose(QWebEnginePage* page)
{
    connect(page, &QWebEnginePage::titleChanged, this, [this](const QString& title) {
        if (!title.isEmpty())
            setWindowTitle(title);
        qCInfo(lcWindows).noquote() << "popup title: " + title;
    });
    connect(page, &QWebEnginePage::windowCloseRequested, this, [this] {
        qCInfo(lcWindows) << "popup closed by its page";
        close();
    });
}

QWebEnginePage* PopupWindow::scriptPage() const { return hidden_ ? hidden_ : view_->page(); }

QWebEnginePage* PopupWindow::pageForRequest(bool filledByOpener, const QUrl& openerUrl)
{
    if (!filledByOpener)
        return view_->page();
    if (hidden_)
        return hidden_;
    openerUrl_ = openerUrl;
    hidden_ = new BrowserPage(BrowserPage::Role::Popup, this);
    // Only the copy's title counts; the hidden page's own would come first and be the same.
    disconnect(view_->page(), &QWebEnginePage::titleChanged, this, nullptr);
    watchTitleAndClose(hidden_);
    connect(hidden_, &QWebEnginePage::printRequested, this, &PopupWindow::printRequested);
    copyTimer_ = new QTimer(this);
    copyTimer_->setSingleShot(true);
    copyTimer_->setInterval(150); // a script writes in pieces; copy once it pauses
    connect(copyTimer_, &QTimer::timeout, this, &PopupWindow::copyDocument);
    connect(hidden_, &QWebEnginePage::loadFinished, copyTimer_, qOverload<>(&QTimer::start));
    connect(hidden_, &QWebEnginePage::titleChanged, copyTimer_, qOverload<>(&QTimer::start));
    connect(hidden_, &QWebEnginePage::urlChanged, this, [this](const QUrl& url) {
        // Sent on to a real address: that the view can show by itself.
        if (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")) {
            copyTimer_->stop();
            view_->load(url);
        }
    });
    return hidden_;
}

void PopupWindow::copyDocument()
{
    if (!hidden_)
        return;
    const QUrl at = hidden_->url();
    if (at.scheme() == QLatin1String("http") || at.scheme() == QLatin1String("https"))
        return;
    QPointer<PopupWindow> self(this);
    hidden_->toHtml([self](const QString& html) {
        if (!self)
            return;
        self->view_->setHtml(html, self->openerUrl_);
        qCInfo(lcWindows).noquote() << QStringLiteral("popup document copied: %1 characters").arg(html.size());
    });
}

} // namespace talvo::browser
