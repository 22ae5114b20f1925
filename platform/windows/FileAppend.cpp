#include "../FileAppend.h"

#include <windows.h>

namespace talvo::platform {

bool appendToFile(const std::filesystem::path& path, std::string_view bytes) noexcept
{
    // FILE_APPEND_DATA without FILE_WRITE_DATA: every write goes to the current end.
    HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
        DWORD written = 0;
        if (!::WriteFile(file, data, chunk, &written, nullptr) || written == 0) {
            ok = false;
            break;
        }
        data += written;
        left -= written;
    }
    if (!::CloseHandle(file))
        ok = false;
    return ok;
}

} // namespace talvo::platform
