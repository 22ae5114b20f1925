#include "browser/DevToolsWindow.h"

#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace talvo::browser {

DevToolsWindow::DevToolsWindow(QWebEnginePage* inspected, QWebEngineProfile* profile)
    : QWidget(nullptr, Qt::Window), inspected_(inspected)
{
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* view = new QWebEngineView(this);
    // On our profile, so that it goes with the other pages before the profile does.
    auto* page = new QWebEnginePage(profile, view);
    view->setPage(page);
    page->setInspectedPage(inspected);
    layout->addWidget(view);
    const auto title = [this] {
        setWindowTitle(QString::fromUtf16(u"开发者工具 - ") + (inspected_ ? inspected_->title() : QString()));
    };
    title();
    connect(inspected, &QWebEnginePage::titleChanged, this, title);
    connect(inspected, &QObject::destroyed, this, &QWidget::close);
    resize(1000, 700);
}

} // namespace talvo::browser
