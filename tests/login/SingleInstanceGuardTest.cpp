#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <future>
#include <optional>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "platform/gui/SingleInstanceGuard.h"
#include "platform/gui/SingleInstanceLock.h"

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

// The program takes the lock before its application object exists and listens only later;
// a start in between keeps asking until the socket is there.
TEST_F(SingleInstanceGuardTest, TheLockDecidesFirstAndTheSocketListensLater)
{
    SingleInstanceGuard first(key_, folder_.path());
    SingleInstanceGuard second(key_, folder_.path());
    EXPECT_EQ(first.tryLockFirst(), std::optional<bool>(true));
    EXPECT_EQ(second.tryLockFirst(), std::optional<bool>(false));
    EXPECT_EQ(first.tryLockFirst(), std::optional<bool>(true)) << "asking again gives the same answer";

    QSignalSpy activations(&first, &SingleInstanceGuard::activationRequested);
    std::future<bool> asked = askFromAnotherStart();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(QFile::exists(first.serverName())) << "nothing listens before tryAcquire";
    EXPECT_TRUE(first.tryAcquire());
    EXPECT_TRUE(answerOf(asked)) << "the start that asked meanwhile is answered";
    EXPECT_EQ(activations.count(), 1);

    // Near the end: later starts are no longer answered, and still do not get the lock.
    first.stopListening();
    EXPECT_FALSE(QFile::exists(first.serverName()));
    SingleInstanceGuard third(key_, folder_.path());
    EXPECT_FALSE(third.tryAcquire());
    EXPECT_FALSE(third.askRunningToActivate(200));
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

// The temp folder fallback, where other users can leave anything under our names.
// Needs root to make files of another user's.
class SharedTempFolderTest : public SingleInstanceGuardTest {
protected:
    static constexpr uid_t kStranger = 12345;

    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "making another user's files needs root";
        ASSERT_TRUE(scratch_.isValid());
        const char* names[] = {"TMPDIR", "XDG_RUNTIME_DIR"};
        for (int i = 0; i < 2; ++i) {
            saved_[i] = qEnvironmentVariable(names[i]);
            savedSet_[i] = qEnvironmentVariableIsSet(names[i]);
        }
        qputenv("TMPDIR", QFile::encodeName(scratch_.path()));
        qunsetenv("XDG_RUNTIME_DIR");
    }
    void TearDown() override
    {
        const char* names[] = {"TMPDIR", "XDG_RUNTIME_DIR"};
        for (int i = 0; i < 2; ++i) {
            if (savedSet_[i])
                qputenv(names[i], QFile::encodeName(saved_[i]));
            else
                qunsetenv(names[i]);
        }
    }

    QString ours(int n) const
    {
        const QString base = scratch_.filePath(QStringLiteral("talvo-") + QString::number(::getuid()));
        return n == 0 ? base : base + u'.' + QString::number(n);
    }
    static QByteArray native(const QString& path) { return QFile::encodeName(path); }

    static bool makeFolder(const QString& path, mode_t mode, uid_t owner)
    {
        return ::mkdir(native(path).constData(), 0700) == 0 && ::chmod(native(path).constData(), mode) == 0
            && ::chown(native(path).constData(), owner, owner) == 0;
    }
    static bool makeFile(const QString& path, const QByteArray& bytes, uid_t owner)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && (file.close(), true)
            && ::chown(native(path).constData(), owner, owner) == 0;
    }
    // A listening socket at path, owned by owner; its descriptor, to see who connected.
    static int makeListeningSocket(const QString& path, uid_t owner)
    {
        const QByteArray name = native(path);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (static_cast<std::size_t>(name.size()) >= sizeof address.sun_path)
            return -1;
        std::copy(name.begin(), name.end(), address.sun_path);
        const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (s < 0 || ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(s, 4) != 0
            || ::chown(name.constData(), owner, owner) != 0)
            return -1;
        return s;
    }
    static uid_t ownerOf(const QString& path)
    {
        struct stat info { };
        return ::lstat(native(path).constData(), &info) == 0 ? info.st_uid : uid_t(-1);
    }

    // A later start through the per-user runtime folder, on a thread of its own.
    std::future<bool> askFromAnotherDefaultStart()
    {
        return std::async(std::launch::async, [key = key_] {
            SingleInstanceGuard later(key);
            return !later.tryAcquire() && later.askRunningToActivate(3000);
        });
    }

    QTemporaryDir scratch_;
    QString saved_[2];
    bool savedSet_[2] = {};
};

