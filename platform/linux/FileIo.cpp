#include "../FileIo.h"

#include <cerrno>
#include <fstream>
#include <iterator>
#include <system_error>

#include "../RuntimeError.h"

namespace fs = std::filesystem;

namespace talvo::platform {

namespace {
[[noreturn]] void throwLastError()
{
    const int code = errno != 0 ? errno : EIO;
    throw RuntimeError::fromSystemError(std::error_code(code, std::generic_category()));
}
} // namespace

std::string readWholeFile(const fs::path& path)
{
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throwLastError();
    std::string bytes;
    std::error_code sizeError;
    const auto size = fs::file_size(path, sizeError);
    if (!sizeError)
        bytes.reserve(static_cast<std::size_t>(size));
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad())
        throwLastError();
    return bytes;
}

void writeWholeFile(const fs::path& path, std::string_view bytes)
{
    std::error_code statusError;
    const fs::file_status status = fs::status(path, statusError);
    if (fs::exists(status) && !fs::is_regular_file(status) && !fs::is_directory(status))
        throw RuntimeError(RuntimeError::kPathFileAccess, "Path/File access error (not a regular file)");
    errno = 0;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        throwLastError();
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        throwLastError();
}

void removeFile(const fs::path& path)
{
    std::error_code error;
    if (!fs::remove(path, error) && error)
        throw RuntimeError::fromSystemError(error);
}

} // namespace talvo::platform
