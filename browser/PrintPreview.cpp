#include "browser/PrintPreview.h"

#include <QEventLoop>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTimer>
#include <QWebEngineView>

#include <memory>

#include "platform/gui/Diagnostics.h"

namespace talvo::browser {

namespace {
// The engine renders the page before the preview can show it; a page that never finishes
// must not hold the preview for good.
constexpr int kRenderLimitMs = 60000;
} // namespace

PrintPreview::PrintPreview(QObject* parent) : QObject(parent) { }

PrintPreview::~PrintPreview() { delete dialog_; }

QWidget* PrintPreview::window() const { return dialog_ ? window_.data() : nullptr; }

void PrintPreview::open(QWebEngineView* view)
{
    if (view)
        open(view, view->window(), view->title());
}

void PrintPreview::open(QWebEngineView* view, QWidget* window, const QString& documentName)
{
    if (dialog_ || !view) {
        qCInfo(lcWindows) << "print preview already open";
        return;
    }
    view_ = view;
    window_ = window;
    auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
    printer->setDocName(documentName);
    auto* dialog = new QPrintPreviewDialog(printer.get(), window_);
    dialog_ = dialog;
    // The printer lives as long as the dialog that paints on it, whoever deletes it.
    connect(dialog, &QObject::destroyed, this, [printer] {});
    dialog->setWindowTitle(QString::fromUtf16(u"打印预览"));
    dialog->resize(900, 700);
    connect(dialog, &QPrintPreviewDialog::paintRequested, this, &PrintPreview::render);
    connect(dialog, &QDialog::finished, this, [this, dialog](int result) {
        qCInfo(lcWindows) << (result == QDialog::Accepted ? "print preview printed" : "print preview closed");
        dialog->deleteLater();
        dialog_ = nullptr;
        emit closed(window_);
    });
    qCInfo(lcWindows).noquote() << "print preview opened: " + documentName;
    // Before the preview paints: painting waits for the engine, and the page's script
    // (a print view that closes itself) goes on meanwhile.
    emit opened(window_);
    if (dialog_)
        dialog->open();
}

void PrintPreview::render(QPrinter* printer)
{
    if (!view_)
        return;
    // The one wait of ours besides the page's own dialogs: QPrintPreviewWidget takes the
    // pages off the printer as soon as paintRequested returns, so they must be painted by
    // then, while the engine renders a page onto a printer only asynchronously
    // (printFinished) and onto nothing we could render ahead and replay here without a
    // PDF renderer. The wait ends with the render, the view's end or the time limit.
    QEventLoop wait;
    bool done = false;
    const auto connection = connect(view_, &QWebEngineView::printFinished, &wait, [&](bool ok) {
        done = true;
        qCInfo(lcWindows) << (ok ? "print rendered" : "print rendering failed");
        wait.quit();
    });
    connect(view_, &QObject::destroyed, &wait, &QEventLoop::quit);
    QTimer::singleShot(kRenderLimitMs, &wait, &QEventLoop::quit);
    view_->print(printer);
    if (!done)
        wait.exec();
    disconnect(connection);
}

} // namespace talvo::browser
