#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <variant>

namespace talvo::platform {

// What went wrong on a worker: the text of the exception it threw.
struct WorkFailure {
    QString what;
};

// Hands a task from the worker to the receiver's thread; tasks run there, queued and in
// order, and only while the receiver is there.
using UiPost = std::function<void(std::function<void()> task)>;

// Starts work on a worker thread and returns at once: the calling thread keeps its one
// event loop (windows repaint, the browser engine carries on starting). done runs on the
// receiver's thread after every task work posted, with no value when work returned or
// with what it threw (also written to the diagnostics log). Nothing runs once receiver
// has gone; the worker is then left to finish on its own, so work must own everything it
// touches.
void startOffThread(QObject* receiver, std::function<void(const UiPost& post)> work,
                    std::function<void(std::optional<WorkFailure> failure)> done);

// The same for work with a result: done gets the result or the failure.
template<typename T, typename Work>
void runOffThread(QObject* receiver, Work work, std::function<void(std::variant<T, WorkFailure> outcome)> done)
{
    auto result = std::make_shared<std::optional<T>>();
    startOffThread(
        receiver, [result, work = std::move(work)](const UiPost& post) mutable { *result = work(post); },
        [result, done = std::move(done)](std::optional<WorkFailure> failure) {
            if (failure || !*result)
                done(failure ? std::move(*failure) : WorkFailure{QStringLiteral("no result")});
            else
                done(std::move(**result));
        });
}

} // namespace talvo::platform
