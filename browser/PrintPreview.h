#pragma once

#include <QObject>
#include <QPointer>

class QPrinter;
class QWebEngineView;

namespace talvo::browser {

// window.print(), Ctrl+P and the context menu's print entry open a print preview
// ("打印预览") from which the user prints to a printer or to PDF. One at a time; a request
// while one is open is dropped, and cancelling simply closes it.
class PrintPreview : public QObject {
    Q_OBJECT
public:
    explicit PrintPreview(QObject* parent = nullptr);

    void open(QWebEngineView* view);

private:
    void render(QPrinter* printer);

    QPointer<QWebEngineView> view_;
    bool open_ = false;
};

} // namespace talvo::browser
