#pragma once

#include <string_view>

namespace talvo::loginlogic {

// A port as written after "host:": 1 to 5 decimal digits naming 1 to 65535.
bool isValidPort(std::u16string_view port);

} // namespace talvo::loginlogic
