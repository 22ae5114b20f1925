#include "demo/DemoOptions.h"

#include <charconv>
#include <limits>

namespace talvo::demo {

namespace {

std::optional<long long> wholeNumber(const std::string& text, long long max)
{
    long long value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || value < 0 || value > max)
        return std::nullopt;
    return value;
}

} // namespace

ParsedOptions parseOptions(const std::vector<std::string>& args)
{
    DemoOptions options;
    ParsedOptions parsed;
    const auto fail = [&parsed](std::string why) {
        parsed.error = std::move(why);
        return parsed;
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        // Options that take a number: "--name N" or "--name=N".
        const auto number = [&](const std::string& name, long long max) -> std::optional<long long> {
            std::string text;
            if (arg == name) {
                if (i + 1 >= args.size())
                    return std::nullopt;
                text = args[++i];
            } else {
                text = arg.substr(name.size() + 1);
            }
            return wholeNumber(text, max);
        };
        const auto is = [&arg](const std::string& name) { return arg == name || arg.rfind(name + "=", 0) == 0; };

        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (is("--port")) {
            const auto value = number("--port", 65535);
            if (!value)
                return fail("--port needs a port number from 0 to 65535");
            options.port = static_cast<int>(*value);
        } else if (is("--short-check-codes")) {
            const auto value = number("--short-check-codes", std::numeric_limits<int>::max());
            if (!value)
                return fail("--short-check-codes needs a count (0 or more)");
            options.shortCheckCodes = static_cast<int>(*value);
        } else if (is("--delay-ms")) {
            const auto value = number("--delay-ms", 600000);
            if (!value)
                return fail("--delay-ms needs milliseconds from 0 to 600000");
            options.delay = std::chrono::milliseconds(*value);
        } else if (is("--drip-ms")) {
            const auto value = number("--drip-ms", 60000);
            if (!value || *value == 0)
                return fail("--drip-ms needs milliseconds from 1 to 60000");
            options.drip = std::chrono::milliseconds(*value);
        } else if (arg == "--auto-sign-in") {
            options.autoSignIn = true;
        } else if (arg == "--no-address") {
            options.noAddress = true;
        } else if (arg == "--silent") {
            options.silent = true;
        } else if (arg == "--close-mid-body") {
            options.closeMidBody = true;
        } else if (arg == "--not-found") {
            options.notFound = true;
        } else if (arg == "--invalid-utf8") {
            options.invalidUtf8 = true;
        } else if (arg == "--huge-body") {
            options.hugeBody = true;
        } else if (arg == "--long-contact") {
            options.longContact = true;
        } else if (arg == "--line-ends") {
            options.lineEnds = true;
        } else if (arg == "--app-switch") {
            options.appSwitch = true;
        } else if (arg == "--login-over-tls") {
            options.loginOverTls = true;
        } else if (arg == "--permission-probe") {
            options.permissionProbe = true;
        } else if (arg == "--public-host" && i + 1 < args.size()) {
            options.publicHost = args[++i];
        } else if ((arg == "--tls-cert" || arg == "--tls-key") && i + 1 < args.size()) {
            (arg == "--tls-cert" ? options.tlsCert : options.tlsKey) = args[++i];
        } else {
            return fail("unknown option: " + arg);
        }
    }
    if (options.tlsCert.empty() != options.tlsKey.empty())
        return fail("--tls-cert and --tls-key go together");
    if (options.loginOverTls && options.tlsCert.empty())
        return fail("--login-over-tls needs --tls-cert and --tls-key");
    parsed.options = options;
    return parsed;
}

std::string usage(const std::string& program)
{
    return "Usage: " + program
        + " [options]\n"
          "The demo application server and web application, on 127.0.0.1.\n"
          "Prints \"listening on 127.0.0.1:PORT\", then one line per request received.\n"
          "\n"
          "  --port N                 listen on port N (0, the default: a free port)\n"
          "  --auto-sign-in           the login page signs in by itself after about 1 s\n"
          "\n"
          "Misbehaviour of the three service requests (pages keep working):\n"
          "  --short-check-codes K    answer the first K check-code requests with \"err\"\n"
          "  --no-address             answer every address request with \"mireth_url:null\"\n"
          "  --delay-ms N             wait N ms before every service answer\n"
          "  --silent                 accept service requests and never answer them\n"
          "  --drip-ms N              send service bodies one byte every N ms\n"
          "  --close-mid-body         announce the body length, send part of it, close\n"
          "  --not-found              answer 404 with an HTML page\n"
          "  --invalid-utf8           put invalid UTF-8 bytes into the bodies\n"
          "  --huge-body              answer the contact request with over 16 MiB, streamed\n"
          "  --long-contact           answer the contact request with a few thousand characters\n"
          "  --line-ends              end every service answer with a CR LF line end\n"
          "\n"
          "Failures underneath the pages:\n"
          "  --app-switch             serve the web application on a port of its own\n"
          "                           (\"application on 127.0.0.1:PORT\"); GET /demo/app-down\n"
          "                           stops it, GET /demo/app-up starts it again\n"
          "  --tls-cert FILE --tls-key FILE\n"
          "                           also serve over HTTPS (\"tls listening on 127.0.0.1:PORT\")\n"
          "  --login-over-tls         the login page redirects to its HTTPS address\n"
          "  --permission-probe       the login page redirects to /demo/permissions, which asks\n"
          "                           for notifications, location, camera and microphone and\n"
          "                           reports each answer as GET /demo/report?...\n"
          "  --public-host NAME       the address service names the application NAME:PORT\n"
          "                           (a name only a proxy resolves) instead of 127.0.0.1\n"
          "\n"
          "  --help                   this text\n"
          "Stops on SIGTERM or SIGINT.\n";
}

} // namespace talvo::demo
