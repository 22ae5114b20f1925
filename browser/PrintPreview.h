#pragma once

#include <QObject>
#include <QPointer>

class QPrintPreviewDialog;
class QPrinter;
class QWebEngineView;
class QWidget;

namespace talvo::browser {

// window.print(), Ctrl+P and the context menu's print entry open a print preview
// ("打印预览") from which the user prints to a printer or to PDF. It opens without holding
// the caller, one at a time (a request while one is open is dropped), and cancelling simply
// closes it. The window it was asked for should stay until it has closed (see closed()).
class PrintPreview : public QObject {
    Q_OBJECT
public:
    explicit PrintPreview(QObject* parent = nullptr);
    ~PrintPreview() override;

    void open(QWebEngineView* view);
    // Prints view's page for window (view may be one of ours that is never shown).
    void open(QWebEngineView* view, QWidget* window, const QString& documentName);
    // The window whose page is being previewed, or nullptr.
    QWidget* window() const;

signals:
    // A preview is about to open for window's page; it holds the window until closed().
    void opened(QWidget* window);
    // The preview is gone; window is the one it was opened for (it may be gone too).
    void closed(QWidget* window);

private:
    void render(QPrinter* printer);

    QPointer<QWebEngineView> view_;
    QPointer<QWidget> window_;
    QPointer<QPrintPreviewDialog> dialog_;
};

} // namespace talvo::browser
