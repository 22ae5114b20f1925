#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <optional>

class QLocalServer;

namespace talvo::platform {

class InstanceLock;

// Lets one instance of the program run per user. The first instance holds a lock that
// the system drops when the process ends however it ends (so a crashed instance never
// blocks the next start) and listens on a per-user local socket; a later instance finds
// the lock taken and, through the socket, asks the first to bring its window forward.
class SingleInstanceGuard : public QObject {
    Q_OBJECT
public:
    // key names the lock and the socket (the user id is added). folder: where they live;
    // empty means the per-user runtime folder (see perUserRuntimeFolder).
    // A lock or socket file of another user's is never used: the next names in turn
    // ("key-uid.1.lock" ...) are, the same for every start, so the starts still meet.
    explicit SingleInstanceGuard(QString key = QStringLiteral("talvo"), QString folder = {}, QObject* parent = nullptr);
    ~SingleInstanceGuard() override;

    // True when this is the only instance: the lock is ours from now on and the socket
    // listens. Asking again gives the same answer.
    bool tryAcquire();
    // The same answer from the lock alone, for a start before the application object exists
    // (the socket listens from tryAcquire on). Nothing when only a running instance's socket
    // can tell (no lock file could be made): tryAcquire asks it then.
    std::optional<bool> tryLockFirst();
    bool isPrimary() const { return primary_; }
    // Stops answering later starts (the socket file goes; the lock stays until the end).
    // For a guard made before the application object: its socket must close before that goes.
    void stopListening();

    // For the instance that lost: asks the running one to bring its window forward and
    // waits until it has (the running instance answers from its event loop). Retries
    // while the winner of a simultaneous start is still opening its socket; false when
    // nobody answered within timeoutMs (say, the running one is busy at its start).
    bool askRunningToActivate(int timeoutMs = 3000);

    QString lockPath() const { return lockPath_; }
    QString serverName() const { return serverName_; }

signals:
    // In the running instance, when another start asked for it.
    void activationRequested();

private:
    void onNewConnection();
    // Points lockPath_ and serverName_ at the slot-th pair of names.
    void useSlot(int slot);
    // The first slot whose files are not another user's (-1: none is).
    int firstUsableSlot() const;
    enum class LockOutcome { Ours, Taken, Unlocked, Unguarded };
    // Walks the slots for a lock; Unlocked: the slot chosen has no lock file to hold.
    LockOutcome takeLock();
    void listen();

    QString folder_;
    QString base_;
    bool slotChosen_ = false;
    QString lockPath_;
    QString serverName_;
    std::unique_ptr<InstanceLock> lock_;
    QLocalServer* server_ = nullptr;
    std::optional<LockOutcome> lockOutcome_;
    bool decided_ = false;
    bool primary_ = false;
};

// Raises and activates the program's window the user should see: the modal dialog if one
// is open, else the visible top-level window, restored if it was minimised.
// Returns false when no window of ours is visible.
bool bringApplicationWindowForward();

} // namespace talvo::platform
