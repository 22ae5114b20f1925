#pragma once

#include <QUrl>
#include <QWidget>

class QLabel;
class QStatusBar;
class QTimer;
class QWebEnginePage;

namespace talvo::browser {

class BrowserView;

// A window the web application opened (a customer's details, a print view): the same
// profile as the main window, so the session goes along; titled with its page's title,
// with a status line. The page's window.close() closes it. Deletes itself when closed.
class PopupWindow : public QWidget {
    Q_OBJECT
public:
    // requested: the size the page asked for (empty: 1011 x 767); centred on centreOn.
    PopupWindow(const QSize& requested, QWidget* centreOn);

    BrowserView* view() const { return view_; }

    // The page a new-window request is to open in. Normally the view's own page. A window
    // its opener fills by script (window.open("") then document.write) gets a page of its
    // own that is never shown: the engine cannot draw such a document in a view, so the
    // view shows a copy of it instead, taken again whenever the document changes, with
    // openerUrl as its base address. Script in that page still runs there: window.close(),
    // print() and a later navigation reach this window.
    QWebEnginePage* pageForRequest(bool filledByOpener, const QUrl& openerUrl);
    // The page the opener's script sees, shown or not.
    QWebEnginePage* scriptPage() const;

    static constexpr QSize kDefaultSize{1011, 767};

signals:
    // The page asked to print.
    void printRequested();

private:
    void watchTitleAndClose(QWebEnginePage* page);
    void copyDocument();

    BrowserView* view_;
    QStatusBar* status_;
    QWebEnginePage* hidden_ = nullptr;
    QUrl openerUrl_;
    QTimer* copyTimer_ = nullptr;
};

} // namespace talvo::browser
