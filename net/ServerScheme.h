#pragma once

#include <string_view>

namespace talvo {

// How the client reaches its application server and web application: "http://" unless the
// build chose https (TALVO_SERVER_SCHEME in CMake). Plain HTTP lets anyone on the path read
// the session and redirect the address lookup; see the README.
#if TALVO_SERVER_SCHEME_HTTPS
inline constexpr std::u16string_view kServerScheme = u"https://";
#else
inline constexpr std::u16string_view kServerScheme = u"http://";
#endif

} // namespace talvo
