#include "login/StartupSplash.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

namespace talvo::login {

StartupSplash::StartupSplash() : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setWindowTitle(QStringLiteral("Talvo"));
    setFixedSize(280, 72);
    setAttribute(Qt::WA_OpaquePaintEvent);
    QFont f = font();
    f.setPixelSize(14);
    setFont(f);
}

void StartupSplash::showAttempt(int attempt)
{
    attempt_ = attempt;
    if (!isVisible()) {
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect area = screen->geometry();
            move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
        }
        show();
    }
    repaint();
}

void StartupSplash::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0xF4, 0xF7, 0xFB));
    painter.setPen(QColor(0x5B, 0x7D, 0xB1));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    painter.setPen(palette().color(QPalette::WindowText));
    const QRect text = rect().adjusted(12, 10, -12, -10);
    painter.drawText(text, Qt::AlignLeft | Qt::AlignTop, QString::fromUtf16(u"正在连接服务器…"));
    if (attempt_ > 0) {
        QFont small = font();
        small.setPixelSize(12);
        painter.setFont(small);
        painter.setPen(QColor(0x60, 0x60, 0x60));
        painter.drawText(text, Qt::AlignLeft | Qt::AlignBottom, QString::fromUtf16(u"第 %1 次尝试").arg(attempt_));
    }
}

} // namespace talvo::login
