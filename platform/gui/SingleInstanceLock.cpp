// The one place that picks the system's way of holding a lock that dies with the process.
#include "platform/gui/SingleInstanceLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#if defined(_WIN32)
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace talvo::platform {

#if defined(_WIN32)

InstanceLock::Result InstanceLock::tryLock(const QString& path)
{
    release();
    // No sharing: a second open fails until the holder closes it or dies.
    HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ? Result::HeldElsewhere
                                                                                 : Result::Unavailable;
    }
    handle_ = reinterpret_cast<long long>(file);
    return Result::Acquired;
}

void InstanceLock::release()
{
    if (handle_ != -1) {
        CloseHandle(reinterpret_cast<HANDLE>(handle_));
        handle_ = -1;
    }
}

QString perUserRuntimeFolder() { return QDir::tempPath(); }

QString perUserTag()
{
    QString user = qEnvironmentVariable("USERNAME");
    if (user.isEmpty())
        user = QStringLiteral("user");
    return user;
}

QString localServerNameFor(const QString&, const QString& name) { return name; }

FileOwner fileOwner(const QString& path) { return QFileInfo::exists(path) ? FileOwner::Ours : FileOwner::Absent; }

#else

InstanceLock::Result InstanceLock::tryLock(const QString& path)
{
    release();
    const QByteArray native = QFile::encodeName(path);
    // Not through a link someone else planted in a shared temp folder.
    const int fd = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return errno == ELOOP ? Result::Foreign : Result::Unavailable;
    // A file another user made (or one that is no plain file) is theirs to hold: never ours.
    struct stat info { };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
        ::close(fd);
        return Result::Foreign;
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int error = errno;
        ::close(fd);
        return error == EWOULDBLOCK ? Result::HeldElsewhere : Result::Unavailable;
    }
    handle_ = fd;
    return Result::Acquired;
}

void InstanceLock::release()
{
    if (handle_ != -1) {
        ::close(static_cast<int>(handle_)); // drops the flock
        handle_ = -1;
    }
}

namespace {

// How many names in the temp folder we try before giving up.
constexpr int kFolderNames = 8;

// A real folder (no link), ours, that nobody else may enter or list.
bool isPrivateFolder(const QByteArray& path)
{
    struct stat info { };
    return ::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid()
        && (info.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

} // namespace

QString perUserRuntimeFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && isPrivateFolder(QFile::encodeName(runtime)))
        return runtime;
    // The temp folder is shared: another user may have taken our name first, as anything.
    const QString base = QDir(QDir::tempPath()).filePath(QStringLiteral("talvo-") + perUserTag());
    for (int i = 0; i < kFolderNames; ++i) {
        const QString name = i == 0 ? base : base + u'.' + QString::number(i);
        const QByteArray native = QFile::encodeName(name);
        if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
            continue;
        if (isPrivateFolder(native))
            return name;
    }
    return {};
}

FileOwner fileOwner(const QString& path)
{
    struct stat info { };
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return errno == ENOENT ? FileOwner::Absent : FileOwner::Foreign;
    return info.st_uid == ::geteuid() ? FileOwner::Ours : FileOwner::Foreign;
}

QString perUserTag() { return QString::number(::getuid()); }

QString localServerNameFor(const QString& folder, const QString& name) { return QDir(folder).filePath(name); }

#endif

InstanceLock::~InstanceLock() { release(); }

} // namespace talvo::platform
