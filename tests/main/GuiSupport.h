#pragma once

#include <QApplication>
#include <QEventLoop>
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
