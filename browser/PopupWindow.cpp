#include "browser/PopupWindow.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineScript>
#include <QWebEngineSettings>

#include <utility>

#include "browser/BrowserView.h"
#include "browser/InertCopy.h"
#include "platform/gui/Diagnostics.h"

namespace talvo::browser {

PopupWindow::PopupWindow(BrowserPage* page, const QSize& requested, QWidget* centreOn)
    : PopupWindow(page, nullptr, requested, centreOn)
{
}

PopupWindow* PopupWindow::forWrittenDocument(BrowserPage* scriptPage, const QUrl& origin, const QSize& requested,
                                             QWidget* centreOn)
{
    auto* shown = new BrowserPage(BrowserPage::Role::Popup, scriptPage->browserProfile(), nullptr);
    // The copy is only to look at: its script already ran, once, in the written page.
    shown->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    auto* popup = new PopupWindow(shown, scriptPage, requested, centreOn);
    // An empty document of the written one's site, ready before the window shows.
    popup->view_->setHtml(QStringLiteral("<!DOCTYPE html><html><head></head><body></body></html>"), origin);
    return popup;
}

PopupWindow::PopupWindow(BrowserPage* page, BrowserPage* scriptPage, const QSize& requested, QWidget* centreOn)
    : QWidget(nullptr, Qt::Window), view_(new BrowserView(page, this)), status_(new QStatusBar(this)),
      written_(scriptPage)
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

    watchScriptPage(scriptPage ? scriptPage : page);
    if (scriptPage) {
        scriptPage->setParent(this);
        copyTimer_ = new QTimer(this);
        copyTimer_->setSingleShot(true);
        copyTimer_->setInterval(150); // a script writes in pieces; copy once it pauses
        connect(copyTimer_, &QTimer::timeout, this, &PopupWindow::copyDocument);
        connect(scriptPage, &QWebEnginePage::loadFinished, copyTimer_, qOverload<>(&QTimer::start));
        connect(scriptPage, &QWebEnginePage::titleChanged, copyTimer_, qOverload<>(&QTimer::start));
        connect(scriptPage, &QWebEnginePage::printRequested, this, &PopupWindow::printRequested);
        connect(scriptPage, &QWebEnginePage::urlChanged, this, [this](const QUrl& url) {
            // Sent on to a real address (the navigation was let through): the view shows it.
            if (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))
                return;
            copyTimer_->stop();
            view_->page()->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, true);
            watchScriptPage(view_->browserPage());
            view_->load(url);
            QPointer<BrowserPage> done = written_;
            written_ = nullptr;
            if (done)
                done->deleteLater();
        });
        connect(view_->page(), &QWebEnginePage::loadFinished, this, [this](bool) {
            if (shellReady_ || !written_)
                return;
            shellReady_ = true;
            emit ready();
            if (!pendingCopy_.isNull())
                showCopy(std::exchange(pendingCopy_, QString()));
        });
        copyTimer_->start();
    }
    connect(page, &QWebEnginePage::linkHovered, this, [this](const QString& url) {
        if (url.isEmpty())
            status_->clearMessage();
        else
            status_->showMessage(url);
    });
    connect(page, &QWebEnginePage::loadStarted, this,
            [this] { status_->showMessage(QString::fromUtf16(u"正在加载…")); });
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
    frame.moveLeft(
        std::clamp(frame.left(), available.left(), std::max(available.left(), available.right() - frame.width())));
    move(frame.topLeft());
}

void PopupWindow::watchScriptPage(BrowserPage* page)
{
    const auto showTitle = [this](const QString& title) {
        if (!title.isEmpty())
            setWindowTitle(title);
        qCInfo(lcWindows).noquote() << "popup title: " + title;
    };
    connect(page, &QWebEnginePage::titleChanged, this, showTitle);
    // A written document may have its title before the window is made.
    if (!page->title().isEmpty() && page->title() != page->url().toString())
        showTitle(page->title());
    connect(page, &QWebEnginePage::windowCloseRequested, this, [this] {
        closeAsked_ = true;
        if (holds_ > 0 || scriptPage()->holdsDialog())
            qCInfo(lcWindows) << "popup close waits for its dialog";
        closeWhenFree();
    });
    connect(page, &BrowserPage::dialogsClosed, this, &PopupWindow::closeWhenFree, Qt::QueuedConnection);
}

BrowserPage* PopupWindow::scriptPage() const { return written_ ? written_.data() : view_->browserPage(); }

void PopupWindow::copyDocument()
{
    if (!written_)
        return;
    QPointer<PopupWindow> self(this);
    written_->runJavaScript(
        QStringLiteral("[document.baseURI, document.documentElement ? document.documentElement.outerHTML : '']"),
        QWebEngineScript::ApplicationWorld, [self](const QVariant& result) {
            const QVariantList parts = result.toList();
            if (!self || !self->written_ || parts.size() != 2)
                return;
            self->copyBase_ = parts.at(0).toString();
            const QString html = parts.at(1).toString();
            if (!self->shellReady_) {
                self->pendingCopy_ = html;
                return;
            }
            self->showCopy(html);
        });
}

void PopupWindow::showCopy(const QString& html)
{
    // Its relative addresses (styles, pictures) resolve against the written document's base,
    // as they did there.
    view_->page()->runJavaScript(inertCopyScript(html, copyBase_), QWebEngineScript::ApplicationWorld);
    qCInfo(lcWindows).noquote() << QStringLiteral("popup document copied: %1 characters").arg(html.size());
}

void PopupWindow::hold() { ++holds_; }

void PopupWindow::release()
{
    if (holds_ > 0)
        --holds_;
    closeWhenFree();
}

void PopupWindow::closeWhenFree()
{
    if (!closeAsked_ || holds_ > 0 || scriptPage()->holdsDialog())
        return;
    qCInfo(lcWindows) << "popup closed by its page";
    close();
}

} // namespace talvo::browser
