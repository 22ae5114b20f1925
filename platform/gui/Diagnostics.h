#pragma once

#include <QLoggingCategory>

// One category for both windows, so end-to-end runs can switch their progress lines on with
// QT_LOGGING_RULES="talvo.windows.info=true"; off (warnings only) otherwise.
Q_DECLARE_LOGGING_CATEGORY(lcWindows)
