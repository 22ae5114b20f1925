#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "platform/Variant.h"

namespace talvo {

// Time and size limits of one request. The defaults are the product's; tests shorten them.
struct HttpLimits {
    std::chrono::milliseconds resolve{1000}, connect{10000}, send{10000}, receive{10000};
    std::size_t maxBodyBytes = 16u << 20;    // larger bodies are a failure
    std::chrono::milliseconds total() const; // resolve + connect + send + receive
};

// The one way the client talks to its servers: a blocking HTTP request on the calling
// thread (no events are processed meanwhile), and the byte-to-text decoding it uses.
//
// SmsXmlHttp(act, Url, para) draws N = int(r * 10000) from the process random sequence
// and requests Url + "?rnm=" + N + "&" + para, the suffix always appended, even when Url
// already has a query. It never throws. The result:
//   - the body decoded as UTF-8 (invalid sequences become U+FFFD, a leading byte-order
//     mark is dropped) whatever the status code: a 404 page comes back as its HTML;
//   - the text "null" when the server ended the exchange before the response was
//     complete: the connection closed inside the headers, short of the announced length
//     or before the last chunk;
//   - no value on any failure: malformed address or one without a host, a scheme other
//     than http/https, a method that is not an HTTP token, a name not resolved, a refused
//     or timed-out connection, a phase over its limit, a connection closed without any
//     reply or reset, a reply that is not HTTP, a body over maxBodyBytes;
//   - the undecoded body as a byte array if decoding itself fails.
//
// Limits, each phase bounded on its own: resolving the name (resolve), then connecting,
// TLS included (connect), then writing the request (send), then waiting for the response,
// where every header line or body chunk restarts the clock (receive: a server silent for
// that long is given up). Beyond those, the whole request never takes longer than
// total(), so a server that drips a byte every few seconds cannot hold the caller for
// ever; redirects are followed within that same budget. A body over maxBodyBytes is
// refused as soon as it is announced or grows past the cap, never buffered without end.
//
// Redirects are followed to http and https addresses only, at most 10; one to anywhere
// else, or an 11th, is a failure.
//
// The method: GET, HEAD, POST, PUT, DELETE and OPTIONS are matched in any letter case and
// sent upper-case ("Get" goes out as GET); any other token is sent as given.
// The address: sent as UTF-8 with bytes >= 0x80, spaces and control characters
// percent-escaped; everything else, existing "%XX" escapes included, goes out unchanged.
// Proxy settings: the usual environment variables on Linux (libcurl); the system's on
// Windows (WinHTTP): the user's Internet Options proxy and bypass list, else WinHTTP's
// automatic detection and configuration scripts (Windows 8.1 on).
//
// Where WinHTTP cannot tell two endings apart (it does not say how a body or the headers
// ended), the Windows backend answers differently from the Linux one:
//   - closed before the last chunk: the chunks that came, as a complete body, not "null";
//   - closed inside the headers: an empty text (the close read as the end of headers and
//     of a body without length), not "null".
// A close short of an announced Content-Length is "null" on both. On Windows the
// response headers must also arrive within receive as a whole (WinHTTP has no per-line
// clock for them); the body keeps the per-chunk clock.
class xmlHttp {
public:
    explicit xmlHttp(HttpLimits limits = {});

    Variant SmsXmlHttp(const std::u16string& act, const std::u16string& Url, const std::u16string& para);

    // strBody (a byte array) read as text in the character set named by CodeBase: "UTF-8"
    // (letter case, "-" and "_" ignored; a leading byte-order mark dropped) by our own code;
    // other names, on Linux any name or alias ICU knows (case, "-" and "_" ignored), on
    // Windows the names platform::Charset maps to Windows code pages (case ignored). Undecodable
    // bytes become replacement characters. Throws RuntimeError (5, invalid argument) when
    // strBody is not a byte array, CodeBase is not text or names no known character set,
    // and (6, overflow) for a body too large to convert.
    Variant BytesToBstr(const Variant& strBody, const Variant& CodeBase);

private:
    HttpLimits limits_;
};

} // namespace talvo
