#pragma once

#include <string>

#include "net/xmlHttp.h"

// One HTTP exchange on the platform's own HTTP stack (net/linux, net/windows; CMake
// picks the file). What goes in and what the result means is decided in xmlHttp.cpp.
namespace talvo::net {

enum class Outcome {
    Failed,     // no usable reply: refused, timed out, reset, not HTTP, over a limit
    Incomplete, // the server ended the exchange before the response was complete
    Complete,   // headers and the whole body arrived
};

struct Exchange {
    Outcome outcome = Outcome::Failed;
    std::string body;
};

// The User-Agent every backend sends.
inline constexpr const char* kUserAgent = "Talvo/1.0";

// method: an HTTP token, well-known ones upper-cased; url: ASCII, unsafe bytes escaped
// (see WireForm.h). Each phase within its limit, the whole within limits.total(),
// redirects (http and https only, at most 10) within that same budget.
Exchange performRequest(const std::string& method, const std::string& url, const HttpLimits& limits);

} // namespace talvo::net
