#include "login/logic/StartupOptions.h"

#include <string_view>

namespace talvo::login {

namespace {

bool isHostChar(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')
           || c == u'-' || c == u'.' || c == u'_';
}

bool isValidPort(std::u16string_view port)
{
    if (port.empty() || port.size() > 5)
        return false;
    long value = 0;
    for (char16_t c : port) {
        if (c < u'0' || c > u'9')
            return false;
        value = value * 10 + (c - u'0');
    }
    return value >= 1 && value <= 65535;
}

StartupOptions failure(std::u16string message)
{
    StartupOptions options;
    options.action = StartupOptions::Action::Error;
    options.error = std::move(message);
    return options;
}

} // namespace

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
            const bool hex = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f')
                             || (c >= u'A' && c <= u'F');
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

        std::u16string_view name = arg;
        std::optional<std::u16string> value;
        if (const auto eq = arg.find(u'='); arg.starts_with(u"--") && eq != std::u16string_view::npos) {
            name = arg.substr(0, eq);
            value = std::u16string(arg.substr(eq + 1));
        }
        if (name != u"--server" && name != u"--leave-url")
            return failure(u"unknown option: " + std::u16string(arg));
        if (!value) {
            if (i + 1 >= args.size())
                return failure(std::u16string(name) + u" needs a value");
            value = args[++i];
        }
        if (name == u"--server") {
            if (!isValidServerHost(*value))
                return failure(u"--server wants HOST or HOST:PORT (no scheme or path), not \""
                               + *value + u"\"");
            options.serverHost = std::move(*value);
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
    return u"Usage: talvo [--server HOST[:PORT]] [--leave-url URL]\n"
           u"\n"
           u"The edition comes from the name the program is started under: a name holding\n"
           u"\"qv\", \"norvel\" or \"mesk\" starts that edition at once; any other name shows the\n"
           u"login window.\n"
           u"\n"
           u"  --server HOST[:PORT]  application server to ask instead of the built-in one\n"
           u"  --leave-url URL       leave-message page instead of the built-in one\n"
           u"  --help                show this text and exit\n"
           u"  --version             show the version and exit\n";
}

} // namespace talvo::login
