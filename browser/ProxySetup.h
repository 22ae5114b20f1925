#pragma once

#include <QString>

#include <optional>

#include "browser/logic/ProxySettings.h"

namespace talvo::browser {

// Gives the embedded browser the proxies the service requests use (http_proxy, https_proxy,
// no_proxy); without those variables it keeps the desktop's settings. Call before the
// application object exists: the engine reads its switches once, when it starts.
void useEnvironmentProxies();

// The credentials for a proxy that asked for them, from the proxy address's user part.
std::optional<browserlogic::ProxyCredentials> environmentProxyCredentials(const QString& proxyHost);

} // namespace talvo::browser
