#include "platform/gui/OffThread.h"

#include <QMetaObject>

#include <exception>
#include <mutex>
#include <thread>

#include "platform/gui/Diagnostics.h"

namespace talvo::platform {

namespace {

// What the worker and the receiver's thread share. The worker posts only while holding
// the lock and only to a receiver that is still there; the receiver's destruction clears
// it under the same lock, and takes every event still queued for it along.
struct Rendezvous {
    std::mutex mutex;
    QObject* receiver = nullptr;
    QMetaObject::Connection watch;

    void post(std::function<void()> task)
    {
        const std::lock_guard lock(mutex);
        if (receiver)
            QMetaObject::invokeMethod(receiver, std::move(task), Qt::QueuedConnection);
    }
};

} // namespace

void startOffThread(QObject* receiver, std::function<void(const UiPost& post)> work,
                    std::function<void(std::optional<WorkFailure> failure)> done)
{
    auto shared = std::make_shared<Rendezvous>();
    shared->receiver = receiver;
    // Direct: runs on the receiver's thread as it goes, before its queued events do.
    shared->watch = QObject::connect(receiver, &QObject::destroyed, [shared] {
        const std::lock_guard lock(shared->mutex);
        shared->receiver = nullptr;
    });

    std::thread([shared, work = std::move(work), done = std::move(done)]() mutable {
        const UiPost post = [shared](std::function<void()> task) { shared->post(std::move(task)); };
        std::optional<WorkFailure> failure;
        try {
            work(post);
        } catch (const std::exception& error) {
            failure = WorkFailure{QString::fromLocal8Bit(error.what())};
        } catch (...) {
            failure = WorkFailure{QStringLiteral("unknown exception")};
        }
        if (failure)
            qCWarning(lcWindows).noquote() << "worker failed: " + failure->what;
        // Posted behind every task, so they have all run when done does.
        shared->post([shared, done = std::move(done), failure = std::move(failure)]() mutable {
            QObject::disconnect(shared->watch);
            done(std::move(failure));
        });
    }).detach();
}

} // namespace talvo::platform
