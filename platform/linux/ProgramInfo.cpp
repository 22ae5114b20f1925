#include "../ProgramInfo.h"

#include <climits>
#include <mutex>
#include <unistd.h>

#include "../Utf.h"

namespace talvo::platform {

namespace {
std::string& startPath()
{
    static std::string path;
    return path;
}
} // namespace

void recordStartName(std::string_view argv0) { startPath() = std::string(argv0); }

std::u16string startName()
{
    std::string name = startPath();
    if (name.empty()) {
        std::error_code ec;
        name = std::filesystem::read_symlink("/proc/self/exe", ec).string();
    }
    // Either separator: a name may come from a Windows-style path.
    const auto slash = name.find_last_of("/\\");
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    const auto dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.erase(dot);
    return fromUtf8(name);
}

std::filesystem::path programFolder()
{
    static const std::filesystem::path folder = [] {
        std::error_code ec;
        std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
        if (ec)
            exe = std::filesystem::current_path() / "talvo";
        return exe.parent_path();
    }();
    return folder;
}

} // namespace talvo::platform
