// A whole main window in a process of its own, for the tests that the process really
// ends. Usage: talvo_main_exit_probe exitok|busy|close
#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "GuiSupport.h"
#include "LoopbackServer.h"
#include "browser/Profile.h"
#include "browser/WarmUp.h"
#include "main/frmMain.h"

int main(int argc, char** argv)
{
    if (argc != 2)
        return 64;
    const std::string mode = argv[1];
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Talvo"));

    std::string script;
    if (mode == "exitok")
        script = "setTimeout(function(){document.title='VB:EXITOK';},300);";
    else if (mode == "busy") // the page never lets go of its renderer after the command
        script = "setTimeout(function(){document.title='VB:EXITOK'; for(;;){}},300);";
    else if (mode != "close")
        return 64;
    talvo::test::LoopbackServer server(talvo::test::answering(
        200, "<html><head><title>app</title></head><body><script>" + script + "</script></body></html>",
        "Content-Type: text/html; charset=utf-8\r\n"));

    FakeLogin login;
    login.title = QStringLiteral("Alderan");
    login.member = QStringLiteral("qv1");
    login.visit = QStringLiteral("127.0.0.1:%1").arg(server.port());
    talvo::browser::Profile profile;
    talvo::browser::WarmUp warmUp(profile);
    talvo::frmMain& window = talvo::frmMain::instance();
    window.setLoginView(&login);
    window.setBrowserWarmUp(&warmUp);
    window.Copyright = QStringLiteral("1");
    window.Show();
    if (mode == "close")
        QTimer::singleShot(1500, &window, &QWidget::close);

    const int status = app.exec();
    std::fprintf(stderr, "event loop left with %d\n", status);
    return status;
}
