#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace talvo::platform {

// main() records the name the program was started under before anything else runs.
void recordStartName(std::string_view argv0);

// The start name's file name without its extension (not lower-cased): a link
// "talvo-qv" gives "talvo-qv", "C:\x\Talvo_QV.exe" gives "Talvo_QV".
std::u16string startName();

// The folder of the running executable (links resolved), without a trailing separator.
std::filesystem::path programFolder();

} // namespace talvo::platform
