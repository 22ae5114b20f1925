#include "../FileIo.h"

#include "../RuntimeError.h"
#include "SystemMessage.h"

#include <windows.h>

namespace fs = std::filesystem;

namespace talvo::platform {

namespace {

struct Handle {
    HANDLE h;
    explicit Handle(HANDLE handle) : h(handle) { }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle()
    {
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
};

// Windows says "path not found" both for a missing folder and for a file used as a
// folder; Linux tells them apart (53 and 76), and so do we.
bool partOfPathIsAFile(const fs::path& path)
{
    std::error_code ignored;
    for (fs::path p = path.parent_path(); !p.empty() && p != p.root_path(); p = p.parent_path()) {
        const fs::file_status status = fs::status(p, ignored);
        if (fs::exists(status))
            return !fs::is_directory(status);
    }
    return false;
}

// No file system here takes a name part longer than 255 units; say so whatever the
// system reports for it.
bool nameTooLong(const fs::path& path)
{
    for (const fs::path& part : path)
        if (part.native().size() > 255)
            return true;
    return false;
}

[[noreturn]] void fail(DWORD error, const fs::path& path)
{
    if ((error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) && nameTooLong(path))
        error = ERROR_FILENAME_EXCED_RANGE;
    int number = RuntimeError::kPathFileAccess;
    switch (error) {
    case ERROR_FILE_NOT_FOUND: number = RuntimeError::kFileNotFound; break;
    case ERROR_PATH_NOT_FOUND:
        number = partOfPathIsAFile(path) ? RuntimeError::kPathNotFound : RuntimeError::kFileNotFound;
        break;
    case ERROR_DIRECTORY: number = RuntimeError::kPathNotFound; break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT: number = RuntimeError::kPermissionDenied; break;
    case ERROR_INVALID_NAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_PARAMETER: number = RuntimeError::kBadFileName; break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT: number = RuntimeError::kDeviceIo; break;
    default: break;
    }
    throw RuntimeError(number, RuntimeError::standardDescription(number) + " (" + systemMessage(error) + ")");
}

// Pipes and devices are no files to write; a folder gives the system's own error.
void refuseNonFile(const fs::path& path)
{
    const std::wstring& name = path.native();
    if (inDeviceNamespace(path))
        throw RuntimeError(RuntimeError::kPathFileAccess, "Path/File access error (not a regular file)");
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return;
    // Reserved device names (NUL, CON, COM1, ...) open without being files on a disk.
    Handle probe(CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, 0, nullptr));
    if ((attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DEVICE) != 0)
        || (probe.h != INVALID_HANDLE_VALUE && GetFileType(probe.h) != FILE_TYPE_DISK))
        throw RuntimeError(RuntimeError::kPathFileAccess, "Path/File access error (not a regular file)");
}

} // namespace

std::string readWholeFile(const fs::path& path)
{
    // Reading a pipe or a device could wait for ever; nothing is opened for them.
    if (inDeviceNamespace(path))
        throw RuntimeError(RuntimeError::kPathFileAccess, "Path/File access error (not a regular file)");
    Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.h == INVALID_HANDLE_VALUE)
        fail(GetLastError(), path);
    // Reserved device names (NUL, CON, ...) open without being files on a disk.
    if (GetFileType(file.h) != FILE_TYPE_DISK)
        throw RuntimeError(RuntimeError::kPathFileAccess, "Path/File access error (not a regular file)");
    std::string bytes;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file.h, &size) && size.QuadPart > 0)
        bytes.reserve(static_cast<std::size_t>(size.QuadPart));
    char chunk[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.h, chunk, sizeof chunk, &got, nullptr))
            fail(GetLastError(), path);
        if (got == 0)
            break;
        bytes.append(chunk, got);
    }
    return bytes;
}

void writeWholeFile(const fs::path& path, std::string_view bytes)
{
    refuseNonFile(path);
    Handle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr));
    if (file.h == INVALID_HANDLE_VALUE)
        fail(GetLastError(), path);
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
        DWORD written = 0;
        if (!WriteFile(file.h, data, chunk, &written, nullptr))
            fail(GetLastError(), path);
        if (written == 0)
            fail(ERROR_WRITE_FAULT, path);
        data += written;
        left -= written;
    }
    if (!CloseHandle(file.h)) {
        file.h = INVALID_HANDLE_VALUE;
        fail(GetLastError(), path);
    }
    file.h = INVALID_HANDLE_VALUE;
}

void removeFile(const fs::path& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return;
        fail(error, path);
    }
    // A read-only file is replaced as on Linux, where the folder's rights decide.
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0
        && !SetFileAttributesW(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY)))
        fail(GetLastError(), path);
    if (!DeleteFileW(path.c_str())) {
        const DWORD error = GetLastError();
        if ((attributes & FILE_ATTRIBUTE_READONLY) != 0)
            SetFileAttributesW(path.c_str(), attributes);
        fail(error, path);
    }
}

} // namespace talvo::platform
