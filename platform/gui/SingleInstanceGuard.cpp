#include "platform/gui/SingleInstanceGuard.h"

#include <QApplication>
#include <climits>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include "platform/gui/SingleInstanceLock.h"

namespace talvo::platform {

namespace {
constexpr QByteArrayView kActivate = "activate\n";
constexpr QByteArrayView kAnswer = "ok\n";
constexpr qint64 kMaxRequestBytes = 64; // anything longer is not one of ours
constexpr int kAnswerDelayMs = 100;

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
    const QString base = key + u'-' + perUserTag();
    lockPath_ = QDir(folder).filePath(base + QStringLiteral(".lock"));
    serverName_ = localServerNameFor(folder, base + QStringLiteral(".sock"));
}

SingleInstanceGuard::~SingleInstanceGuard()
{
    if (server_)
        server_->close(); // removes the socket file before the lock goes
}

bool SingleInstanceGuard::tryAcquire()
{
    if (decided_)
        return primary_;
    decided_ = true;

    switch (lock_->tryLock(lockPath_)) {
    case InstanceLock::Result::HeldElsewhere:
        primary_ = false;
        return false;
    case InstanceLock::Result::Unavailable: {
        // Without a lock file, a running instance can still be found by its socket;
        // when none answers, starting beats refusing to start.
        qWarning("single-instance lock %s unavailable; looking for a running instance by its socket",
                 qUtf8Printable(lockPath_));
        QLocalSocket probe;
        probe.connectToServer(serverName_);
        if (probe.waitForConnected(500)) {
            probe.disconnectFromServer();
            primary_ = false;
            return false;
        }
        break;
    }
    case InstanceLock::Result::Acquired:
        // Whoever left a socket behind is gone: the lock is ours.
        QLocalServer::removeServer(serverName_);
        break;
    }

    primary_ = true;
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(serverName_)) {
        qWarning("single-instance socket %s: %s", qUtf8Printable(serverName_),
                 qUtf8Printable(server_->errorString()));
    }
    connect(server_, &QLocalServer::newConnection, this, &SingleInstanceGuard::onNewConnection);
    return true;
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
    while (true) {
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
