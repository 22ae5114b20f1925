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

    enum class Result { Acquired, HeldElsewhere, Unavailable, Foreign };
    // Unavailable: the lock file could not be opened at all (bad folder, ...).
    // Foreign: the file is not a plain file of our own user's: never used.
    Result tryLock(const QString& path);
    void release();

private:
    long long handle_ = -1;
};

// The folder for per-user runtime files, one only this user can enter: $XDG_RUNTIME_DIR when
// it is such a folder, else "talvo-<uid>" in the temp folder, made if missing; when that name
// is taken by anything else, "talvo-<uid>.1", ".2" ... in turn (every start walks the same
// names, so they all meet in the same folder). Empty when none is usable. On Windows the
// temp folder, which is the user's own there.
QString perUserRuntimeFolder();

// Who a file belongs to, without following a link. Where files have no owners we can
// check (Windows), whatever exists counts as ours.
enum class FileOwner { Absent, Ours, Foreign };
FileOwner fileOwner(const QString& path);

// Distinguishes users sharing a machine and its temp folder (the uid, or the user name).
QString perUserTag();

// The local socket name for a key: a path in folder where sockets are files, a plain
// name where they are not.
QString localServerNameFor(const QString& folder, const QString& name);

} // namespace talvo::platform
