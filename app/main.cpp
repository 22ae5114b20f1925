// The talvo executable: one instance per user, the edition from the start name, the
// login window's load handler, then the event loop.
#include <QApplication>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "browser/Accessibility.h"
#include "browser/Language.h"
#include "browser/Profile.h"
#include "browser/ProxySetup.h"
#include "browser/WarmUp.h"
#include "login/frmLogin.h"
#include "login/logic/StartupOptions.h"
#include "login/logic/AddressLookup.h"
#include "main/frmMain.h"
#include "net/xmlHttp.h"
#include "platform/ProgramInfo.h"
#include "platform/Utf.h"
#include "platform/gui/SingleInstanceGuard.h"

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace {

void printLine(std::FILE* stream, const std::u16string& text)
{
    const std::string bytes = talvo::platform::toUtf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
}

bool runningAsRoot()
{
#if defined(_WIN32)
    return false;
#else
    return ::geteuid() == 0;
#endif
}

} // namespace

int main(int argc, char** argv)
{
    talvo::platform::recordStartName(argc > 0 ? argv[0] : "");

    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(talvo::platform::fromUtf8(argv[i]));
    const talvo::login::StartupOptions options = talvo::login::parseStartupOptions(args);
    switch (options.action) {
    case talvo::login::StartupOptions::Action::Help:
        printLine(stdout, talvo::login::usageText());
        return 0;
    case talvo::login::StartupOptions::Action::Version:
        printLine(stdout, u"talvo " TALVO_VERSION_U16 u"\n");
        return 0;
    case talvo::login::StartupOptions::Action::Error:
        printLine(stderr, u"talvo: " + options.error + u"\nTry 'talvo --help'.\n");
        return 2;
    case talvo::login::StartupOptions::Action::Run:
        break;
    }

    // The embedded browser refuses to start as root with its sandbox on.
    if (runningAsRoot() && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        std::fputs("talvo: running as root, browser sandbox disabled\n", stderr);
    }
    talvo::browser::useEnvironmentProxies();
    talvo::browser::exposePagesToScreenReaders();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Talvo"));
    QApplication::setApplicationVersion(QString::fromUtf16(TALVO_VERSION_U16));
    talvo::browser::useChineseEverywhere(app);

    const QString serverHost = options.serverHost ? QString::fromStdU16String(*options.serverHost)
                                                  : QString::fromUtf16(TALVO_SERVER_HOST_U16);
    const QString leaveUrl = options.leaveUrl ? QString::fromStdU16String(*options.leaveUrl)
                                              : QString::fromUtf16(TALVO_LEAVE_URL_U16);

    talvo::platform::SingleInstanceGuard guard;
    QObject::connect(&guard, &talvo::platform::SingleInstanceGuard::activationRequested,
                     [] { talvo::platform::bringApplicationWindowForward(); });

    // Lives until the event loop is over: the main window reads it for its whole life.
    talvo::frmLogin login(talvo::frmLogin::Defaults{serverHost, leaveUrl});
    login.services().isFirstInstance = [&guard] { return guard.tryAcquire(); };
    login.services().bringRunningForward = [&guard] { guard.askRunningToActivate(); };
    login.services().startBrowser = [] { talvo::browser::warmup::startEngine(); };
    login.services().prepareBrowserPage = [] { talvo::browser::warmup::preparePage(); };
    login.services().dropBrowserPage = [] { talvo::browser::warmup::dropPage(); };
    talvo::frmMain::instance().setLoginView(&login);
    talvo::frmMain::instance().setContactHost(serverHost);
    talvo::frmMain::instance().setDevToolsAllowed(options.devTools);
    if (options.httpLimits) {
        const talvo::HttpLimits limits = *options.httpLimits;
        login.services().requests = talvo::login::xmlHttpRequests(limits);
        talvo::frmMain::instance().setContactRequest(
            [limits](const std::u16string& act, const std::u16string& url, const std::u16string& para) {
                return talvo::xmlHttp(limits).SmsXmlHttp(act, url, para);
            });
    }

    switch (login.Form_Load()) {
    case talvo::frmLogin::LoadResult::SecondInstance:
        // Only the notice is up; the program ends (status 0) once it is closed.
        return app.exec();
    case talvo::frmLogin::LoadResult::WaitForUser:
        login.show();
        break;
    case talvo::frmLogin::LoadResult::LookingUp:
        break;
    }
    const int status = app.exec();
    // The windows' pages are gone by now; the session the profile holds goes to disk.
    talvo::browser::releaseProfile();
    return status;
}
