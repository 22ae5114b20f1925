#pragma once

#include <string_view>

namespace talvo::platform {

// Opens address in the user's web browser as a new process and does not wait for it.
// The address is handed over as one argument, never through a shell (Linux: xdg-open,
// Windows: explorer.exe). Returns false when the process could not be started.
bool openInSystemBrowser(std::u16string_view address);

} // namespace talvo::platform
