#include "browser/PagePermissions.h"

#include <QWebEngineFullScreenRequest>
#include <QWebEngineView>

#include "browser/BrowserPage.h"
#include "browser/DesktopNotifications.h"
#include "browser/FullScreenWindow.h"
#include "browser/Profile.h"
#include "browser/SiteGuard.h"
#include "browser/logic/NotificationBook.h"
#include "platform/gui/Diagnostics.h"

namespace talvo::browser {

namespace {

const char* featureName(QWebEnginePage::Feature feature)
{
    switch (feature) {
    case QWebEnginePage::Notifications: return "notifications";
    case QWebEnginePage::Geolocation: return "geolocation";
    case QWebEnginePage::MediaAudioCapture: return "microphone";
    case QWebEnginePage::MediaVideoCapture: return "camera";
    case QWebEnginePage::MediaAudioVideoCapture: return "camera and microphone";
    case QWebEnginePage::MouseLock: return "pointer lock";
    case QWebEnginePage::DesktopVideoCapture: return "screen capture";
    case QWebEnginePage::DesktopAudioVideoCapture: return "screen and audio capture";
    }
    return "other";
}

} // namespace

PagePermissions::PagePermissions(QWebEngineView* view) : QObject(view), view_(view)
{
    QWebEnginePage* page = view->page();
    connect(page, &QWebEnginePage::featurePermissionRequested, this, &PagePermissions::onFeature);
    connect(page, &QWebEnginePage::fullScreenRequested, this, &PagePermissions::onFullScreen);
}

PagePermissions::~PagePermissions()
{
    // Only when the view itself goes: its page need not come back to it.
    if (fullScreen_) {
        fullScreen_->forgetOrigin();
        delete fullScreen_;
    }
}

void PagePermissions::onFeature(const QUrl& origin, QWebEnginePage::Feature feature)
{
    if (feature == QWebEnginePage::Notifications)
        return onNotifications(origin);
    // Nothing the application needs, and a question would be a dialog of the browser's own.
    qCInfo(lcWindows).noquote()
        << QStringLiteral("permission denied: %1 for %2").arg(QLatin1String(featureName(feature)), origin.toString());
    view_->page()->setFeaturePermission(origin, feature, QWebEnginePage::PermissionDeniedByUser);
}

void PagePermissions::onNotifications(const QUrl& origin)
{
    // The application's own site may notify the desktop, without a question; when no
    // notification service answers, a refusal gives the page its onerror instead of silence.
    auto* page = qobject_cast<BrowserPage*>(view_->page());
    const SiteGuard* guard = page ? page->guard() : nullptr;
    DesktopNotifications* desktop = page ? page->browserProfile().notifications() : nullptr;
    const std::u16string application = guard ? guard->applicationAddress().toString().toStdU16String() : u"";
    const std::u16string site = origin.toString().toStdU16String();
    using browserlogic::NotificationGrant;
    if (!desktop || browserlogic::decideNotificationGrant(application, site, true) != NotificationGrant::Granted) {
        qCInfo(lcWindows).noquote() << "permission denied: notifications for " + origin.toString();
        view_->page()->setFeaturePermission(origin, QWebEnginePage::Notifications,
                                            QWebEnginePage::PermissionDeniedByUser);
        return;
    }
    // The answer comes later; the page may be gone by then.
    QPointer<QWebEnginePage> asking = view_->page();
    desktop->whenAvailable(this, [asking, origin, application, site](bool available) {
        if (!asking)
            return;
        const NotificationGrant grant = browserlogic::decideNotificationGrant(application, site, available);
        qCInfo(lcWindows).noquote() << (grant == NotificationGrant::Granted
                                            ? QStringLiteral("permission granted: notifications for ")
                                            : QStringLiteral("permission denied: notifications (no service) for "))
                + origin.toString();
        asking->setFeaturePermission(origin, QWebEnginePage::Notifications,
                                     grant == NotificationGrant::Granted ? QWebEnginePage::PermissionGrantedByUser
                                                                         : QWebEnginePage::PermissionDeniedByUser);
    });
}

void PagePermissions::onFullScreen(QWebEngineFullScreenRequest request)
{
    if (request.toggleOn()) {
        if (fullScreen_)
            return request.reject();
        request.accept();
        fullScreen_ = new FullScreenWindow(view_);
        qCInfo(lcWindows) << "full screen: on";
    } else {
        request.accept();
        delete fullScreen_;
        qCInfo(lcWindows) << "full screen: off";
    }
}

} // namespace talvo::browser
