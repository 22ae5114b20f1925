#pragma once

#include <filesystem>
#include <string>

namespace talvo::platform {

// The system's own words for a Win32 error, in UTF-8 whatever the user's code page,
// without the line end and full stop the system puts after them.
std::string systemMessage(unsigned long error);

// Names in the device namespace ("\\.\pipe\x", "\\.\COM1") are pipes and devices,
// never files on a disk.
bool inDeviceNamespace(const std::filesystem::path& path);

} // namespace talvo::platform
