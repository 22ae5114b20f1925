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
#include <unistd.h>
#endif

namespace talvo::platform {

#if defined(_WIN32)

InstanceLock::Result InstanceLock::tryLock(const QString& path)
{
    release();
    // No sharing: a second open fails until the holder closes it or dies.
    HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), GENERIC_READ | GENERIC_WRITE,
                              0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
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

#else

InstanceLock::Result InstanceLock::tryLock(const QString& path)
{
    release();
    const QByteArray native = QFile::encodeName(path);
    // Not through a link someone else planted in a shared temp folder.
    const int fd = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return Result::Unavailable;
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

QString perUserRuntimeFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) {
        const QFileInfo info(runtime);
        if (info.isDir() && info.isWritable())
            return runtime;
    }
    return QDir::tempPath();
}

QString perUserTag() { return QString::number(::getuid()); }

QString localServerNameFor(const QString& folder, const QString& name)
{
    return QDir(folder).filePath(name);
}

#endif

InstanceLock::~InstanceLock() { release(); }

} // namespace talvo::platform
