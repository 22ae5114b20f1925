#include "../Clock.h"

#include <windows.h>

namespace talvo::platform {

LocalTime localNow()
{
    SYSTEMTIME t;
    GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

} // namespace talvo::platform
