#pragma once

#include <filesystem>
#include <string_view>

namespace talvo::platform {

// Appends bytes at the end of the file at path in one write of the whole buffer,
// creating the file when it is missing (never its folder). The file is opened in
// append mode (Linux O_APPEND, Windows FILE_APPEND_DATA), so whole records written by
// several processes at once land one after the other, never mixed. A record is whole
// or absent: when the write is cut short (full disk, size limit) the part that went
// out is cut off again. Returns false on any failure; nothing is thrown.
bool appendToFile(const std::filesystem::path& path, std::string_view bytes) noexcept;

} // namespace talvo::platform
