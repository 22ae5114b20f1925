#pragma once

#include <optional>
#include <string>
#include <vector>

#include "net/xmlHttp.h"

namespace talvo::loginlogic {

// What the command line may change for staging and tests; nothing else is read.
struct StartupOptions {
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    std::optional<std::u16string> serverHost; // --server HOST[:PORT]
    std::optional<std::u16string> leaveUrl;   // --leave-url URL
    std::optional<HttpLimits> httpLimits;     // --timeouts RESOLVE,CONNECT,SEND,RECEIVE (ms)
    bool devTools = false;                    // --devtools: F12 and the context menu open them
    std::u16string error;                     // for Action::Error, one line for stderr
};

// args without the program name. "--opt VALUE" and "--opt=VALUE" are both accepted;
// --help and --version win over everything after them.
StartupOptions parseStartupOptions(const std::vector<std::u16string>& args);

// A host name or address, optionally with ":PORT" (1..65535); IPv6 literals in brackets.
// No scheme, path, user part or blanks: the host is pasted between "http://" and a path.
bool isValidServerHost(std::u16string_view host);

// "RESOLVE,CONNECT,SEND,RECEIVE" in milliseconds, each 1 to 600000; nothing else.
std::optional<HttpLimits> parseTimeouts(std::u16string_view text);

std::u16string usageText();

} // namespace talvo::loginlogic
