#include "../FileSave.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "../RuntimeError.h"

namespace talvo::platform {

namespace fs = std::filesystem;

namespace {

constexpr int kFileAlreadyExists = 58;
constexpr int kMaxLinkHops = 40;

[[noreturn]] void failSystem(int error)
{
    throw RuntimeError::fromSystemError(std::error_code(error != 0 ? error : EIO, std::generic_category()));
}

[[noreturn]] void failWriting() { throw RuntimeError(RuntimeError::kDeviceIo, "Device I/O error while writing"); }

class Descriptor {
public:
    explicit Descriptor(int fd = -1) noexcept : fd_(fd) { }
    ~Descriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const noexcept { return fd_; }
    // Closing can report a failed delayed write; callers that care ask for it.
    bool close() noexcept
    {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

// The file a chain of links ends at, even when that file does not exist yet.
fs::path followLinks(fs::path path)
{
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat st { };
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        std::error_code ec;
        const fs::path target = fs::read_symlink(path, ec);
        if (ec)
            return path;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    failSystem(ELOOP);
}

fs::path folderOf(const fs::path& file)
{
    const fs::path folder = file.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

bool writeAll(int fd, const char* data, std::size_t size, off_t at) noexcept
{
    while (size > 0) {
        const ssize_t written = ::pwrite(fd, data, size, at);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= static_cast<std::size_t>(written);
        at += written;
    }
    return true;
}

// A new file with a name of our own in folder; short, so a long target name does
// not make it too long. Returns the descriptor or -1 with errno set.
int createTemporary(const fs::path& folder, mode_t mode, fs::path& name)
{
    static thread_local std::mt19937_64 names{std::random_device{}()};
    for (int attempt = 0; attempt < 16; ++attempt) {
        char leaf[32];
        std::snprintf(leaf, sizeof leaf, ".~%016llx.tmp", static_cast<unsigned long long>(names()));
        name = folder / leaf;
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

void syncFolder(const fs::path& folder) noexcept
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Copies every extended attribute (ACLs included); false when one cannot be kept.
bool copyExtendedAttributes(int from, int to)
{
    ssize_t size = ::flistxattr(from, nullptr, 0);
    if (size < 0)
        return errno == ENOTSUP || errno == ENOSYS;
    if (size == 0)
        return true;
    std::string names(static_cast<std::size_t>(size), '\0');
    size = ::flistxattr(from, names.data(), names.size());
    if (size < 0)
        return false;
    names.resize(static_cast<std::size_t>(size));
    for (std::size_t at = 0; at < names.size();) {
        const char* name = names.c_str() + at;
        at += std::char_traits<char>::length(name) + 1;
        ssize_t length = ::fgetxattr(from, name, nullptr, 0);
        if (length < 0)
            return false;
        std::string value(static_cast<std::size_t>(length), '\0');
        length = ::fgetxattr(from, name, value.data(), value.size());
        if (length < 0 || ::fsetxattr(to, name, value.data(), static_cast<std::size_t>(length), 0) != 0)
            return false;
    }
    return true;
}

// A folder that takes new names: writable for us, and not marked read-only for
// everyone (root passes the access check, but a read-only folder is still meant).
bool folderTakesNewNames(const fs::path& folder)
{
    struct stat st { };
    if (::stat(folder.c_str(), &st) != 0 || (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return false;
    return ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

enum class ReplaceResult { Done, NotKept };

// The temporary-copy route for an existing file; NotKept when the copy could not
// take the place of the file without losing something, nothing changed then.
ReplaceResult replaceByRename(const fs::path& target, int targetFd, const struct stat& old, std::string_view bytes)
{
    const fs::path folder = folderOf(target);
    fs::path temporary;
    Descriptor out(createTemporary(folder, S_IRUSR | S_IWUSR, temporary));
    if (out.get() < 0)
        return ReplaceResult::NotKept;
    const auto discard = [&] {
        out.close();
        ::unlink(temporary.c_str());
    };
    if (!writeAll(out.get(), bytes.data(), bytes.size(), 0)) {
        discard();
        failWriting();
    }
    struct stat made { };
    const bool kept = ::fstat(out.get(), &made) == 0
        && (made.st_gid == old.st_gid || ::fchown(out.get(), static_cast<uid_t>(-1), old.st_gid) == 0)
        && copyExtendedAttributes(targetFd, out.get())
        // Last: a change of owner or group clears the set-id bits.
        && ::fchmod(out.get(), old.st_mode & 07777) == 0;
    if (!kept) {
        discard();
        return ReplaceResult::NotKept;
    }
    if (::fsync(out.get()) != 0 || !out.close()) {
        discard();
        failWriting();
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        // The target is a mount point or the like: it can still be written.
        if (error == EXDEV || error == EBUSY || error == EPERM || error == EACCES)
            return ReplaceResult::NotKept;
        failSystem(error);
    }
    syncFolder(folder);
    return ReplaceResult::Done;
}

// Best effort on a path that already reports a failure.
void cutTo(int fd, off_t size) noexcept
{
    if (::ftruncate(fd, size) != 0)
        return;
}

void overwriteInPlace(int fd, bool readable, const struct stat& old, std::string_view bytes)
{
    const off_t oldSize = old.st_size;
    const auto newSize = static_cast<off_t>(bytes.size());
    // Room first: a full disk or a size limit shows here, before any old byte goes.
    if (newSize > oldSize) {
        const int error = ::posix_fallocate(fd, oldSize, newSize - oldSize);
        // A file system that cannot reserve room still takes the writes below.
        if (error != 0 && error != EOPNOTSUPP && error != EINVAL) {
            cutTo(fd, oldSize);
            failWriting();
        }
    }
    // The old bytes, to put back should the device fail half-way.
    std::string previous;
    bool restorable = false;
    if (readable) {
        previous.resize(static_cast<std::size_t>(oldSize));
        restorable = true;
        for (std::size_t done = 0; done < previous.size();) {
            const ssize_t n = ::pread(fd, previous.data() + done, previous.size() - done, static_cast<off_t>(done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                restorable = false;
                break;
            }
            done += static_cast<std::size_t>(n);
        }
    }
    if (!writeAll(fd, bytes.data(), bytes.size(), 0)) {
        if (restorable && writeAll(fd, previous.data(), previous.size(), 0))
            cutTo(fd, oldSize);
        ::fsync(fd);
        failWriting();
    }
    if (newSize < oldSize && ::ftruncate(fd, newSize) != 0)
        failWriting();
    if (::fsync(fd) != 0)
        failWriting();
}

SaveWay create(const fs::path& target, std::string_view bytes)
{
    const fs::path folder = folderOf(target);
    fs::path temporary;
    // What a plain create would give: 0666 less the user's mask.
    Descriptor out(createTemporary(folder, 0666, temporary));
    if (out.get() < 0) {
        const int error = errno;
        if (error == ENOENT)
            throw RuntimeError(RuntimeError::kPathNotFound, "Path not found (No such file or directory)");
        failSystem(error);
    }
    if (!writeAll(out.get(), bytes.data(), bytes.size(), 0) || ::fsync(out.get()) != 0 || !out.close()) {
        out.close();
        ::unlink(temporary.c_str());
        failWriting();
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        failSystem(error);
    }
    syncFolder(folder);
    return SaveWay::Created;
}

} // namespace

SaveWay saveWholeFile(const fs::path& path, std::string_view bytes, bool mayReplace)
{
    const fs::path target = followLinks(path);
    struct stat st { };
    if (::stat(target.c_str(), &st) != 0) {
        const int error = errno;
        if (error == ENOENT)
            return create(target, bytes);
        failSystem(error);
    }
    if (S_ISDIR(st.st_mode))
        throw RuntimeError(RuntimeError::kPathFileAccess, "Path/File access error (is a directory)");
    if (!mayReplace)
        throw RuntimeError(kFileAlreadyExists, "File already exists");
    // A pipe could block for ever, and a device is no file to save.
    if (!S_ISREG(st.st_mode))
        throw RuntimeError(RuntimeError::kPathFileAccess, "Path/File access error (not a regular file)");

    // Opened for writing either way: a file the user may not write is refused here,
    // and the rename route cannot get past that.
    bool readable = true;
    int opened = ::open(target.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (opened < 0 && errno == EACCES) {
        readable = false;
        opened = ::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    }
    if (opened < 0)
        failSystem(errno);
    Descriptor fd(opened);
    if (::fstat(fd.get(), &st) != 0)
        failSystem(errno);
    if (!S_ISREG(st.st_mode))
        throw RuntimeError(RuntimeError::kPathFileAccess, "Path/File access error (not a regular file)");

    const bool renameKeepsAll = st.st_nlink == 1 && st.st_uid == ::geteuid() && folderTakesNewNames(folderOf(target));
    if (renameKeepsAll && replaceByRename(target, fd.get(), st, bytes) == ReplaceResult::Done)
        return SaveWay::Replaced;
    overwriteInPlace(fd.get(), readable, st, bytes);
    if (!fd.close())
        failWriting();
    return SaveWay::OverwrittenInPlace;
}

} // namespace talvo::platform
