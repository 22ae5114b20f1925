#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>

// The main window's unload must end the whole process with status 0, also when the page
// keeps its renderer busy.
TEST(MainWindowProcess, UnloadEndsTheProcess)
{
    for (const char* mode : {"exitok", "close", "busy"}) {
        QProcess probe;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("talvo.windows.info=true"));
        probe.setProcessEnvironment(environment);
        probe.setProcessChannelMode(QProcess::MergedChannels);
        QElapsedTimer clock;
        clock.start();
        probe.start(QStringLiteral(TALVO_EXIT_PROBE), {QString::fromLatin1(mode)});
        ASSERT_TRUE(probe.waitForStarted(10000)) << mode;
        const bool finished = probe.waitForFinished(60000);
        const QString output = QString::fromUtf8(probe.readAll());
        if (!finished) {
            probe.kill();
            probe.waitForFinished(5000);
        }
        ASSERT_TRUE(finished) << mode << " still running after " << clock.elapsed() << " ms\n" << output.toStdString();
        EXPECT_EQ(probe.exitStatus(), QProcess::NormalExit) << mode << "\n" << output.toStdString();
        EXPECT_EQ(probe.exitCode(), 0) << mode << "\n" << output.toStdString();
        EXPECT_TRUE(output.contains(QStringLiteral("main window unloaded"))) << mode << "\n" << output.toStdString();
        std::printf("%s: ended after %lld ms\n", mode, static_cast<long long>(clock.elapsed()));
    }
}
