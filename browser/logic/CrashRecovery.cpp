#include "browser/logic/CrashRecovery.h"

namespace talvo::browserlogic {

CrashRecovery::CrashRecovery(std::chrono::milliseconds window) : window_(window) { }

CrashRecovery::Response CrashRecovery::rendererGone(Clock::time_point now)
{
    if (lastAutomatic_ && now - *lastAutomatic_ < window_)
        return Response::OfferReload;
    return Response::ReloadSoon;
}

void CrashRecovery::reloadedByItself(Clock::time_point now) { lastAutomatic_ = now; }

void CrashRecovery::reloadedByUser() { lastAutomatic_.reset(); }

} // namespace talvo::browserlogic
