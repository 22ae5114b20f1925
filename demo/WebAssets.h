#pragma once

#include <optional>
#include <string_view>

namespace talvo::demo {

// The demo web application's files (demo/web), built into the program. name is the
// file name, e.g. "login.html"; nothing when there is no such file.
std::optional<std::string_view> webAsset(std::string_view name);

} // namespace talvo::demo
