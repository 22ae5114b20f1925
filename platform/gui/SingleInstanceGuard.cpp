#include "platform/gui/SingleInstanceGuard.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <climits>

#include "platform/gui/SingleInstanceLock.h"

namespace talvo::platform {

namespace {
constexpr QByteArrayView kActivate = "activate\n";
constexpr QByteArrayView kAnswer = "ok\n";
constexpr qint64 kMaxRequestBytes = 64; // anything longer is not one of ours
constexpr int kAnswerDelayMs = 100;
// How many pairs of names are tried when another user's files hold the first ones.
constexpr int kSlots = 8;

int remaining(const QDeadlineTimer& deadline)
{
    return static_cast<int>(qBound(qint64(1), deadline.remainingTime(), qint64(INT_MAX)));
}
} // namespace

SingleInstanceGuard::SingleInstanceGuard(QString key, QString folder, QObject* parent)
    : QObject(parent), lock_(std::make_unique<InstanceLock>())
{
    if (folder.isEmpty())
        folder = perUserRuntimeFolder();
    folder_ = folder;
    base_ = key + u'-' + perUserTag();
    useSlot(0);
}

void SingleInstanceGuard::useSlot(int slot)
{
    const QString base = slot == 0 ? base_ : base_ + u'.' + QString::number(slot);
    lockPath_ = QDir(folder_).filePath(base + QStringLiteral(".lock"));
    serverName_ = localServerNameFor(folder_, base + QStringLiteral(".sock"));
}

int SingleInstanceGuard::firstUsableSlot() const
{
    for (int slot = 0; slot < kSlots; ++slot) {
        const QString base = slot == 0 ? base_ : base_ + u'.' + QString::number(slot);
        if (fileOwner(QDir(folder_).filePath(base + QStringLiteral(".lock"))) != FileOwner::Foreign
            && fileOwner(localServerNameFor(folder_, base + QStringLiteral(".sock"))) != FileOwner::Foreign)
            return slot;
    }
    return -1;
}

SingleInstanceGuard::~SingleInstanceGuard() { stopListening(); }

void SingleInstanceGuard::stopListening()
{
    // Removes the socket file before the lock goes.
    delete server_;
    server_ = nullptr;
}

SingleInstanceGuard::LockOutcome SingleInstanceGuard::takeLock()
{
    if (lockOutcome_)
        return *lockOutcome_;
    slotChosen_ = true;
    lockOutcome_ = LockOutcome::Unguarded;
    if (folder_.isEmpty()) {
        // No folder only we can enter: better to start unguarded than in a shared one.
        qWarning("no private folder for the single-instance lock; starting without it");
        return *lockOutcome_;
    }
    for (int slot = 0; slot < kSlots; ++slot) {
        useSlot(slot);
        // Another user's socket under our name is skipped with its lock, never connected to.
        if (fileOwner(serverName_) == FileOwner::Foreign)
            continue;
        switch (lock_->tryLock(lockPath_)) {
        case InstanceLock::Result::Foreign: continue;
        case InstanceLock::Result::HeldElsewhere: return *(lockOutcome_ = LockOutcome::Taken);
        case InstanceLock::Result::Unavailable: return *(lockOutcome_ = LockOutcome::Unlocked);
        case InstanceLock::Result::Acquired:
            // Whoever left a socket behind is gone: the lock is ours (and so is the socket
            // file, checked above).
            QLocalServer::removeServer(serverName_);
            return *(lockOutcome_ = LockOutcome::Ours);
        }
    }
    qWarning("every single-instance lock name in %s is another user's; starting without one", qUtf8Printable(folder_));
    return *lockOutcome_;
}

std::optional<bool> SingleInstanceGuard::tryLockFirst()
{
    switch (takeLock()) {
    case LockOutcome::Ours:
    case LockOutcome::Unguarded: return true;
    case LockOutcome::Taken: return false;
    case LockOutcome::Unlocked: break;
    }
    return std::nullopt;
}

bool SingleInstanceGuard::tryAcquire()
{
    if (decided_)
        return primary_;
    decided_ = true;
    switch (takeLock()) {
    case LockOutcome::Unguarded: primary_ = true; return true;
    case LockOutcome::Taken: primary_ = false; return false;
    case LockOutcome::Unlocked: {
        // Without a lock file, a running instance can still be found by its socket;
        // when none answers, starting beats refusing to start.
        qWarning("single-instance lock %s unavailable; looking for a running instance by its socket",
                 qUtf8Printable(lockPath_));
        QLocalSocket probe;
        if (fileOwner(serverName_) == FileOwner::Ours) {
            probe.connectToServer(serverName_);
            if (probe.waitForConnected(500)) {
                probe.disconnectFromServer();
                primary_ = false;
                return false;
            }
        }
        break;
    }
    case LockOutcome::Ours: break;
    }
    primary_ = true;
    listen();
    return true;
}

void SingleInstanceGuard::listen()
{
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(serverName_)) {
        qWarning("single-instance socket %s: %s", qUtf8Printable(serverName_), qUtf8Printable(server_->errorString()));
    }
    connect(server_, &QLocalServer::newConnection, this, &SingleInstanceGuard::onNewConnection);
}

void SingleInstanceGuard::onNewConnection()
{
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->bytesAvailable() > kMaxRequestBytes) {
                socket->abort();
                return;
            }
            if (!socket->canReadLine())
                return;
            const QByteArray line = socket->readLine(kMaxRequestBytes);
            if (line != kActivate) {
                socket->disconnectFromServer();
                return;
            }
            emit activationRequested();
            // Answer once the window system has had the raise, so the asking instance's
            // notice comes up after it, on top, rather than behind our window.
            QTimer::singleShot(kAnswerDelayMs, socket, [socket] {
                socket->write(kAnswer.data(), kAnswer.size());
                socket->flush();
                socket->disconnectFromServer();
            });
        });
    }
}

bool SingleInstanceGuard::askRunningToActivate(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    if (!slotChosen_) {
        const int slot = firstUsableSlot();
        if (slot < 0)
            return false;
        useSlot(slot);
        slotChosen_ = true;
    }
    while (true) {
        // Only a socket of our own user's is asked: anyone else's could be listening to learn
        // when we start, or answer in our stead.
        if (folder_.isEmpty() || fileOwner(serverName_) == FileOwner::Foreign)
            return false;
        QLocalSocket socket;
        socket.connectToServer(serverName_);
        if (socket.waitForConnected(remaining(deadline))) {
            socket.write(kActivate.data(), kActivate.size());
            if (!socket.waitForBytesWritten(remaining(deadline)))
                return false;
            while (!socket.canReadLine() && socket.waitForReadyRead(remaining(deadline))) {
            }
            const bool answered = socket.canReadLine() && socket.readLine(kMaxRequestBytes) == kAnswer;
            socket.disconnectFromServer();
            return answered;
        }
        // The winner of a simultaneous start may not be listening yet.
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
}

bool bringApplicationWindowForward()
{
    QWidget* target = QApplication::activeModalWidget();
    if (!target) {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible() && !widget->isMinimized() && widget->windowType() != Qt::ToolTip) {
                target = widget;
                break;
            }
        }
    }
    if (!target) {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->isMinimized()) {
                target = widget;
                break;
            }
        }
    }
    if (!target)
        return false;
    if (target->isMinimized())
        target->showNormal();
    target->raise();
    target->activateWindow();
    return true;
}

} // namespace talvo::platform
