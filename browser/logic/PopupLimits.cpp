#include "browser/logic/PopupLimits.h"

namespace talvo::browserlogic {

void PopupLimits::noteUserInput(std::int64_t nowMs) { lastInput_ = nowMs; }

bool PopupLimits::takeGesture(std::int64_t nowMs)
{
    if (!lastInput_ || nowMs < *lastInput_ || nowMs - *lastInput_ > kGestureLifetimeMs)
        return false;
    lastInput_.reset();
    return true;
}

PopupLimits::Verdict PopupLimits::newWindow(bool userInitiated, int openPopups)
{
    if (!userInitiated)
        return Verdict::NoGesture;
    if (openPopups >= kMaxPopups)
        return Verdict::TooManyWindows;
    return Verdict::Allowed;
}

PopupLimits::Verdict PopupLimits::handOff(bool gesture, std::int64_t nowMs)
{
    if (!gesture)
        return Verdict::NoGesture;
    if (lastHandOff_ && nowMs >= *lastHandOff_ && nowMs - *lastHandOff_ < kHandOffIntervalMs)
        return Verdict::TooSoon;
    lastHandOff_ = nowMs;
    return Verdict::Allowed;
}

} // namespace talvo::browserlogic
