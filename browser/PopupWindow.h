#pragma once

#include <QWidget>

class QLabel;
class QStatusBar;

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

    static constexpr QSize kDefaultSize{1011, 767};

private:
    BrowserView* view_;
    QStatusBar* status_;
};

} // namespace talvo::browser
