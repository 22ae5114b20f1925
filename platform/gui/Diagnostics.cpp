#include "platform/gui/Diagnostics.h"

Q_LOGGING_CATEGORY(lcWindows, "talvo.windows", QtWarningMsg)

#include "platform/Clock.h"

namespace talvo::platform {

void logStartupStep(const char* step)
{
    qCInfo(lcWindows, "startup: %s at %lld ms", step, millisecondsSinceProcessStart());
}

} // namespace talvo::platform
