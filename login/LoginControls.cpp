#include "login/LoginControls.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

namespace talvo::login {

void ClickTracker::press(QMouseEvent* event)
{
    event->accept();
    leftPressed_ = event->button() == Qt::LeftButton;
}

bool ClickTracker::isClick(QMouseEvent* release, const QRect& area)
{
    release->accept();
    const bool click = leftPressed_ && release->button() == Qt::LeftButton
        && area.contains(release->position().toPoint());
    leftPressed_ = false;
    return click;
}

bool isActivationKey(const QKeyEvent* event, bool returnToo)
{
    if ((event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier || event->isAutoRepeat())
        return false;
    const int key = event->key();
    return key == Qt::Key_Space || (returnToo && (key == Qt::Key_Return || key == Qt::Key_Enter));
}

void drawFocusFrame(QPainter& painter, const QRect& area, const QColor& colour)
{
    QPen pen(colour);
    pen.setStyle(Qt::DotLine);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(area.adjusted(0, 0, -1, -1));
}

PictureBox::PictureBox(QWidget* parent) : QLabel(parent)
{
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setMouseTracking(true);
    setAttribute(Qt::WA_NoMousePropagation);
}

bool PictureBox::loadPicture(const QString& filePath)
{
    // Read afresh every time: the pictures on disk may be swapped while we run.
    QPixmap picture;
    if (!picture.load(filePath))
        return false;
    setPixmap(picture);
    return true;
}

void PictureBox::paintEvent(QPaintEvent* event)
{
    QLabel::paintEvent(event);
    if (!hasFocus())
        return;
    // Inside the picture, light on the dark button.
    QPainter painter(this);
    drawFocusFrame(painter, rect().adjusted(2, 2, -2, -2), Qt::white);
}

void PictureBox::keyPressEvent(QKeyEvent* event)
{
    if (!isActivationKey(event, false)) {
        QLabel::keyPressEvent(event);
        return;
    }
    event->accept();
    emit clicked();
}

void PictureBox::mouseMoveEvent(QMouseEvent* event)
{
    event->accept();
    emit mouseMoved();
}

void PictureBox::mousePressEvent(QMouseEvent* event) { click_.press(event); }

void PictureBox::mouseReleaseEvent(QMouseEvent* event)
{
    if (click_.isClick(event, rect()))
        emit clicked();
}

ClickLabel::ClickLabel(const QString& text, QWidget* parent) : QLabel(text, parent)
{
    setAttribute(Qt::WA_NoMousePropagation);
}

void ClickLabel::paintEvent(QPaintEvent*)
{
    if (text().isEmpty())
        return;
    int visible = height();
    if (parentWidget())
        visible = qMin(visible, parentWidget()->height() - y());
    const QFontMetrics metrics(font());
    const int baseline = qMax(1, qMin(metrics.ascent(), visible - 2));
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(QPoint(0, baseline), text());
    if (hasFocus()) {
        const int width = qMin(this->width(), metrics.horizontalAdvance(text()) + 2);
        drawFocusFrame(painter, QRect(0, 0, width, qMax(2, visible)), palette().color(foregroundRole()));
    }
}

void ClickLabel::keyPressEvent(QKeyEvent* event)
{
    if (!isActivationKey(event, true)) {
        QLabel::keyPressEvent(event);
        return;
    }
    event->accept();
    emit clicked();
}

void ClickLabel::mousePressEvent(QMouseEvent* event) { click_.press(event); }

void ClickLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (click_.isClick(event, rect()))
        emit clicked();
}

VbCheckBox::VbCheckBox(const QString& caption, QWidget* parent) : QCheckBox(caption, parent)
{
    setAttribute(Qt::WA_NoMousePropagation);
    connect(this, &QCheckBox::stateChanged, this, [this] { emit valueClicked(); });
}

int VbCheckBox::value() const
{
    switch (checkState()) {
    case Qt::Checked: return 1;
    case Qt::PartiallyChecked: return 2;
    default: return 0;
    }
}

void VbCheckBox::setValue(int value)
{
    switch (value) {
    case 0: setCheckState(Qt::Unchecked); break;
    case 1: setCheckState(Qt::Checked); break;
    case 2: setCheckState(Qt::PartiallyChecked); break;
    default: break;
    }
}

void VbCheckBox::nextCheckState() { setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked); }

} // namespace talvo::login
