#include "../PartFile.h"

#include <random>
#include <string>
#include <windows.h>

namespace talvo::platform {

namespace fs = std::filesystem;

fs::path createPartFile(const fs::path& target)
{
    static thread_local std::mt19937_64 names{std::random_device{}()};
    constexpr wchar_t kAlphabet[] = L"abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 32; ++attempt) {
        std::wstring tag(6, L'x');
        for (wchar_t& c : tag)
            c = kAlphabet[names() % (sizeof kAlphabet / sizeof kAlphabet[0] - 1)];
        fs::path part = target;
        part += L"." + tag + L".part";
        // CREATE_NEW: only a name nobody had.
        const HANDLE file = ::CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            ::CloseHandle(file);
            return part;
        }
        if (::GetLastError() != ERROR_FILE_EXISTS && ::GetLastError() != ERROR_ALREADY_EXISTS)
            return {};
    }
    return {};
}

bool replaceFile(const fs::path& from, const fs::path& to)
{
    return ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

} // namespace talvo::platform
