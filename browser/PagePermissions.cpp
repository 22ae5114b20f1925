#include "browser/PagePermissions.h"

#include <QWebEngineFullScreenRequest>
#include <QWebEngineView>

#include "browser/FullScreenWindow.h"
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
    // Nothing the application needs, and a question would be a dialog of the browser's own.
    qCInfo(lcWindows).noquote() << QStringLiteral("permission denied: %1 for %2")
                                       .arg(QLatin1String(featureName(feature)), origin.toString());
    view_->page()->setFeaturePermission(origin, feature, QWebEnginePage::PermissionDeniedByUser);
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
