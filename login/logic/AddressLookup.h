#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "net/xmlHttp.h"

namespace talvo::loginlogic {

// A GET through one request object: the address in, the response body as text out
// (empty or short text when the request failed).
using GetRequest = std::function<std::u16string(const std::u16string& url)>;

// Makes a fresh request object. The check-code attempts share one; the address
// request gets its own; each is dropped as soon as its step is done.
using RequestFactory = std::function<GetRequest()>;

// Told the number (from 1) of each check-code attempt just before it is sent.
using AttemptObserver = std::function<void(int attempt)>;

inline constexpr int kCheckCodeAttempts = 11;
inline constexpr std::size_t kMinCheckCodeLength = 5;
inline constexpr std::u16string_view kAddressMarker = u"mireth_url:";

// Requests through a new xmlHttp object with the given time limits.
RequestFactory xmlHttpRequests(HttpLimits limits = {});

// text without the ASCII white space (tab, line feed, form feed, carriage return, space)
// at either end; white space inside and any other blank character stay.
std::u16string trimAsciiWhiteSpace(std::u16string_view text);

// The address in an answer of the address request, or empty text: the answer must hold
// "mireth_url" and be longer than 5 characters; every "mireth_url:" is cut out, ASCII
// white space at both ends of what remains is dropped, and the rest counts unless it is
// exactly "null" and is a well-formed address (see isWellFormedAddress).
std::u16string addressFromResponse(std::u16string_view response);

inline constexpr std::size_t kMaxAddressLength = 2048;

// True when address reads host[:port][/path] and nothing else: at most 2,048 characters,
// no blanks or control characters anywhere, a host of letters, digits, "-" and "." (or a
// bracketed IPv6 literal), a port of 1 to 5 digits up to 65535, a path starting with "/";
// no scheme, no user part, no backslash, no "?" or "#" before the path.
bool isWellFormedAddress(std::u16string_view address);

// Asks the application server where the web application for a member code lives.
class AddressLookup {
public:
    explicit AddressLookup(RequestFactory requests = xmlHttpRequests());

    // Up to 11 check-code requests in a row, no pause; the first answer of 5 or more
    // characters is the code. Empty text when none came.
    std::u16string getCheckCode(std::u16string_view serverHost, const AttemptObserver& onAttempt = {}) const;

    // The check code first (no address request without one), then the address of the
    // member code's web application, or empty text.
    std::u16string getVisitUrl(std::u16string_view serverHost, std::u16string_view member,
                               const AttemptObserver& onAttempt = {}) const;

private:
    RequestFactory requests_;
};

} // namespace talvo::loginlogic
