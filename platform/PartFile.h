#pragma once

#include <filesystem>

namespace talvo::platform {

// A new empty file beside target that a download fills before it takes target's name:
// "<target's name>.<six letters or digits>.part", made exclusively, so no file that was
// there before (an old "<name>.part" among them) is ever reused, truncated or removed.
// Returns its path, or an empty path when none could be made (the folder refused it).
std::filesystem::path createPartFile(const std::filesystem::path& target);

// Gives the file at from the name to in one step: a file already under to is replaced
// as it goes (never removed first), so a failure leaves both files as they were.
bool replaceFile(const std::filesystem::path& from, const std::filesystem::path& to);

} // namespace talvo::platform
