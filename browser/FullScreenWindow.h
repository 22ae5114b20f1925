#pragma once

#include <QWidget>

class QWebEngineView;

namespace talvo::browser {

// Shows a page full screen (a video asked for it) in a window of its own, borrowing the page
// from its view and giving it back when closed. Escape leaves full screen.
class FullScreenWindow : public QWidget {
    Q_OBJECT
public:
    explicit FullScreenWindow(QWebEngineView* from);
    ~FullScreenWindow() override;

    // The view the page came from is going away: keep the page where it is.
    void forgetOrigin() { from_ = nullptr; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QWebEngineView* from_;
    QWebEngineView* view_;
};

} // namespace talvo::browser
