#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>

#include <unistd.h>

#include "GuiSupport.h"
#include "browser/Profile.h"
#include "browser/WarmUp.h"

namespace {
QtMessageHandler previousHandler = nullptr;
talvo::browser::WarmUp* browserOfTests = nullptr;

void dropPageConsole(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (context.category && qstrcmp(context.category, "js") == 0)
        return; // the test pages' console
    if (previousHandler)
        previousHandler(type, context, message);
}
} // namespace

talvo::browser::WarmUp& testBrowser() { return *browserOfTests; }

int main(int argc, char** argv)
{
    // WebEngine will not start as root with its sandbox on.
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QString config;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        // A full-HD screen, so that the main window has its full size; how it fits smaller
        // screens is tested under a real X server and window manager.
        config = QDir::temp().filePath(QStringLiteral("talvo-offscreen-%1.json").arg(getpid()));
        QFile file(config);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            file.write(R"({"screens": [{"name": "offscreen", "x": 0, "y": 0, "width": 1920, "height": 1080,
                           "logicalDpi": 96, "logicalBpi": 96, "dpr": 1}]})");
            file.close();
            qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.toLocal8Bit());
        } else {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Talvo"));
    previousHandler = qInstallMessageHandler(dropPageConsole);
    talvo::browser::Profile profile;
    talvo::browser::WarmUp warmUp(profile);
    browserOfTests = &warmUp;
    ::testing::InitGoogleTest(&argc, argv);
    const int failed = RUN_ALL_TESTS();
    if (!config.isEmpty())
        QFile::remove(config); // the exit probe reads it too, so only now
    return failed;
}
