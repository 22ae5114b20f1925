#include "platform/gui/OffThread.h"

#include <QEventLoop>
#include <QMetaObject>

#include <exception>
#include <mutex>
#include <thread>

namespace talvo::platform {

namespace {

// What the worker and the waiting thread share. The worker posts only while holding the
// lock and only to a loop that is still there, so nothing reaches a loop that has gone.
struct Rendezvous {
    std::mutex mutex;
    QEventLoop* loop = nullptr;
    bool finished = false;
};

} // namespace

bool waitOffThread(std::function<void(const UiPost& post)> work, const std::function<void()>& meanwhile)
{
    QEventLoop loop;
    auto shared = std::make_shared<Rendezvous>();
    shared->loop = &loop;

    std::thread([shared, work = std::move(work)] {
        const UiPost post = [shared](std::function<void()> task) {
            const std::lock_guard lock(shared->mutex);
            if (shared->loop)
                QMetaObject::invokeMethod(shared->loop, std::move(task), Qt::QueuedConnection);
        };
        try {
            work(post);
        } catch (const std::exception&) {
            // Counts as finished; the caller sees no result.
        }
        const std::lock_guard lock(shared->mutex);
        shared->finished = true;
        // Posted behind every task, so the tasks have all run when the wait ends.
        if (shared->loop)
            QMetaObject::invokeMethod(shared->loop, &QEventLoop::quit, Qt::QueuedConnection);
    }).detach();

    if (meanwhile)
        meanwhile();
    // Returns at once when the application is already quitting.
    loop.exec();

    const std::lock_guard lock(shared->mutex);
    shared->loop = nullptr;
    return shared->finished;
}

} // namespace talvo::platform
