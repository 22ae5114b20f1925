#include "browser/BrowserView.h"

#include <QAction>

#include <algorithm>

#include <QChildEvent>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>

#include "browser/FindBar.h"
#include "browser/PagePermissions.h"
#include "browser/PageRecovery.h"
#include "browser/Profile.h"
#include "browser/SiteGuard.h"
#include "browser/logic/Zoom.h"
#include "platform/gui/Diagnostics.h"

namespace talvo::browser {

namespace {

using browserlogic::BrowserAction;
using browserlogic::Key;

Key keyOf(const QKeyEvent& event)
{
    switch (event.key()) {
    case Qt::Key_F3: return Key::F3;
    case Qt::Key_F5: return Key::F5;
    case Qt::Key_F12: return Key::F12;
    case Qt::Key_R: return Key::A_R;
    case Qt::Key_F: return Key::A_F;
    case Qt::Key_G: return Key::A_G;
    case Qt::Key_P: return Key::A_P;
    case Qt::Key_Plus: return Key::Plus;
    case Qt::Key_Equal: return Key::Equal;
    case Qt::Key_Minus: return Key::Minus;
    case Qt::Key_0: return Key::Zero;
    case Qt::Key_Left: return Key::Left;
    case Qt::Key_Right: return Key::Right;
    default: return Key::Other;
    }
}

BrowserAction actionOf(const QKeyEvent& event, bool devToolsAllowed)
{
    const Qt::KeyboardModifiers mods = event.modifiers();
    return browserlogic::actionForKey({keyOf(event), mods.testFlag(Qt::ControlModifier), mods.testFlag(Qt::AltModifier),
                                       mods.testFlag(Qt::ShiftModifier), mods.testFlag(Qt::KeypadModifier)},
                                      devToolsAllowed);
}

const char* actionName(BrowserAction action)
{
    switch (action) {
    case BrowserAction::Reload: return "reload";
    case BrowserAction::Find: return "find";
    case BrowserAction::FindNext: return "find next";
    case BrowserAction::FindPrevious: return "find previous";
    case BrowserAction::ZoomIn: return "zoom in";
    case BrowserAction::ZoomOut: return "zoom out";
    case BrowserAction::ZoomReset: return "zoom reset";
    case BrowserAction::Back: return "back";
    case BrowserAction::Forward: return "forward";
    case BrowserAction::Print: return "print";
    case BrowserAction::DevTools: return "developer tools";
    case BrowserAction::None: break;
    }
    return "none";
}

// What the context menu keeps: moving about, editing, images, links that stay with us.
bool keepInMenu(QWebEnginePage::WebAction action)
{
    switch (action) {
    case QWebEnginePage::Back:
    case QWebEnginePage::Forward:
    case QWebEnginePage::Reload:
    case QWebEnginePage::Cut:
    case QWebEnginePage::Copy:
    case QWebEnginePage::Paste:
    case QWebEnginePage::PasteAndMatchStyle:
    case QWebEnginePage::Undo:
    case QWebEnginePage::Redo:
    case QWebEnginePage::SelectAll:
    case QWebEnginePage::CopyLinkToClipboard:
    case QWebEnginePage::OpenLinkInNewWindow:
    case QWebEnginePage::DownloadLinkToDisk:
    case QWebEnginePage::CopyImageToClipboard:
    case QWebEnginePage::CopyImageUrlToClipboard:
    case QWebEnginePage::DownloadImageToDisk:
    case QWebEnginePage::CopyMediaUrlToClipboard:
    case QWebEnginePage::ToggleMediaControls:
    case QWebEnginePage::ToggleMediaLoop:
    case QWebEnginePage::ToggleMediaPlayPause:
    case QWebEnginePage::ToggleMediaMute:
    case QWebEnginePage::DownloadMediaToDisk:
    case QWebEnginePage::ExitFullScreen: return true;
    default:
        // Inspect, view source, save page, open in this window or a tab: developer
        // tools, or ways to leave the application with nothing to come back by.
        return false;
    }
}

} // namespace

BrowserView::BrowserView(BrowserPage::Role role, Profile& profile, QWidget* parent)
    : BrowserView(new BrowserPage(role, profile, nullptr), parent)
{
}

BrowserView::BrowserView(BrowserPage* page, QWidget* parent) : QWebEngineView(parent), page_(page)
{
    page_->setParent(this);
    setPage(page_);
    for (QObject* child : children())
        watchChild(child);
    applyZoom(sessionZoom());
    // The engine may put its own zoom back when a new document loads.
    connect(page_, &QWebEnginePage::loadFinished, this, [this] { applyZoom(sessionZoom()); });
    recovery_ = new PageRecovery(this);
    new PagePermissions(this);
}

bool BrowserView::showsFailedLoad() const { return recovery_ && recovery_->showsFailedLoad(); }

int BrowserView::sessionZoom() const { return page_->browserProfile().zoomPercent(); }

void BrowserView::setBaseZoom(double factor)
{
    baseZoom_ = factor > 0 ? factor : 1.0;
    applyZoom(sessionZoom());
}

void BrowserView::applyZoom(int percent)
{
    const int zoomPercent = browserlogic::clampZoom(percent);
    page_->browserProfile().setZoomPercent(zoomPercent);
    // The engine takes factors from 0.25 to 5.
    const double factor = std::clamp(baseZoom_ * zoomPercent / 100.0, 0.25, 5.0);
    if (!qFuzzyCompare(page_->zoomFactor(), factor))
        page_->setZoomFactor(factor);
}

void BrowserView::perform(BrowserAction action)
{
    qCInfo(lcWindows).noquote()
        << QStringLiteral("browser key: %1 (%2)").arg(QLatin1String(actionName(action)), page_->roleName());
    switch (action) {
    case BrowserAction::Reload: page_->triggerAction(QWebEnginePage::Reload); break;
    case BrowserAction::Find: findBar()->open(); break;
    case BrowserAction::FindNext: findBar()->findAgain(false); break;
    case BrowserAction::FindPrevious: findBar()->findAgain(true); break;
    case BrowserAction::ZoomIn: applyZoom(browserlogic::zoomIn(sessionZoom())); break;
    case BrowserAction::ZoomOut: applyZoom(browserlogic::zoomOut(sessionZoom())); break;
    case BrowserAction::ZoomReset: applyZoom(browserlogic::kZoomDefault); break;
    case BrowserAction::Back: page_->triggerAction(QWebEnginePage::Back); break;
    case BrowserAction::Forward: page_->triggerAction(QWebEnginePage::Forward); break;
    case BrowserAction::Print: emit printWanted(); break;
    case BrowserAction::DevTools: emit devToolsWanted(); break;
    case BrowserAction::None: return;
    }
    if (action == BrowserAction::ZoomIn || action == BrowserAction::ZoomOut || action == BrowserAction::ZoomReset)
        qCInfo(lcWindows).noquote() << QStringLiteral("zoom: %1%").arg(sessionZoom());
}

bool BrowserView::event(QEvent* event)
{
    // The engine draws into a child widget that it makes when it needs one; the keys and
    // the mouse arrive there, not here.
    if (event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildPolished)
        watchChild(static_cast<QChildEvent*>(event)->child());
    return QWebEngineView::event(event);
}

void BrowserView::watchChild(QObject* child)
{
    if (!child || !child->isWidgetType() || qobject_cast<FindBar*>(child))
        return;
    child->removeEventFilter(this);
    child->installEventFilter(this);
}

bool BrowserView::eventFilter(QObject* watched, QEvent* event)
{
    // What the user does, as opposed to what the page's script does: a popup or a link to
    // another site may follow it.
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::MouseButtonPress) && page_->guard()
        && event->spontaneous())
        page_->guard()->noteUserInput();
    switch (event->type()) {
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        const BrowserAction action = actionOf(*key, devToolsAllowed_);
        if (action == BrowserAction::None)
            break;
        if (event->type() == QEvent::ShortcutOverride) {
            // Claim the key so no shortcut elsewhere takes it; it comes back as a key press.
            event->accept();
            return true;
        }
        perform(action);
        return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const auto button = mouse->button() == Qt::BackButton ? browserlogic::MouseButton::Back
            : mouse->button() == Qt::ForwardButton            ? browserlogic::MouseButton::Forward
                                                              : browserlogic::MouseButton::Other;
        const BrowserAction action = browserlogic::actionForMouseButton(button);
        if (action == BrowserAction::None)
            break;
        if (event->type() == QEvent::MouseButtonRelease)
            perform(action);
        return true;
    }
    default: break;
    }
    return QWebEngineView::eventFilter(watched, event);
}

