#include "login/logic/StartupOptions.h"

#include <string_view>

#include "login/logic/HostPort.h"

namespace talvo::loginlogic {

namespace {

bool isHostChar(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-' || c == u'.'
        || c == u'_';
}

StartupOptions failure(std::u16string message)
{
    StartupOptions options;
    options.action = StartupOptions::Action::Error;
    options.error = std::move(message);
    return options;
}

} // namespace

std::optional<HttpLimits> parseTimeouts(std::u16string_view text)
{
    std::chrono::milliseconds values[4];
    std::size_t count = 0;
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = text.find(u',', from);
        const std::u16string_view field = text.substr(from,
                                                      comma == std::u16string_view::npos ? text.npos : comma - from);
        if (count == 4 || field.empty() || field.size() > 6)
            return std::nullopt;
        long value = 0;
        for (char16_t c : field) {
            if (c < u'0' || c > u'9')
                return std::nullopt;
            value = value * 10 + (c - u'0');
        }
        if (value < 1 || value > 600000)
            return std::nullopt;
        values[count++] = std::chrono::milliseconds(value);
        if (comma == std::u16string_view::npos)
            break;
        from = comma + 1;
    }
    if (count != 4)
        return std::nullopt;
    HttpLimits limits;
    limits.resolve = values[0];
    limits.connect = values[1];
    limits.send = values[2];
    limits.receive = values[3];
    return limits;
}

bool isValidServerHost(std::u16string_view host)
{
    std::u16string_view name = host;
    std::u16string_view port;
    bool hasPort = false;
    if (!host.empty() && host.front() == u'[') {
        const auto close = host.find(u']');
        if (close == std::u16string_view::npos || close < 2)
            return false;
        for (char16_t c : host.substr(1, close - 1)) {
            const bool hex = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
            if (!hex && c != u':' && c != u'.')
                return false;
        }
        std::u16string_view after = host.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != u':')
                return false;
            hasPort = true;
            port = after.substr(1);
        }
        return !hasPort || isValidPort(port);
    }
    if (const auto colon = host.find(u':'); colon != std::u16string_view::npos) {
        name = host.substr(0, colon);
        port = host.substr(colon + 1);
        hasPort = true;
    }
    if (name.empty() || name.size() > 253)
        return false;
    for (char16_t c : name) {
        if (!isHostChar(c))
            return false;
    }
    return !hasPort || isValidPort(port);
}

StartupOptions parseStartupOptions(const std::vector<std::u16string>& args)
{
    StartupOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::u16string_view arg = args[i];
        if (arg == u"--help" || arg == u"-h") {
            options.action = StartupOptions::Action::Help;
            return options;
        }
        if (arg == u"--version") {
            options.action = StartupOptions::Action::Version;
            return options;
        }

        if (arg == u"--devtools") {
            options.devTools = true;
            continue;
        }

        std::u16string_view name = arg;
        std::optional<std::u16string> value;
        if (const auto eq = arg.find(u'='); arg.starts_with(u"--") && eq != std::u16string_view::npos) {
            name = arg.substr(0, eq);
            value = std::u16string(arg.substr(eq + 1));
        }
        if (name != u"--server" && name != u"--leave-url" && name != u"--timeouts")
            return failure(u"unknown option: " + std::u16string(arg));
        if (!value) {
            if (i + 1 >= args.size())
                return failure(std::u16string(name) + u" needs a value");
            value = args[++i];
        }
        if (name == u"--server") {
            if (!isValidServerHost(*value))
                return failure(u"--server wants HOST or HOST:PORT (no scheme or path), not \"" + *value + u"\"");
            options.serverHost = std::move(*value);
        } else if (name == u"--timeouts") {
            options.httpLimits = parseTimeouts(*value);
            if (!options.httpLimits)
                return failure(u"--timeouts wants RESOLVE,CONNECT,SEND,RECEIVE in milliseconds (1 to 600000), not \""
                               + *value + u"\"");
        } else {
            if (value->empty())
                return failure(u"--leave-url needs a non-empty address");
            options.leaveUrl = std::move(*value);
        }
    }
    return options;
}

std::u16string usageText()
{
    return u"Usage: talvo [--server HOST[:PORT]] [--leave-url URL] [--timeouts R,C,S,RECV] [--devtools]\n"
           u"\n"
           u"The edition comes from the name the program is started under: a name holding\n"
           u"\"qv\", \"norvel\" or \"mesk\" starts that edition at once; any other name shows the\n"
           u"login window.\n"
           u"\n"
           u"  --server HOST[:PORT]  application server to ask instead of the built-in one\n"
           u"  --leave-url URL       leave-message page instead of the built-in one\n"
           u"  --timeouts R,C,S,RECV server request limits in milliseconds for name\n"
           u"                        resolution, connect, send and receive (staging and\n"
           u"                        tests; default 1000,10000,10000,10000)\n"
           u"  --devtools            let F12 and the page's context menu open the browser's\n"
           u"                        developer tools (for the web application's developers)\n"
           u"  --help                show this text and exit\n"
           u"  --version             show the version and exit\n";
}

} // namespace talvo::loginlogic
