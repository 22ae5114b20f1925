#pragma once

#include <chrono>
#include <optional>

namespace talvo::browserlogic {

// What to do when the page's render process ends abnormally: reload by itself once, and
// if the page dies again within the window after that reload, stop and let the user
// decide, so a page that kills its renderer every time cannot loop.
class CrashRecovery {
public:
    using Clock = std::chrono::steady_clock;
    enum class Response { ReloadSoon, OfferReload };

    explicit CrashRecovery(std::chrono::milliseconds window = std::chrono::seconds(30));

    // The renderer died at now.
    Response rendererGone(Clock::time_point now);
    // The automatic reload started at now.
    void reloadedByItself(Clock::time_point now);
    // The user asked for the reload: the next crash is met with an automatic reload again.
    void reloadedByUser();

private:
    std::chrono::milliseconds window_;
    std::optional<Clock::time_point> lastAutomatic_;
};

} // namespace talvo::browserlogic
