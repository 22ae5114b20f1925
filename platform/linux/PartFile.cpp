#include "../PartFile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace talvo::platform {

namespace fs = std::filesystem;

fs::path createPartFile(const fs::path& target)
{
    static thread_local std::mt19937_64 names{std::random_device{}()};
    constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 32; ++attempt) {
        std::string tag(6, 'x');
        for (char& c : tag)
            c = kAlphabet[names() % (sizeof kAlphabet - 1)];
        fs::path part = target;
        part += "." + tag + ".part";
        // O_EXCL: only a name nobody had; no link followed either.
        const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0) {
            ::close(fd);
            return part;
        }
        if (errno != EEXIST)
            return {};
    }
    return {};
}

bool replaceFile(const fs::path& from, const fs::path& to) { return ::rename(from.c_str(), to.c_str()) == 0; }

} // namespace talvo::platform
