#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace talvo::platform {

// Whether an environment entry ("NAME=value") goes on to a program we start. Our engine's
// own variables (every QTWEBENGINE_*, the switches and the sandbox setting among them)
// stay ours: a browser started with them would run with our choices, sandbox off included.
// Names compare without regard to ASCII case, as Windows does.
bool passedToChild(std::u16string_view entry);
bool passedToChild(std::string_view entry);

// The entries of environment (a null-terminated array, as environ) that pass.
std::vector<std::string> childEnvironment(const char* const* environment);

} // namespace talvo::platform
