#include "platform/gui/Diagnostics.h"

Q_LOGGING_CATEGORY(lcWindows, "talvo.windows", QtWarningMsg)
