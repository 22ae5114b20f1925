#include "../ProgramInfo.h"

#include <windows.h>

namespace talvo::platform {

namespace {
std::wstring modulePath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}
} // namespace

// On Windows the edition comes from the executable's own file name, not argv[0].
void recordStartName(std::string_view) { }

std::u16string startName()
{
    std::filesystem::path exe(modulePath());
    return exe.stem().u16string();
}

std::filesystem::path programFolder() { return std::filesystem::path(modulePath()).parent_path(); }

} // namespace talvo::platform
