#include "../FileAppend.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace talvo::platform {

bool appendToFile(const std::filesystem::path& path, std::string_view bytes) noexcept
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    bool ok = true;
    if (!bytes.empty()) {
        // One write() of the whole record: a record is whole or absent.
        ssize_t written;
        do
            written = ::write(fd, bytes.data(), bytes.size());
        while (written < 0 && errno == EINTR);
        if (written >= 0 && static_cast<std::size_t>(written) < bytes.size()) {
            // Cut short by a full disk or a size limit: take the piece back, unless
            // someone appended after it (cutting would lose their record).
            ok = false;
            const off_t end = ::lseek(fd, 0, SEEK_CUR);
            struct stat st { };
            const bool cut = written > 0 && end >= written && ::fstat(fd, &st) == 0 && st.st_size == end
                && ::ftruncate(fd, end - written) == 0;
            (void)cut; // the record is lost either way; nothing more to do
        } else if (written < 0) {
            ok = false;
        }
    }
    if (::close(fd) != 0)
        ok = false;
    return ok;
}

} // namespace talvo::platform
