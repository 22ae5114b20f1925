// A stand-in for a program start, for the single-instance tests:
//   talvo_guard_probe FOLDER KEY LINGER_MS
// prints "primary" or "secondary"; a secondary asks the primary to come forward and
// prints "asked" or "unanswered"; a primary stays LINGER_MS and prints "activated" for
// every request it gets.
#include <QCoreApplication>
#include <QTimer>
#include <cstdio>

#include "platform/gui/SingleInstanceGuard.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fputs("usage: talvo_guard_probe FOLDER KEY LINGER_MS\n", stderr);
        return 2;
    }
    talvo::platform::SingleInstanceGuard guard(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[1]));
    if (!guard.tryAcquire()) {
        std::puts("secondary");
        std::puts(guard.askRunningToActivate(3000) ? "asked" : "unanswered");
        return 0;
    }
    std::puts("primary");
    std::fflush(stdout);
    QObject::connect(&guard, &talvo::platform::SingleInstanceGuard::activationRequested, [] {
        std::puts("activated");
        std::fflush(stdout);
    });
    QTimer::singleShot(QString::fromLocal8Bit(argv[3]).toInt(), &app, &QCoreApplication::quit);
    return app.exec();
}
