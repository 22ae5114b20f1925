#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>
#include <map>
#include <memory>

#include "browser/logic/NotificationBook.h"

class QDBusPendingCallWatcher;
class QWebEngineNotification;
class QWidget;

namespace talvo::browser {

class Profile;

// The pages' notifications on the desktop's notification service (org.freedesktop.Notifications
// on the session bus). Every call is asynchronous: without a bus or a service nothing waits,
// and the page's notification ends unshown (it gets its close event, never its show event).
// A click on one raises the window it came from and runs the page's onclick; the service
// closing one closes the page's. A window that is not active when one arrives asks for
// attention. The presenter is the profile's, so one of these serves every page.
class DesktopNotifications : public QObject {
    Q_OBJECT
public:
    using SiteCheck = std::function<bool(const QUrl& origin)>;

    // mainWindow: the window a notification belongs to when none of ours is active.
    // profile: whose pages' notifications these are; the pages' permission requests find
    // this through it.
    // isApplication: the last word on a notification's origin (the permission decides first).
    DesktopNotifications(QWidget* mainWindow, Profile& profile, SiteCheck isApplication);
    ~DesktopNotifications() override;

    // Asks the service whether it is there (its capabilities, so we know whether it reads
    // markup); answer(true) when it is. Always answers, later, on this thread.
    void whenAvailable(QObject* context, std::function<void(bool available)> answer);

private:
    struct Shown {
        std::unique_ptr<QWebEngineNotification> notification;
        QPointer<QWidget> window;
    };

    void present(std::unique_ptr<QWebEngineNotification> notification);
    void onNotifyAnswer(QDBusPendingCallWatcher* call, std::uint64_t serial, bool replacing);
    void closeOnDesktop(std::uint32_t id);
    void endShown(std::uint64_t serial);
    QString iconPath();
    Q_SLOT void onClosed(uint id, uint reason);
    Q_SLOT void onAction(uint id, const QString& action);

    QPointer<QWidget> mainWindow_;
    SiteCheck isApplication_;
    browserlogic::NotificationBook book_;
    std::map<std::uint64_t, Shown> shown_;
    QElapsedTimer clock_;
    bool readsMarkup_ = true;
    bool signalsHooked_ = false;
    QString icon_;
};

} // namespace talvo::browser
