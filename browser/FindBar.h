#pragma once

#include <QFrame>

class QLabel;
class QLineEdit;
class QWebEnginePage;
class QWebEngineFindTextResult;

namespace talvo::browser {

// A small find bar over the top right corner of a view: the text, previous and next, the
// number of matches; Escape or its close button closes it and clears the marks.
class FindBar : public QFrame {
    Q_OBJECT
public:
    FindBar(QWebEnginePage* page, QWidget* view);

    void open();
    void close();
    // Next (or previous) match of the text already entered; opens the bar when shut.
    void findAgain(bool backwards);
    // Keeps the bar in the view's top right corner.
    void place();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void find(bool backwards);
    void showResult(const QWebEngineFindTextResult& result);

    QWebEnginePage* page_;
    QLineEdit* text_;
    QLabel* count_;
};

} // namespace talvo::browser
