#include <gtest/gtest.h>

#include <QApplication>
#include <QLoggingCategory>

#include <unistd.h>

#include "GuiSupport.h"

namespace {
QtMessageHandler previousHandler = nullptr;

void recordMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (context.category && qstrcmp(context.category, "talvo.windows") == 0) {
        windowLog().append(message);
        return;
    }
    if (context.category && qstrcmp(context.category, "js") == 0)
        return; // the test pages' console
    if (previousHandler)
        previousHandler(type, context, message);
}
} // namespace

QStringList& windowLog()
{
    static QStringList lines;
    return lines;
}

void recordWindowLog()
{
    QLoggingCategory::setFilterRules(QStringLiteral("talvo.windows.info=true"));
    previousHandler = qInstallMessageHandler(recordMessage);
}

int countLines(const QString& line)
{
    return static_cast<int>(windowLog().count(line));
}

int main(int argc, char** argv)
{
    // WebEngine will not start as root with its sandbox on.
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Talvo"));
    recordWindowLog();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
