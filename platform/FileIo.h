#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// Whole-file reads and writes by path for the codec's file operations. Paths go to the
// system as they are (UTF-16 on Windows, so Chinese names work). Failures throw
// RuntimeError with the same numbers on every platform: 53 for a missing file or
// folder, 76 when a part of the path is a file, 52 for a bad or too long name, 70 when
// access is refused, 75 for a folder, pipe or device, 57 when the device fails; the
// description carries the system's own message in UTF-8.
namespace talvo::platform {

std::string readWholeFile(const std::filesystem::path& path);

// Creates or truncates the file and writes exactly the bytes. Pipes and devices are
// refused (75) rather than opened: a pipe would wait for a reader that may never come.
void writeWholeFile(const std::filesystem::path& path, std::string_view bytes);

// Removes a file, read-only ones too, as a replacement needs.
void removeFile(const std::filesystem::path& path);

} // namespace talvo::platform
