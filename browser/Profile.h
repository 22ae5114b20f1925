#pragma once

#include <QPointer>
#include <QString>

#include "browser/logic/Zoom.h"

class QWebEngineProfile;

namespace talvo::browser {

class DesktopNotifications;

// The one browser profile, "talvo", and what the user chose in it for this session.
// Cookies with an expiry, local storage, IndexedDB and the HTTP cache last from one start
// to the next, in the user's own data and cache folders (never the program folder);
// session cookies end with the process. The program makes one at its start and keeps it
// until every page is gone; every page of ours is on it.
class Profile {
public:
    Profile();
    // Lets the engine's profile go, so what it holds reaches the disk: only after the
    // windows' pages are gone.
    ~Profile();
    Profile(const Profile&) = delete;
    Profile& operator=(const Profile&) = delete;

    // The engine's profile, made on first use (after the application object); making it
    // starts the engine, its network service and helper processes.
    QWebEngineProfile* engine();
    bool started() const { return engine_ != nullptr; }

    // The zoom of every view, in percent; kept for the session.
    int zoomPercent() const { return zoomPercent_; }
    void setZoomPercent(int percent) { zoomPercent_ = percent; }

    // Where the user last chose files to upload; empty before the first choice.
    const QString& uploadFolder() const { return uploadFolder_; }
    void setUploadFolder(const QString& folder) { uploadFolder_ = folder; }

    // The desktop's notification service the pages' permission requests ask; nullptr
    // while there is none.
    DesktopNotifications* notifications() const;
    void setNotifications(DesktopNotifications* notifications);

private:
    QWebEngineProfile* engine_ = nullptr;
    int zoomPercent_ = browserlogic::kZoomDefault;
    QString uploadFolder_;
    QPointer<DesktopNotifications> notifications_;
};

} // namespace talvo::browser
