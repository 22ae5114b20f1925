#pragma once

#include <QObject>
#include <QPointer>
#include <QWebEnginePage>

class QWebEngineFullScreenRequest;
class QWebEngineView;

namespace talvo::browser {

class FullScreenWindow;

// What a page may use of the computer. The browser asks nobody: the application's own site
// may show notifications on the desktop while a notification service is there (see
// DesktopNotifications); other sites' notifications, location,
// camera, microphone, screen capture and pointer lock are refused at once; copying to the
// clipboard from a click keeps working (the engine allows it after a user gesture without a
// permission); a video may go full screen, and Escape brings it back.
class PagePermissions : public QObject {
    Q_OBJECT
public:
    explicit PagePermissions(QWebEngineView* view);
    ~PagePermissions() override;

private:
    void onFeature(const QUrl& origin, QWebEnginePage::Feature feature);
    void onNotifications(const QUrl& origin);
    void onFullScreen(QWebEngineFullScreenRequest request);

    QWebEngineView* view_;
    QPointer<FullScreenWindow> fullScreen_;
};

} // namespace talvo::browser
