#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <future>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/gui/SingleInstanceGuard.h"

namespace talvo::platform {
namespace {

class SingleInstanceGuardTest : public testing::Test {
protected:
    // A later start, on a thread of its own so that this thread's event loop can answer.
    std::future<bool> askFromAnotherStart(int timeoutMs = 3000)
    {
        return std::async(std::launch::async, [folder = folder_.path(), key = key_, timeoutMs] {
            SingleInstanceGuard later(key, folder);
            return !later.tryAcquire() && later.askRunningToActivate(timeoutMs);
        });
    }

    // Runs this thread's event loop (the running instance's side) until the asker is done.
    static bool answerOf(std::future<bool>& asked)
    {
        QElapsedTimer timer;
        timer.start();
        while (asked.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready && timer.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return asked.wait_for(std::chrono::seconds(0)) == std::future_status::ready && asked.get();
    }

    QTemporaryDir folder_;
    const QString key_ = QStringLiteral("guard-test");
};

TEST_F(SingleInstanceGuardTest, OnlyTheFirstGuardWinsAndTheLoserReachesIt)
{
    ASSERT_TRUE(folder_.isValid());
    SingleInstanceGuard first(key_, folder_.path());
    SingleInstanceGuard second(key_, folder_.path());
    QSignalSpy activations(&first, &SingleInstanceGuard::activationRequested);

    EXPECT_TRUE(first.tryAcquire());
    EXPECT_FALSE(second.tryAcquire());
    EXPECT_TRUE(first.tryAcquire()) << "asking again gives the same answer";
    EXPECT_FALSE(second.isPrimary());

    std::future<bool> asked = askFromAnotherStart();
    EXPECT_TRUE(activations.wait(2000));
    EXPECT_TRUE(answerOf(asked)) << "the answer comes after the activation";
    EXPECT_EQ(activations.count(), 1);
}

TEST_F(SingleInstanceGuardTest, ABusyInstanceLeavesTheAskerWaitingOnlyUntilTheDeadline)
{
    SingleInstanceGuard first(key_, folder_.path());
    ASSERT_TRUE(first.tryAcquire());
    QSignalSpy activations(&first, &SingleInstanceGuard::activationRequested);
    // This thread runs no event loop meanwhile: the running instance is busy.
    SingleInstanceGuard second(key_, folder_.path());
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(second.askRunningToActivate(300));
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_TRUE(activations.wait(2000)) << "the request is still served once the instance is free";
}

TEST_F(SingleInstanceGuardTest, ReleasedWhenTheHolderGoes)
{
    {
        SingleInstanceGuard first(key_, folder_.path());
        ASSERT_TRUE(first.tryAcquire());
    }
    SingleInstanceGuard next(key_, folder_.path());
    EXPECT_TRUE(next.tryAcquire());
}

TEST_F(SingleInstanceGuardTest, AskingNobodyEndsInTime)
{
    // The lock is held by a plain descriptor: nobody listens on the socket.
    SingleInstanceGuard probe(key_, folder_.path());
    const int fd = ::open(QFile::encodeName(probe.lockPath()).constData(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);

    EXPECT_FALSE(probe.tryAcquire());
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(probe.askRunningToActivate(300));
    EXPECT_LT(timer.elapsed(), 2000);
    ::close(fd);
}

TEST_F(SingleInstanceGuardTest, StrangersOnTheSocketAreIgnored)
{
    SingleInstanceGuard first(key_, folder_.path());
    ASSERT_TRUE(first.tryAcquire());
    QSignalSpy activations(&first, &SingleInstanceGuard::activationRequested);

    QLocalSocket stranger;
    stranger.connectToServer(first.serverName());
    ASSERT_TRUE(stranger.waitForConnected(1000));
    stranger.write(QByteArray(200, 'x'));
    stranger.write("\nactivatex\n");
    stranger.flush();
    EXPECT_FALSE(activations.wait(500));
    EXPECT_EQ(activations.count(), 0);
}

TEST_F(SingleInstanceGuardTest, ALockLeftByAKilledProcessDoesNotBlock)
{
    SingleInstanceGuard layout(key_, folder_.path());
    const QByteArray lockPath = QFile::encodeName(layout.lockPath());
    const QByteArray socketPath = QFile::encodeName(layout.serverName());
    ASSERT_LT(static_cast<std::size_t>(socketPath.size()), sizeof(sockaddr_un::sun_path));

    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Only async-signal-safe calls here: the parent has threads.
        const int fd = ::open(lockPath.constData(), O_RDWR | O_CREAT, 0600);
        if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0)
            ::_exit(3);
        const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        for (int i = 0; i < socketPath.size(); ++i)
            address.sun_path[i] = socketPath[i];
        if (s < 0 || ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(s, 1) != 0)
            ::_exit(4);
        const char byte = 'r';
        if (::write(ready[1], &byte, 1) != 1)
            ::_exit(5);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1) << "the child could not take the lock";
    ::close(ready[0]);

