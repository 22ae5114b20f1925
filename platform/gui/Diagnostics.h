#pragma once

#include <QLoggingCategory>

// One category for both windows, so end-to-end runs can switch their progress lines on with
// QT_LOGGING_RULES="talvo.windows.info=true"; off (warnings only) otherwise.
Q_DECLARE_LOGGING_CATEGORY(lcWindows)

namespace talvo::platform {

// One line of the start-up timeline, "startup: STEP at N ms" (since the process was
// created), so a start can be taken apart step by step (bench/app/startup.py reads them).
void logStartupStep(const char* step);

} // namespace talvo::platform
