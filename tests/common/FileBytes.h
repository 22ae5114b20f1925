#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace talvo::testfiles {

// A file's bytes as they are on disk, empty when it cannot be read.
inline std::string readBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeBytes(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

} // namespace talvo::testfiles
