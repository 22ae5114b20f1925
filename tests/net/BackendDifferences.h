#pragma once

#include "platform/Variant.h"

// The one list of places where the two HTTP backends (libcurl on Linux, WinHTTP on
// Windows) cannot give the same result, each with the test that shows it.
namespace talvo::test {

inline constexpr bool kWinHttp =
#ifdef _WIN32
    true;
#else
    false;
#endif

// XmlHttpResult.ResetInsideTheBody: a connection reset after part of the body.
inline const Variant kResetInsideTheBody = Variant();

} // namespace talvo::test
