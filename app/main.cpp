// The talvo executable and what it is made of: the single-instance guard, the start's
// address lookup, the browser profile and its warm-up, the login window and the main
// window, wired here and nowhere else; then the login window's load handler and the event
// loop.
#include <QApplication>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "browser/Accessibility.h"
#include "browser/Language.h"
#include "browser/Profile.h"
#include "browser/ProxySetup.h"
#include "browser/WarmUp.h"
#include "login/frmLogin.h"
#include "login/logic/AddressLookup.h"
#include "login/logic/Edition.h"
#include "login/logic/LookupAhead.h"
#include "login/logic/StartupOptions.h"
#include "main/frmMain.h"
#include "main/logic/ContactAhead.h"
#include "net/xmlHttp.h"
#include "platform/ProgramInfo.h"
#include "platform/Utf.h"
#include "platform/gui/Diagnostics.h"
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

// The service's name in a request's address: what comes after the last "/" before the query.
std::string serviceName(const std::u16string& url)
{
    const std::u16string path = url.substr(0, url.find(u'?'));
    return talvo::platform::toUtf8(path.substr(path.rfind(u'/') + 1));
}

// Each service request, when it goes out and when its answer is in, on the start-up timeline.
talvo::loginlogic::RequestFactory timed(talvo::loginlogic::RequestFactory requests)
{
    return [requests = std::move(requests)] {
        talvo::loginlogic::GetRequest get = requests();
        return talvo::loginlogic::GetRequest([get](const std::u16string& url) {
            const std::string name = serviceName(url);
            talvo::platform::logStartupStep(("service request sent: " + name).c_str());
            std::u16string answer = get(url);
            talvo::platform::logStartupStep(("service request answered: " + name).c_str());
            return answer;
        });
    };
}

talvo::mainlogic::ContactRequest timedContact(talvo::HttpLimits limits)
{
    return [limits](const std::u16string& act, const std::u16string& url, const std::u16string& para) {
        const std::string name = serviceName(url);
        talvo::platform::logStartupStep(("service request sent: " + name).c_str());
        talvo::Variant answer = talvo::xmlHttp(limits).SmsXmlHttp(act, url, para);
        talvo::platform::logStartupStep(("service request answered: " + name).c_str());
        return answer;
    };
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
    const talvo::loginlogic::StartupOptions options = talvo::loginlogic::parseStartupOptions(args);
    switch (options.action) {
    case talvo::loginlogic::StartupOptions::Action::Help: printLine(stdout, talvo::loginlogic::usageText()); return 0;
    case talvo::loginlogic::StartupOptions::Action::Version:
        printLine(stdout, u"talvo " TALVO_VERSION_U16 u"\n");
        return 0;
    case talvo::loginlogic::StartupOptions::Action::Error:
        printLine(stderr, u"talvo: " + options.error + u"\nTry 'talvo --help'.\n");
        return 2;
    case talvo::loginlogic::StartupOptions::Action::Run: break;
    }

    // The embedded browser refuses to start as root with its sandbox on.
    if (runningAsRoot() && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        std::fputs("talvo: running as root, browser sandbox disabled\n", stderr);
    }
    talvo::browser::useEnvironmentProxies();
    talvo::browser::exposePagesToScreenReaders();

    const std::u16string serverHost = options.serverHost.value_or(TALVO_SERVER_HOST_U16);
    const std::u16string leaveUrl = options.leaveUrl.value_or(TALVO_LEAVE_URL_U16);
    const talvo::HttpLimits limits = options.httpLimits.value_or(talvo::HttpLimits{});

    // Before the application object, which takes a while to make: the lock tells whether
    // this start goes on, and a start whose name gives the edition sends its requests now,
    // in the order they always go, while the windows and the browser engine are made.
    talvo::platform::SingleInstanceGuard guard;
    talvo::mainlogic::ContactAhead contactAhead;
    std::shared_ptr<talvo::loginlogic::LookupAhead> lookupAhead;
    if (guard.tryLockFirst() == true) {
        if (const talvo::loginlogic::Edition* edition = talvo::loginlogic::editionForStartName(
                talvo::platform::startName())) {
            const std::u16string member(edition->member);
            lookupAhead = talvo::loginlogic::LookupAhead::start(
                talvo::loginlogic::AddressLookup(timed(talvo::loginlogic::xmlHttpRequests(limits))), serverHost, member,
                contactAhead.job(member, serverHost, timedContact(limits)), talvo::frmLogin::attemptLog());
        }
    }

    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Talvo"));
    QApplication::setApplicationVersion(QString::fromUtf16(TALVO_VERSION_U16));
    talvo::browser::useChineseEverywhere(app);
    talvo::platform::logStartupStep("application ready");

    QObject::connect(&guard, &talvo::platform::SingleInstanceGuard::activationRequested,
                     [] { talvo::platform::bringApplicationWindowForward(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &guard,
                     &talvo::platform::SingleInstanceGuard::stopListening);

    // Destroyed in reverse: the login window, then a warmed-up page nobody took, then the
    // profile, whose session then reaches the disk (the main window's pages went with the
    // event loop).
    talvo::browser::Profile profile;
    talvo::browser::WarmUp warmUp(profile);
    // Lives until the event loop is over: the main window reads it for its whole life.
    talvo::frmLogin login(
        talvo::frmLogin::Defaults{QString::fromStdU16String(serverHost), QString::fromStdU16String(leaveUrl)});
    talvo::frmMain& main = talvo::frmMain::instance();

    login.services().isFirstInstance = [&guard] { return guard.tryAcquire(); };
    login.services().bringRunningForward = [&guard] { guard.askRunningToActivate(); };
    login.services().startBrowser = [&warmUp] { warmUp.startEngine(); };
    login.services().prepareBrowserPage = [&warmUp] { warmUp.preparePage(); };
    login.services().dropBrowserPage = [&warmUp] { warmUp.dropPage(); };
    login.services().setMainCopyright = [&main](const QString& code) { main.Copyright = code; };
    login.services().showMain = [&main] { main.Show(); };
    login.services().prepareMain = [&main] { main.prepare(); };
    login.services().mainOnScreen = [&main, &login](std::function<void()> onScreen) {
        QObject::connect(&main, &talvo::frmMain::shown, &login, std::move(onScreen), Qt::SingleShotConnection);
    };
    login.services().contactLookupJob = [&main](const QString& code) { return main.contactLookupJob(code); };
    main.setLoginView(&login);
    main.setBrowserWarmUp(&warmUp);
    main.setContactHost(QString::fromStdU16String(serverHost));
    main.setDevToolsAllowed(options.devTools);
    login.services().requests = timed(talvo::loginlogic::xmlHttpRequests(limits));
    main.setContactRequest(timedContact(limits));
    main.setContactAhead(contactAhead);
    login.services().lookupAhead = std::move(lookupAhead);

    switch (login.Form_Load()) {
    case talvo::frmLogin::LoadResult::SecondInstance:
        // Only the notice is up; the program ends (status 0) once it is closed.
        return app.exec();
    case talvo::frmLogin::LoadResult::WaitForUser: login.show(); break;
    case talvo::frmLogin::LoadResult::LookingUp: break;
    }
    return app.exec();
}
