#include "browser/Profile.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

#include "browser/DesktopNotifications.h"
#include "platform/gui/Diagnostics.h"

namespace talvo::browser {

namespace {

QString folder(QStandardPaths::StandardLocation where)
{
    // The per-user location, e.g. ~/.local/share/Talvo and ~/.cache/Talvo.
    return QStandardPaths::writableLocation(where) + QStringLiteral("/browser");
}

} // namespace

Profile::Profile() = default;

Profile::~Profile() { delete engine_; }

DesktopNotifications* Profile::notifications() const { return notifications_; }

void Profile::setNotifications(DesktopNotifications* notifications) { notifications_ = notifications; }

QWebEngineProfile* Profile::engine()
{
    if (engine_)
        return engine_;
    auto* profile = engine_ = new QWebEngineProfile(QStringLiteral("talvo"));
    const QString storage = folder(QStandardPaths::AppDataLocation);
    const QString cache = folder(QStandardPaths::CacheLocation);
    // Only this user may read the session it keeps.
    for (const QString& path : {storage, cache}) {
        QDir().mkpath(path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    profile->setPersistentStoragePath(storage);
    profile->setCachePath(cache);
    profile->setHttpCacheType(QWebEngineProfile::DiskHttpCache);
    profile->setPersistentCookiesPolicy(QWebEngineProfile::AllowPersistentCookies);
    profile->setSpellCheckEnabled(false);
    profile->setHttpAcceptLanguage(QStringLiteral("zh-CN,zh;q=0.9"));
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    // Permissions are ours to decide each session (as 6.4 does): never one kept on disk
    // from a time the notification service was missing.
    profile->setPersistentPermissionsPolicy(QWebEngineProfile::PersistentPermissionsPolicy::StoreInMemory);
#endif

    QWebEngineSettings* settings = profile->settings();
    // Our popup windows take what a page opens; the page's own print view and the like
    // are opened by script.
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, true);
    settings->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, true);
    // The engine answers the asynchronous clipboard's write permission from this switch
    // (off, a copy button's writeText fails even after a click); a focused page may then
    // write, as in a stand-alone browser. Reading stays refused (JavascriptCanPaste).
    settings->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, true);
    settings->setAttribute(QWebEngineSettings::JavascriptCanPaste, false);
    // PDF documents (a contract the application generates or serves) show in the engine's
    // own viewer, which is a plugin of the engine's.
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, true);
    settings->setAttribute(QWebEngineSettings::PdfViewerEnabled, true);
    // A file dropped beside an upload zone must not replace the page and its half-filled form.
    settings->setAttribute(QWebEngineSettings::NavigateOnDropEnabled, false);
    // No switching the engine's own error pages on and off per page: ours are decided here.
    settings->setAttribute(QWebEngineSettings::ErrorPageEnabled, true);
    qCInfo(lcWindows).noquote() << "browser profile: storage=" + profile->persistentStoragePath()
            + " cache=" + profile->cachePath();
    return profile;
}

} // namespace talvo::browser
