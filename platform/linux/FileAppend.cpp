#include "../FileAppend.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace talvo::platform {

bool appendToFile(const std::filesystem::path& path, std::string_view bytes) noexcept
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    bool ok = true;
    // One write() of the whole record; the loop only carries on after a short write
    // or a signal, which regular files see only when the disk fills up.
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            ok = false;
            break;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    if (::close(fd) != 0)
        ok = false;
    return ok;
}

} // namespace talvo::platform
