#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace talvo::net {

// Where a redirect from base (an absolute http or https address as sent) leads, given its
// Location header: relative references resolved against base, dot segments removed,
// unsafe bytes escaped and any fragment dropped. Nothing when it leads to any scheme
// other than http and https, or base is not such an address: only the web is followed.
std::optional<std::string> redirectTarget(std::string_view base, std::string_view location);

} // namespace talvo::net
