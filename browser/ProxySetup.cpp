#include "browser/ProxySetup.h"

#include <QByteArray>
#include <QtGlobal>

#include <cstdlib>

namespace talvo::browser {

namespace {

const browserlogic::EnvironmentProxies& environmentProxies()
{
    static const browserlogic::EnvironmentProxies proxies = browserlogic::proxiesFromEnvironment(
        [](const char* name) -> std::optional<std::string> {
            const char* value = std::getenv(name);
            if (!value)
                return std::nullopt;
            return std::string(value);
        });
    return proxies;
}

} // namespace

void useEnvironmentProxies()
{
    const std::vector<std::string> switches = browserlogic::engineProxySwitches(environmentProxies());
    if (switches.empty())
        return;
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    for (const std::string& s : switches) {
        if (!flags.isEmpty())
            flags += ' ';
        // The engine splits its flags at blanks; none of ours has one, by construction.
        flags += QByteArray::fromStdString(s);
    }
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
}

std::optional<browserlogic::ProxyCredentials> environmentProxyCredentials(const QString& proxyHost)
{
    return browserlogic::credentialsFor(environmentProxies(), proxyHost.toStdString());
}

} // namespace talvo::browser
