#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace talvo::browser {

// Our own notice over the page area when the page cannot be shown: a failed load or a render
// process that went away. A plain widget, so it shows even when no renderer is left to draw
// a page, and the page underneath cannot restyle it or change the window title through it.
class FailurePanel : public QWidget {
    Q_OBJECT
public:
    explicit FailurePanel(QWidget* view);

    // headline: what happened; advice: what happens next; detail: the address and the
    // technical reason, in small print. buttonText: the button's caption, empty for none.
    void present(const QString& headline, const QString& advice, const QString& detail, const QString& buttonText);

    // Keeps covering the whole view as it resizes.
    void place();

signals:
    void buttonClicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* headline_;
    QLabel* advice_;
    QLabel* detail_;
    QPushButton* button_;
};

} // namespace talvo::browser
