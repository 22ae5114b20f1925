#pragma once

#include <QObject>
#include <QPointer>
#include <QUrl>

class QWebEnginePage;
class QWebEngineView;
class QWidget;

namespace talvo::browser {

class PrintPreview;

// print() called in a frame (print libraries copy an order into a hidden frame and print
// that) prints the frame's document alone, as a browser does. The engine only reports a
// print of the whole page, so a script of ours in every frame of the page's own site hands
// the frame's document to the top before asking the top to print; the document is then
// laid out again, scripting off, in a page of our own that is never shown, and that page
// goes to the print preview.
class FramePrint : public QObject {
    Q_OBJECT
public:
    FramePrint(PrintPreview* preview, QObject* parent);

    // Installs the script in page (before its documents load).
    static void prepare(QWebEnginePage* page);

    // view's page asked to print: its frame's document if a frame asked, else the page.
    // Ends with attempted(), whether a preview opened or not.
    void print(QWebEngineView* view);

signals:
    // A print for window's page was handed to the preview (or could not be).
    void attempted(QWidget* window);

private:
    void printDocument(QWebEngineView* view, const QString& html, const QUrl& base, const QString& title);

    QPointer<PrintPreview> preview_;
};

} // namespace talvo::browser
