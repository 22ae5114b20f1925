#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "demo/DemoOptions.h"

namespace talvo::demo {

// The demo application server on 127.0.0.1: the check-code, address and contact
// services, the demo web application, and the title queue tests drive the pages with.
// Every request except the pages' title polls is written to the log as
// "METHOD /raw/target?query", one line, flushed at once.
class DemoServer {
public:
    DemoServer(DemoOptions options, std::FILE* log);
    ~DemoServer();
    DemoServer(const DemoServer&) = delete;
    DemoServer& operator=(const DemoServer&) = delete;

    // Binds 127.0.0.1 at the configured port (0: a free one). The port, or -1.
    int bind();

    // Serves until stop(); false when it could not serve at all.
    bool serve();

    // From any thread: ends serve() and releases requests held on purpose.
    void stop();

    // After bind(): the web application's own port with --app-switch, the HTTPS port with
    // a certificate; -1 without.
    int appPort() const;
    int tlsPort() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The value of key in the query of a raw request target, read leniently: from after
// "key=" up to the first "&" (so "member=qv1&rnm=1?rnm=2&" gives "qv1"), percent-escapes
// and "+" decoded. Nothing found gives an empty text.
std::string queryValue(std::string_view target, std::string_view key);

// The edition a page's "cp" names: "1" Alderan, "9" Birsel, "0" Cedrow, otherwise "未知版本".
std::string editionName(std::string_view cp);

// Text made safe to place inside HTML text or a quoted attribute.
std::string htmlEscape(std::string_view text);

} // namespace talvo::demo