TEST_F(SharedTempFolderTest, OnlyAPrivateFolderOfOurOwnIsUsed)
{
    // The runtime folder counts only when it is ours alone.
    const QString runtime = scratch_.filePath(QStringLiteral("runtime"));
    ASSERT_TRUE(makeFolder(runtime, 0755, ::geteuid()));
    qputenv("XDG_RUNTIME_DIR", native(runtime));
    EXPECT_EQ(perUserRuntimeFolder(), ours(0)) << "a runtime folder others can enter";
    ASSERT_TRUE(QDir(ours(0)).removeRecursively());
    ASSERT_EQ(::chmod(native(runtime).constData(), 0700), 0);
    ASSERT_EQ(::chown(native(runtime).constData(), kStranger, kStranger), 0);
    EXPECT_EQ(perUserRuntimeFolder(), ours(0)) << "another user's runtime folder";
    ASSERT_TRUE(QDir(ours(0)).removeRecursively());
    ASSERT_EQ(::chown(native(runtime).constData(), ::geteuid(), ::getegid()), 0);
    EXPECT_EQ(perUserRuntimeFolder(), runtime);
    qunsetenv("XDG_RUNTIME_DIR");

    // In the shared temp folder, every name someone else took is passed over.
    ASSERT_TRUE(makeFolder(ours(0), 0700, kStranger));
    ASSERT_TRUE(makeFolder(scratch_.filePath(QStringLiteral("elsewhere")), 0700, ::geteuid()));
    ASSERT_EQ(
        ::symlink(native(scratch_.filePath(QStringLiteral("elsewhere"))).constData(), native(ours(1)).constData()), 0);
    ASSERT_TRUE(makeFolder(ours(2), 0770, ::geteuid()));
    ASSERT_TRUE(makeFile(ours(3), "not a folder", ::geteuid()));
    EXPECT_EQ(perUserRuntimeFolder(), ours(4));
    struct stat info { };
    ASSERT_EQ(::lstat(native(ours(4)).constData(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(perUserRuntimeFolder(), ours(4)) << "every start walks to the same one";
    EXPECT_EQ(ownerOf(ours(0)), kStranger) << "another user's folder is left as it is";
    EXPECT_TRUE(QDir(ours(0)).isEmpty());
    EXPECT_TRUE(QDir(scratch_.filePath(QStringLiteral("elsewhere"))).isEmpty());

    // The instances meet there: the first runs, the next finds it.
    SingleInstanceGuard first(key_);
    EXPECT_TRUE(first.lockPath().startsWith(ours(4) + u'/')) << first.lockPath().toStdString();
    ASSERT_TRUE(first.tryAcquire());
    QSignalSpy activations(&first, &SingleInstanceGuard::activationRequested);
    std::future<bool> asked = askFromAnotherDefaultStart();
    EXPECT_TRUE(activations.wait(2000));
    EXPECT_TRUE(answerOf(asked));
}

TEST_F(SharedTempFolderTest, AnotherUsersLockOrSocketIsNeverUsed)
{
    ASSERT_TRUE(makeFolder(ours(0), 0700, ::geteuid()));
    const QString names = ours(0) + QStringLiteral("/") + key_ + u'-' + QString::number(::getuid());
    // Name pair 0: the lock is a link to a file of ours; pair 1: the lock is another user's;
    // pair 2: another user's socket listens. Pair 3 is the first that is ours to use.
    const QString target = scratch_.filePath(QStringLiteral("target"));
    ASSERT_TRUE(makeFile(target, "keep", ::geteuid()));
    ASSERT_EQ(::symlink(native(target).constData(), native(names + QStringLiteral(".lock")).constData()), 0);
    ASSERT_TRUE(makeFile(names + QStringLiteral(".1.lock"), "theirs", kStranger));
    const int stranger = makeListeningSocket(names + QStringLiteral(".2.sock"), kStranger);
    ASSERT_GE(stranger, 0);

    SingleInstanceGuard first(key_);
    ASSERT_TRUE(first.tryAcquire()) << "we start normally";
    EXPECT_EQ(first.lockPath(), names + QStringLiteral(".3.lock"));
    EXPECT_EQ(first.serverName(), names + QStringLiteral(".3.sock"));

    QSignalSpy activations(&first, &SingleInstanceGuard::activationRequested);
    std::future<bool> asked = askFromAnotherDefaultStart();
    EXPECT_TRUE(activations.wait(2000));
    EXPECT_TRUE(answerOf(asked)) << "the next start still finds us";

    // Nothing of theirs was touched, nor connected to.
    EXPECT_EQ(::accept(stranger, nullptr, nullptr), -1);
    EXPECT_TRUE(errno == EAGAIN || errno == EWOULDBLOCK);
    ::close(stranger);
    EXPECT_EQ(ownerOf(names + QStringLiteral(".1.lock")), kStranger);
    EXPECT_EQ(ownerOf(names + QStringLiteral(".2.sock")), kStranger);
    QFile theirs(names + QStringLiteral(".1.lock"));
    ASSERT_TRUE(theirs.open(QIODevice::ReadOnly));
    EXPECT_EQ(theirs.readAll(), "theirs");
    QFile kept(target);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "keep");
}

} // namespace
} // namespace talvo::platform
