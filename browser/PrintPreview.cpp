#include "browser/PrintPreview.h"

#include <QEventLoop>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTimer>
#include <QWebEngineView>

#include "platform/gui/Diagnostics.h"

namespace talvo::browser {

namespace {
// The engine renders the page before the preview can show it; a page that never finishes
// must not hold the preview for good.
constexpr int kRenderLimitMs = 60000;
} // namespace

PrintPreview::PrintPreview(QObject* parent) : QObject(parent) {}

void PrintPreview::open(QWebEngineView* view)
{
    if (open_ || !view) {
        qCInfo(lcWindows) << "print preview already open";
        return;
    }
    open_ = true;
    view_ = view;
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(view->title());
    QPrintPreviewDialog dialog(&printer, view->window());
    dialog.setWindowTitle(QString::fromUtf16(u"打印预览"));
    dialog.resize(900, 700);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, &PrintPreview::render);
    qCInfo(lcWindows) << "print preview opened";
    const int result = dialog.exec();
    qCInfo(lcWindows) << (result == QDialog::Accepted ? "print preview printed" : "print preview closed");
    open_ = false;
}

void PrintPreview::render(QPrinter* printer)
{
    if (!view_)
        return;
    QEventLoop wait;
    bool done = false;
    const auto connection = connect(view_, &QWebEngineView::printFinished, &wait, [&](bool ok) {
        done = true;
        qCInfo(lcWindows) << (ok ? "print rendered" : "print rendering failed");
        wait.quit();
    });
    QTimer::singleShot(kRenderLimitMs, &wait, &QEventLoop::quit);
    view_->print(printer);
    if (!done)
        wait.exec();
    disconnect(connection);
}

} // namespace talvo::browser
