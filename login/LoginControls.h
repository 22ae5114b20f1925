#pragma once

#include <QCheckBox>
#include <QLabel>

class QKeyEvent;
class QMouseEvent;
class QPainter;
class QRect;

// The login window's small controls, shaped after the form controls the window was
// designed with: mouse events stay with the control under the pointer (they never fall
// through to the window's background), clicks are a left press and release on the control.
namespace talvo::login {

// A click is a left press and a left release over the same control.
class ClickTracker {
public:
    void press(QMouseEvent* event);
    bool isClick(QMouseEvent* release, const QRect& area);

private:
    bool leftPressed_ = false;
};

// Space (and, where noted, Return) on a focused control is its click.
bool isActivationKey(const QKeyEvent* event, bool returnToo);

// The mark of keyboard focus: a dotted frame just inside area.
void drawFocusFrame(QPainter& painter, const QRect& area, const QColor& colour);

// A picture box: shows one picture at its top-left, unscaled and clipped. Reached by Tab
// only where a window lets it; Space clicks it then.
class PictureBox : public QLabel {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

    // Loads the file and shows it. A missing or unreadable file leaves the picture as it
    // was and returns false.
    bool loadPicture(const QString& filePath);

signals:
    void mouseMoved();
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    ClickTracker click_;
};

// A label that is also a link (or a plain label that keeps its mouse events). Its one
// line of text sits at the top, the baseline raised where the label is too short for the
// font's full line height (the window's labels are sized for a tighter font). A link that
// takes the focus follows on Space or Return.
class ClickLabel : public QLabel {
    Q_OBJECT
public:
    explicit ClickLabel(const QString& text, QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    ClickTracker click_;
};

// A check box with a numeric value: 0 unchecked, 1 checked, 2 grayed. Every change of
// the value, by the user or by code, raises valueClicked once; setting the value it
// already has raises nothing.
class VbCheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit VbCheckBox(const QString& caption, QWidget* parent = nullptr);

    int value() const;
    void setValue(int value); // anything but 0, 1, 2 is ignored

signals:
    void valueClicked();

protected:
    // A user click toggles between checked and unchecked; grayed goes to checked.
    void nextCheckState() override;
};

} // namespace talvo::login