void BrowserView::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = createStandardContextMenu();
    for (QAction* action : menu->actions()) {
        if (action->isSeparator())
            continue;
        bool known = false;
        for (int i = 0; i < QWebEnginePage::WebActionCount; ++i) {
            const auto web = static_cast<QWebEnginePage::WebAction>(i);
            if (page_->action(web) == action) {
                known = true;
                if (!keepInMenu(web))
                    menu->removeAction(action);
                break;
            }
        }
        if (!known)
            menu->removeAction(action); // entries the engine adds that we do not know
    }
    menu->addSeparator();
    QAction* print = menu->addAction(QString::fromUtf16(u"打印…"));
    connect(print, &QAction::triggered, this, [this] { perform(BrowserAction::Print); });
    if (devToolsAllowed_) {
        QAction* tools = menu->addAction(QString::fromUtf16(u"开发者工具"));
        connect(tools, &QAction::triggered, this, [this] { perform(BrowserAction::DevTools); });
    }
    // Tidy the separators left over by removed entries.
    QAction* previous = nullptr;
    for (QAction* action : menu->actions()) {
        if (action->isSeparator() && (!previous || previous->isSeparator()))
            menu->removeAction(action);
        else
            previous = action;
    }
    menu->setAttribute(Qt::WA_DeleteOnClose, true);
    QStringList entries;
    for (QAction* action : menu->actions())
        if (!action->isSeparator())
            entries << action->text();
    qCInfo(lcWindows).noquote() << "context menu shown: " + entries.join(QLatin1String(" | "));
    menu->popup(event->globalPos());
}

void BrowserView::resizeEvent(QResizeEvent* event)
{
    QWebEngineView::resizeEvent(event);
    if (findBar_)
        findBar_->place();
}

FindBar* BrowserView::findBar()
{
    // Made on first use: most views never search, and each bar costs its widgets' memory.
    if (!findBar_) {
        findBar_ = new FindBar(page_, this);
        findBar_->hide();
    }
    return findBar_;
}

} // namespace talvo::browser
