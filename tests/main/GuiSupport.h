#pragma once

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include <functional>

#include "main/LoginView.h"

namespace talvo::browser {
class WarmUp;
}

// The browser profile every window of the test program is built on.
talvo::browser::WarmUp& testBrowser();

// What the login window would tell the main window.
struct FakeLogin : talvo::LoginView {
    QString title, member, visit, leave;
    QString editionTitle() const override { return title; }
    QString memberCode() const override { return member; }
    QString visitUrl() const override { return visit; }
    QString leaveUrl() const override { return leave; }
};

// The talvo.windows lines logged so far in this process.
QStringList& windowLog();
// Installs the recorder and switches the category's info lines on.
void recordWindowLog();
int countLines(const QString& line);

// Waits in a real event loop until done() holds or timeoutMs passes. (QTest::qWaitFor
// sleeps between rounds, which starves WebEngine's own work on this thread.)
inline bool waitFor(const std::function<bool()>& done, int timeoutMs = 15000)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    poll.start();
    loop.exec();
    return done();
}

// Lets the event loop run for ms milliseconds.
inline void pause(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Answers every message box that opens, by the text of the button to press, and
// remembers what each box said. Polls from the event loop, so it also answers the
// boxes that open inside event handlers.
class BoxAnswerer : public QObject {
public:
    struct Seen {
        QString caption, text;
        QStringList buttons;
        QString defaultButton;
        QMessageBox::Icon icon;
    };

    explicit BoxAnswerer(QStringList answers, int delayMs = 0) : answers_(std::move(answers)), delayMs_(delayMs)
    {
        timer_.setInterval(20);
        connect(&timer_, &QTimer::timeout, this, &BoxAnswerer::poll);
        timer_.start();
    }

    QList<Seen> seen;

private:
    void poll()
    {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (!box || !box->isVisible() || box->property("answered").toBool())
                continue;
            // Marked on the box itself: a later box may well reuse this one's address.
            box->setProperty("answered", true);
            Seen s{box->windowTitle(), box->text(), {}, {}, box->icon()};
            for (QAbstractButton* button : box->buttons())
                s.buttons << button->text();
            if (box->defaultButton())
                s.defaultButton = box->defaultButton()->text();
            seen.append(s);
            const QString answer = answers_.isEmpty() ? QString() : answers_.takeFirst();
            for (QAbstractButton* button : box->buttons())
                if (button->text() == answer) {
                    // Clicked from the event loop, after exec() has started.
                    QTimer::singleShot(delayMs_, button, &QAbstractButton::click);
                    break;
                }
        }
    }

    QStringList answers_;
    int delayMs_;
    QTimer timer_;
};
