#include "browser/FullScreenWindow.h"

#include <QAction>
#include <QPointer>
#include <QWebEngineView>

#include "platform/gui/Diagnostics.h"

namespace talvo::browser {

FullScreenWindow::FullScreenWindow(QWebEngineView* from)
    : QWidget(nullptr), from_(from), view_(new QWebEngineView(this))
{
    setObjectName(QStringLiteral("fullScreenWindow"));
    setWindowTitle(from->window()->windowTitle());
    auto* leave = new QAction(this);
    leave->setShortcut(Qt::Key_Escape);
    leave->setShortcutContext(Qt::WindowShortcut);
    connect(leave, &QAction::triggered, this, [this] {
        qCInfo(lcWindows) << "full screen: escape";
        view_->triggerPageAction(QWebEnginePage::ExitFullScreen);
    });
    addAction(leave);
    view_->setPage(from->page());
    showFullScreen();
    activateWindow();
    view_->setFocus();
}

FullScreenWindow::~FullScreenWindow()
{
    // The page goes back to the view it came from, still playing.
    if (QWebEnginePage* page = view_->page(); page && from_)
        from_->setPage(page);
}

void FullScreenWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    view_->setGeometry(rect());
}

} // namespace talvo::browser
