#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace talvo::demo {

// How the demo application server runs, and how it misbehaves on purpose for tests.
// The misbehaviours touch the three service paths only, so the pages keep working.
struct DemoOptions {
    int port = 0;                       // 0: pick a free port
    bool autoSignIn = false;            // the login page signs in by itself after ~1 s
    int shortCheckCodes = 0;            // the first K check-code requests get "err"
    bool noAddress = false;             // geturl answers "mireth_url:null"
    std::chrono::milliseconds delay{0}; // before every service answer
    bool silent = false;                // accept, never answer (until the server stops)
    std::chrono::milliseconds drip{0};  // body one byte at a time, this far apart (0: off)
    bool closeMidBody = false;          // announce the length, send part, close
    bool notFound = false;              // 404 with an HTML page
    bool invalidUtf8 = false;           // bodies carry invalid UTF-8 bytes
    bool hugeBody = false;              // the contact answer is over 16 MiB, streamed
    bool longContact = false;           // the contact answer runs to a few thousand characters
    bool lineEnds = false;              // every service answer ends in "\r\n"
    // The web application on a port of its own, which /demo/app-down and /demo/app-up stop
    // and start again while the services stay up.
    bool appSwitch = false;
    // Also serve over HTTPS with this certificate and key (PEM files), on a port of its own.
    std::string tlsCert;
    std::string tlsKey;
    bool loginOverTls = false;    // the login page redirects to its HTTPS address
    bool permissionProbe = false; // the login page redirects to a page that asks for
                                  // notifications, location, camera, clipboard, full screen
    std::string publicHost;       // the host name the address service gives out
                                  // (a name only a proxy resolves); 127.0.0.1 if empty
    bool help = false;
};

struct ParsedOptions {
    std::optional<DemoOptions> options; // nothing when the command line is wrong
    std::string error;                  // why, for people
};

ParsedOptions parseOptions(const std::vector<std::string>& args);

std::string usage(const std::string& program);

} // namespace talvo::demo
