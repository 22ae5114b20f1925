#include "browser/BrowserPage.h"

#include <QAuthenticator>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QPointer>
#include <QWebEngineView>

#include "browser/PageDialogs.h"
#include "browser/Profile.h"
#include "browser/ProxySetup.h"
#include "browser/SiteGuard.h"
#include "platform/gui/Diagnostics.h"

namespace talvo::browser {

class BrowserPage::DialogScope {
public:
    explicit DialogScope(BrowserPage& page) : page_(&page) { ++page.dialogsOpen_; }
    ~DialogScope()
    {
        if (page_ && --page_->dialogsOpen_ == 0)
            emit page_->dialogsClosed();
    }
    DialogScope(const DialogScope&) = delete;
    DialogScope& operator=(const DialogScope&) = delete;

private:
    QPointer<BrowserPage> page_;
};

BrowserPage::BrowserPage(Role role, Profile& profile, QObject* parent)
    : QWebEnginePage(profile.engine(), parent), role_(role), profile_(profile)
{
    clock_.start();
    // A new document starts with a clean slate of dialogs.
    connect(this, &QWebEnginePage::loadStarted, this, [this] { flood_.reset(); });
    // Answering with an empty authenticator cancels the request: the engine then shows
    // what the server sent with its 401 instead of asking again and again.
    connect(this, &QWebEnginePage::authenticationRequired, this, [this](const QUrl& url, QAuthenticator* auth) {
        qCInfo(lcWindows).noquote() << "authentication refused: " + url.toString();
        *auth = QAuthenticator();
    });
    // A proxy that asks gets the user part of its address once; asked again soon after, the
    // credentials were wrong, and answering them again would only loop.
    connect(this, &QWebEnginePage::proxyAuthenticationRequired, this,
            [this](const QUrl& url, QAuthenticator* auth, const QString& proxyHost) {
                const auto credentials = environmentProxyCredentials(proxyHost);
                const bool askedAgain = proxyAnswered_.isValid() && proxyAnswered_.elapsed() < 10000
                    && proxyAnsweredHost_ == proxyHost;
                if (credentials && !askedAgain) {
                    auth->setUser(QString::fromStdString(credentials->user));
                    auth->setPassword(QString::fromStdString(credentials->password));
                    proxyAnswered_.start();
                    proxyAnsweredHost_ = proxyHost;
                    qCInfo(lcWindows).noquote() << "proxy credentials given: " + proxyHost + " for " + url.toString();
                    return;
                }
                qCInfo(lcWindows).noquote() << "proxy authentication refused: " + proxyHost + " for " + url.toString()
                        + (credentials ? " (credentials rejected)" : " (none known)");
                *auth = QAuthenticator();
            });
}

QString BrowserPage::roleName() const { return role_ == Role::Main ? QStringLiteral("main") : QStringLiteral("popup"); }

QWidget* BrowserPage::dialogParent() const
{
    QWidget* view = QWebEngineView::forPage(this);
    return view ? view->window() : nullptr;
}

bool BrowserPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame)
{
    if (!isMainFrame || !guard_)
        return true;
    return guard_->allowNavigation(*this, url, type);
}

bool BrowserPage::dialogsSuppressed()
{
    if (!flood_.suppressed())
        return false;
    qCInfo(lcWindows) << "page dialog suppressed";
    return true;
}

bool BrowserPage::offerToSuppress() { return flood_.offerToSuppress(clock_.elapsed()); }

namespace {

void noteSuppression(browserlogic::DialogFlood& flood, bool chosen)
{
    if (!chosen)
        return;
    flood.suppress();
    qCInfo(lcWindows) << "page dialogs stopped for this page";
}

} // namespace

void BrowserPage::javaScriptAlert(const QUrl&, const QString& msg)
{
    if (dialogsSuppressed())
        return;
    DialogScope scope(*this);
    bool stop = false;
    pagedialogs::alert(dialogParent(), msg, offerToSuppress() ? &stop : nullptr);
    noteSuppression(flood_, stop);
    qCInfo(lcWindows) << "page dialog answer: ok";
}

