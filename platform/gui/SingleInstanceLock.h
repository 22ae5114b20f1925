#pragma once

#include <QString>

namespace talvo::platform {

// An exclusive lock on a file, held until release or the end of the process (the
// system drops it when the process dies, however it dies).
class InstanceLock {
public:
    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    enum class Result { Acquired, HeldElsewhere, Unavailable };
    // Unavailable: the lock file could not be opened at all (bad folder, ...).
    Result tryLock(const QString& path);
    void release();

private:
    long long handle_ = -1;
};

// The folder for per-user runtime files: $XDG_RUNTIME_DIR when set and usable, else the
// temp folder (names there carry the user id).
QString perUserRuntimeFolder();

// Distinguishes users sharing a machine and its temp folder (the uid, or the user name).
QString perUserTag();

// The local socket name for a key: a path in folder where sockets are files, a plain
// name where they are not.
QString localServerNameFor(const QString& folder, const QString& name);

} // namespace talvo::platform
