#include "browser/logic/ProxySettings.h"

#include <algorithm>
#include <charconv>

namespace talvo::browserlogic {

namespace {

std::string lower(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return out;
}

std::string_view trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
        text.remove_suffix(1);
    return text;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string percentDecoded(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 && hexDigit(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2])));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::optional<std::string> variable(const EnvironmentLookup& lookup, const char* lowerName, const char* upperName)
{
    for (const char* name : {lowerName, upperName}) {
        if (auto value = lookup(name); value && !trim(*value).empty())
            return std::string(trim(*value));
    }
    return std::nullopt;
}

// The engine reads its switches from one blank-separated line and its proxy rules with
// ";", "=" and "," as separators: a value that could split there would add switches or rules
// of its own. Blanks, control characters, quotes and backslashes belong in no address, so
// such a value is refused whole; hosts and ports are held to their own characters besides.
bool safeInSwitches(std::string_view text)
{
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7F || c == '"' || c == '\'' || c == '\\' || c == '`')
            return false;
    }
    return true;
}

bool isHostCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
}

bool isIpv6Character(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || c == ':' || c == '.'; }

// A no_proxy entry the engine can take as one bypass rule: a name or address, perhaps with
// a leading "*" or ".", a port, or a CIDR range.
bool isBypassEntry(std::string_view entry)
{
    if (!safeInSwitches(entry))
        return false;
    for (const char c : entry)
        if (!isHostCharacter(c) && c != '*' && c != ':' && c != '/' && c != '[' && c != ']')
            return false;
    return true;
}

std::string hostPort(const ProxyServer& proxy)
{
    const bool ipv6 = proxy.host.find(':') != std::string::npos;
    // Without its scheme an https proxy would be spoken to in plain text.
    const std::string scheme = proxy.scheme == "https" ? "https://" : "";
    return scheme + (ipv6 ? "[" + proxy.host + "]" : proxy.host) + ":" + std::to_string(proxy.port);
}

} // namespace

std::optional<ProxyServer> parseProxyAddress(std::string_view address)
{
    address = trim(address);
    if (!safeInSwitches(address))
        return std::nullopt;
    ProxyServer proxy;
    proxy.scheme = "http";
    if (const auto at = address.find("://"); at != std::string_view::npos) {
        proxy.scheme = lower(address.substr(0, at));
        address.remove_prefix(at + 3);
    }
    if (proxy.scheme != "http" && proxy.scheme != "https")
        return std::nullopt;
    proxy.port = proxy.scheme == "https" ? 443 : 80;
    // Host and port end at the path, if any.
    address = address.substr(0, address.find('/'));
    if (const auto at = address.rfind('@'); at != std::string_view::npos) {
        const std::string_view userInfo = address.substr(0, at);
        address.remove_prefix(at + 1);
        const auto colon = userInfo.find(':');
        proxy.user = percentDecoded(userInfo.substr(0, colon));
        if (colon != std::string_view::npos)
            proxy.password = percentDecoded(userInfo.substr(colon + 1));
    }
    std::string_view host = address;
    std::string_view port;
    if (!address.empty() && address.front() == '[') {
        const auto close = address.find(']');
        if (close == std::string_view::npos)
            return std::nullopt;
        host = address.substr(1, close - 1);
        const std::string_view rest = address.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':')
                return std::nullopt;
            port = rest.substr(1);
        }
    } else if (const auto colon = address.rfind(':'); colon != std::string_view::npos) {
        host = address.substr(0, colon);
        port = address.substr(colon + 1);
    }
    if (host.empty())
        return std::nullopt;
    proxy.host = lower(host);
    const bool ipv6 = address.front() == '[';
    for (const char c : proxy.host)
        if (ipv6 ? !isIpv6Character(c) : !isHostCharacter(c))
            return std::nullopt;
    if (!port.empty()) {
        int value = 0;
        const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (error != std::errc() || end != port.data() + port.size() || value < 1 || value > 65535)
            return std::nullopt;
        proxy.port = value;
    }
    return proxy;
}

EnvironmentProxies proxiesFromEnvironment(const EnvironmentLookup& lookup)
{
    EnvironmentProxies proxies;
    if (auto value = variable(lookup, "http_proxy", "HTTP_PROXY"))
        proxies.http = parseProxyAddress(*value);
    if (auto value = variable(lookup, "https_proxy", "HTTPS_PROXY"))
        proxies.https = parseProxyAddress(*value);
    if (auto value = variable(lookup, "no_proxy", "NO_PROXY")) {
        std::string_view rest = *value;
        while (!rest.empty()) {
            const auto comma = rest.find(',');
            const std::string_view entry = trim(rest.substr(0, comma));
            // An entry that could split into more rules is dropped, never passed on.
            if (!entry.empty() && isBypassEntry(lower(entry)))
                proxies.noProxy.push_back(lower(entry));
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        }
    }
    return proxies;
}

std::vector<std::string> engineProxySwitches(const EnvironmentProxies& proxies)
{
    if (!proxies.any())
        return {};
    if (std::find(proxies.noProxy.begin(), proxies.noProxy.end(), "*") != proxies.noProxy.end())
        return {"--no-proxy-server"};
    std::string servers;
    if (proxies.http)
        servers += "http=" + hostPort(*proxies.http);
    if (proxies.https)
        servers += (servers.empty() ? "" : ";") + std::string("https=") + hostPort(*proxies.https);
    // The engine skips loopback addresses on its own; the service requests do not.
    std::string bypass = "<-loopback>";
    for (const std::string& entry : proxies.noProxy) {
        // no_proxy's "example.com" and ".example.com" both mean the domain and every host in it.
        const std::string domain = entry.front() == '.' ? entry.substr(1) : entry;
        if (domain.empty())
            continue;
        bypass += ";" + domain;
        const bool address = domain.find_first_not_of("0123456789.:/[]") == std::string::npos;
        if (!address && domain.front() != '*')
            bypass += ";*." + domain;
    }
    return {"--proxy-server=" + servers, "--proxy-bypass-list=" + bypass};
}

std::optional<ProxyCredentials> credentialsFor(const EnvironmentProxies& proxies, std::string_view proxyHost)
{
    std::string host = lower(trim(proxyHost));
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    for (const auto& proxy : {proxies.http, proxies.https})
        if (proxy && proxy->host == host && !proxy->user.empty())
            return ProxyCredentials{proxy->user, proxy->password};
    return std::nullopt;
}

} // namespace talvo::browserlogic
