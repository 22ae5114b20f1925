#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace talvo::platform {

// Hands a task to the thread that waits in waitOffThread; it runs there, in order, while
// that wait lasts, and is dropped once the wait is over.
using UiPost = std::function<void(std::function<void()> task)>;

// Runs work on a worker thread while the calling thread keeps its event loop going
// (windows repaint, the browser engine carries on starting). meanwhile, if set, runs here
// once the worker is under way, before the wait. True once work has returned; false when
// the application began to quit first. The worker is then left to finish on its own:
// work must own everything it touches.
bool waitOffThread(std::function<void(const UiPost& post)> work, const std::function<void()>& meanwhile = {});

// The same for work with a result; nothing when the application quit first (or work
// threw, which a blocking request does not).
template <typename T, typename Work>
std::optional<T> runOffThread(Work work, const std::function<void()>& meanwhile = {})
{
    auto result = std::make_shared<std::optional<T>>();
    const bool done = waitOffThread(
        [result, work = std::move(work)](const UiPost& post) mutable { *result = work(post); }, meanwhile);
    if (!done)
        return std::nullopt;
    return std::move(*result);
}

} // namespace talvo::platform