bool BrowserPage::javaScriptConfirm(const QUrl&, const QString& msg)
{
    // WebEngine routes a page's "leave this page?" question through here too, in the
    // language of the installed translation. Answering it "stay" would stop navigations
    // and closing for good, so that one is answered "leave" without a box.
    const QString beforeUnload = QCoreApplication::translate(
        "QWebEnginePage", "Are you sure you want to leave this page? Changes that you made may not be saved.");
    if (msg == beforeUnload) {
        qCInfo(lcWindows) << "page dialog: leave page answered";
        return true;
    }
    if (dialogsSuppressed())
        return false;
    DialogScope scope(*this);
    bool stop = false;
    const bool ok = pagedialogs::confirm(dialogParent(), msg, offerToSuppress() ? &stop : nullptr);
    noteSuppression(flood_, stop);
    qCInfo(lcWindows) << (ok ? "page dialog answer: ok" : "page dialog answer: cancel");
    return ok;
}

bool BrowserPage::javaScriptPrompt(const QUrl&, const QString& msg, const QString& defaultValue, QString* result)
{
    if (dialogsSuppressed())
        return false;
    DialogScope scope(*this);
    bool stop = false;
    const std::optional<QString> answer = pagedialogs::prompt(dialogParent(), msg, defaultValue,
                                                              offerToSuppress() ? &stop : nullptr);
    noteSuppression(flood_, stop);
    qCInfo(lcWindows) << (answer ? "page dialog answer: ok" : "page dialog answer: cancel");
    if (!answer)
        return false;
    *result = *answer;
    return true;
}

namespace {

// "*.csv *.txt" for accept=".csv,.txt,text/plain"; empty when nothing is known.
QString acceptedPatterns(const QStringList& accepted)
{
    QStringList patterns;
    const QMimeDatabase mime;
    for (const QString& entry : accepted) {
        if (entry.startsWith(QLatin1Char('.'))) {
            patterns << QLatin1Char('*') + entry;
        } else if (!entry.endsWith(QLatin1String("/*"))) {
            const QMimeType type = mime.mimeTypeForName(entry);
            if (type.isValid())
                patterns << type.globPatterns();
        }
    }
    patterns.removeDuplicates();
    return patterns.join(QLatin1Char(' '));
}

} // namespace

QStringList BrowserPage::chooseFiles(FileSelectionMode mode, const QStringList& oldFiles,
                                     const QStringList& acceptedMimeTypes)
{
    if (mode != FileSelectOpen && mode != FileSelectOpenMultiple)
        return QWebEnginePage::chooseFiles(mode, oldFiles, acceptedMimeTypes);
    QStringList filters;
    const QString patterns = acceptedPatterns(acceptedMimeTypes);
    if (!patterns.isEmpty())
        filters << QString::fromUtf16(u"可选文件 (%1)").arg(patterns);
    filters << QString::fromUtf16(u"所有文件 (*)");
    const QString& last = profile_.uploadFolder();
    const QString start = last.isEmpty() || !QFileInfo(last).isDir() ? QDir::homePath() : last;
    const QString title = QString::fromUtf16(u"打开");
    QStringList chosen;
    DialogScope scope(*this);
    qCInfo(lcWindows) << "file chooser opened";
    if (mode == FileSelectOpenMultiple) {
        chosen = QFileDialog::getOpenFileNames(dialogParent(), title, start, filters.join(QLatin1String(";;")));
    } else {
        const QString one = QFileDialog::getOpenFileName(dialogParent(), title, start,
                                                         filters.join(QLatin1String(";;")));
        if (!one.isEmpty())
            chosen << one;
    }
    if (!chosen.isEmpty())
        profile_.setUploadFolder(QFileInfo(chosen.constFirst()).absolutePath());
    qCInfo(lcWindows) << "file chooser chose" << chosen.size() << "files";
    return chosen;
}

} // namespace talvo::browser
