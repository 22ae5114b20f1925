#include "../FileAppend.h"

#include <windows.h>

namespace talvo::platform {

namespace {

// Sets the file's end back to size through a second handle: the append handle
// cannot move the end of the file.
void cutBackTo(const std::filesystem::path& path, LONGLONG size)
{
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = size;
    ::SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof end);
    ::CloseHandle(file);
}

} // namespace

bool appendToFile(const std::filesystem::path& path, std::string_view bytes) noexcept
{
    // A record of 4 GiB or more cannot go out in one write.
    if (bytes.size() > MAXDWORD)
        return false;
    // FILE_APPEND_DATA without FILE_WRITE_DATA: every write goes to the current end.
    HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    if (!bytes.empty()) {
        // One write of the whole record: a record is whole or absent.
        DWORD written = 0;
        const BOOL wrote = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        if (!wrote || written < bytes.size()) {
            ok = false;
            LARGE_INTEGER end{};
            if (written > 0 && ::GetFileSizeEx(file, &end) && end.QuadPart >= written)
                cutBackTo(path, end.QuadPart - written);
        }
    }
    if (!::CloseHandle(file))
        ok = false;
    return ok;
}

} // namespace talvo::platform