    {
        SingleInstanceGuard whileAlive(key_, folder_.path());
        EXPECT_FALSE(whileAlive.tryAcquire());
    }
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(QFile::exists(layout.serverName())) << "the dead process's socket file stays behind";

    SingleInstanceGuard next(key_, folder_.path());
    EXPECT_TRUE(next.tryAcquire());
    QSignalSpy activations(&next, &SingleInstanceGuard::activationRequested);
    std::future<bool> asked = askFromAnotherStart();
    EXPECT_TRUE(activations.wait(2000));
    EXPECT_TRUE(answerOf(asked)) << "the stale socket was replaced";
}

TEST_F(SingleInstanceGuardTest, AnUnusableFolderDoesNotStopTheStart)
{
    QFile plain(folder_.filePath(QStringLiteral("not-a-folder")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    SingleInstanceGuard guard(key_, plain.fileName() + QStringLiteral("/inside"));
    EXPECT_TRUE(guard.tryAcquire());
}

QString probePath() { return QStringLiteral(TALVO_GUARD_PROBE); }

TEST_F(SingleInstanceGuardTest, SimultaneousStartsLeaveExactlyOneRunning)
{
    constexpr int kStarts = 4;
    std::vector<std::unique_ptr<QProcess>> starts;
    for (int i = 0; i < kStarts; ++i) {
        auto p = std::make_unique<QProcess>();
        p->setProgram(probePath());
        p->setArguments({folder_.path(), key_, QStringLiteral("3000")});
        starts.push_back(std::move(p));
    }
    for (auto& p : starts)
        p->start();

    int primaries = 0;
    int asked = 0;
    QProcess* primary = nullptr;
    for (auto& p : starts) {
        ASSERT_TRUE(p->waitForStarted(5000));
        ASSERT_TRUE(p->waitForReadyRead(5000));
        const QByteArray first = p->readLine().trimmed();
        if (first == "primary") {
            ++primaries;
            primary = p.get();
        } else {
            ASSERT_EQ(first, "secondary");
            ASSERT_TRUE(p->waitForFinished(5000));
            asked += p->readAll().trimmed() == "asked" ? 1 : 0;
        }
    }
    ASSERT_EQ(primaries, 1);
    EXPECT_EQ(asked, kStarts - 1);
    ASSERT_TRUE(primary->waitForFinished(6000));
    EXPECT_EQ(primary->readAll().count("activated"), kStarts - 1);
}

TEST_F(SingleInstanceGuardTest, AKilledInstanceIsReplacedByTheNextStart)
{
    QProcess first;
    first.start(probePath(), {folder_.path(), key_, QStringLiteral("30000")});
    ASSERT_TRUE(first.waitForReadyRead(5000));
    ASSERT_EQ(first.readLine().trimmed(), "primary");
    first.kill();
    ASSERT_TRUE(first.waitForFinished(5000));

    QProcess next;
    next.start(probePath(), {folder_.path(), key_, QStringLiteral("100")});
    ASSERT_TRUE(next.waitForReadyRead(5000));
    EXPECT_EQ(next.readLine().trimmed(), "primary");
    EXPECT_TRUE(next.waitForFinished(5000));
}

} // namespace
} // namespace talvo::platform
