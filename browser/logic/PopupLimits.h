#pragma once

#include <cstdint>
#include <optional>

namespace talvo::browserlogic {

// What pages may open, as a browser's popup blocker allows it: a new window or a hand-off to
// the system browser needs a user gesture and each gesture gives at most one; no more than
// kMaxPopups of our windows at once; hand-offs at most one a second, since each starts a
// process of the desktop's.
class PopupLimits {
public:
    static constexpr int kMaxPopups = 20;
    static constexpr std::int64_t kHandOffIntervalMs = 1000;
    // How long a key or mouse press counts as the user's wish, as the engine's own rule.
    static constexpr std::int64_t kGestureLifetimeMs = 5000;

    enum class Verdict { Allowed, NoGesture, TooManyWindows, TooSoon };

    // A key or mouse press in a view.
    void noteUserInput(std::int64_t nowMs);
    // Takes the latest press for one navigation the page started: true once per press,
    // while it is fresh.
    bool takeGesture(std::int64_t nowMs);

    // A new window of ours. userInitiated: the engine's word, which already counts one
    // window per gesture of the page's.
    static Verdict newWindow(bool userInitiated, int openPopups);
    // A hand-off to the system browser; gesture: the engine's word or takeGesture's.
    Verdict handOff(bool gesture, std::int64_t nowMs);

private:
    std::optional<std::int64_t> lastInput_;
    std::optional<std::int64_t> lastHandOff_;
};

} // namespace talvo::browserlogic
