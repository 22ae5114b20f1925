#pragma once

#include "platform/Variant.h"

// The one list of places where the two HTTP backends (libcurl on Linux, WinHTTP on
// Windows) cannot give the same result, each with the test that shows it. The WinHTTP
// values are what its tests see here, under Wine 8; Windows' own WinHTTP is not run here.
namespace talvo::test {

inline constexpr bool kWinHttp =
#ifdef _WIN32
    true;
#else
    false;
#endif

// XmlHttpResult.HowEachKindOfReplyEnds, "closed before the last chunk": WinHTTP ends a
// chunked body at the close without saying whether the last chunk came, so the chunks
// that did come are the body.
inline const Variant kClosedBeforeTheLastChunk = kWinHttp ? Variant(u"hello") : Variant(u"null");

// XmlHttpResult.HowEachKindOfReplyEnds, "closed inside the headers" and "closed after
// the status line": WinHTTP takes the close as the end of the headers, and a body with no
// length ends at the close, so this reads as a complete, empty response.
inline const Variant kClosedInsideTheHeaders = kWinHttp ? Variant(u"") : Variant(u"null");

} // namespace talvo::test
