#include "browser/DesktopNotifications.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QWebEngineNotification>
#include <QWebEngineProfile>
#include <QWidget>

#include "browser/Profile.h"
#include "platform/gui/Diagnostics.h"

namespace talvo::browser {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
// A service that has not answered by then is not there; nothing waits for it meanwhile.
constexpr int kCallTimeoutMs = 5000;

QString fromU16(const std::u16string& text) { return QString::fromStdU16String(text); }

} // namespace

DesktopNotifications::DesktopNotifications(QWidget* mainWindow, Profile& profile, SiteCheck isApplication)
    : QObject(mainWindow), mainWindow_(mainWindow), isApplication_(std::move(isApplication))
{
    clock_.start();
    profile.setNotifications(this);
    // The presenter outlives nothing of ours: once we are gone it lets the engine's
    // notification go unshown.
    profile.engine()->setNotificationPresenter(
        [self = QPointer<DesktopNotifications>(this)](std::unique_ptr<QWebEngineNotification> notification) {
            if (self)
                self->present(std::move(notification));
        });
    // The engine's notifications go before its profile does.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { shown_.clear(); });
}

DesktopNotifications::~DesktopNotifications() = default;

void DesktopNotifications::whenAvailable(QObject* context, std::function<void(bool available)> answer)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        qCInfo(lcWindows).noquote() << "notification service: no session bus";
        QMetaObject::invokeMethod(
            context, [answer] { answer(false); }, Qt::QueuedConnection);
        return;
    }
    const QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                                QStringLiteral("GetCapabilities"));
    auto* call = new QDBusPendingCallWatcher(bus.asyncCall(message, kCallTimeoutMs), context);
    connect(call, &QDBusPendingCallWatcher::finished, context,
            [this, self = QPointer(this), answer](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                const QDBusPendingReply<QStringList> reply = *call;
                if (reply.isError()) {
                    qCInfo(lcWindows).noquote() << "notification service: none (" + reply.error().name() + ")";
                    answer(false);
                    return;
                }
                if (self)
                    readsMarkup_ = reply.value().contains(QStringLiteral("body-markup"));
                answer(true);
            });
}

QString DesktopNotifications::iconPath()
{
    if (!icon_.isEmpty())
        return icon_;
    // The service reads the icon from a file; ours is a resource.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    const QString path = folder + QStringLiteral("/talvo-32.png");
    QDir().mkpath(folder);
    if (!QFile::exists(path)) {
        QFile::remove(path);
        if (!QFile::copy(QStringLiteral(":/icons/talvo-32.png"), path))
            return QString();
    }
    icon_ = path;
    return icon_;
}

void DesktopNotifications::present(std::unique_ptr<QWebEngineNotification> notification)
{
    if (!isApplication_ || !isApplication_(notification->origin())) {
        qCInfo(lcWindows).noquote() << "notification failed: another site " + notification->origin().toString();
        notification->close();
        return;
    }
    const QString tag = notification->tag();
    const browserlogic::NotificationBook::Begin begin = book_.begin(tag.toStdU16String(), clock_.elapsed());
    using Kind = browserlogic::NotificationBook::Begin::Kind;
    if (begin.kind != Kind::Send) {
        qCInfo(lcWindows).noquote() << (begin.kind == Kind::TooFast ? "notification failed: too many per second"
                                                                    : "notification failed: too many open");
        notification->close();
        return;
    }
    // A replaced one is simply gone for its page, as in a browser.
    if (begin.superseded)
        shown_.erase(*begin.superseded);

    if (!signalsHooked_) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        signalsHooked_ = bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                                     SLOT(onClosed(uint, uint)))
            && bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                           SLOT(onAction(uint, QString)));
    }

    QWidget* window = QApplication::activeWindow();
    if (!window)
        window = mainWindow_;
    QWebEngineNotification* page = notification.get();
    const std::uint64_t serial = begin.serial;
    connect(page, &QWebEngineNotification::closed, this, [this, serial] {
        const std::optional<std::uint32_t> id = book_.closedByPage(serial);
        qCInfo(lcWindows) << "notification closed by the page";
        if (id)
            closeOnDesktop(*id);
        // Not here: the engine is inside the notification's own call.
        QMetaObject::invokeMethod(
            this, [this, serial] { shown_.erase(serial); }, Qt::QueuedConnection);
    });
    shown_[serial] = Shown{std::move(notification), window};

    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("talvo"));
    message << QStringLiteral("Talvo") << uint(begin.replacesId) << iconPath()
            << fromU16(browserlogic::notificationTitle(page->title().toStdU16String()))
            << fromU16(browserlogic::notificationBody(page->message().toStdU16String(), readsMarkup_))
            << QStringList{QStringLiteral("default"), QString()} << hints << int(-1);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        book_.failed(serial);
        qCInfo(lcWindows) << "notification failed: no session bus";
        endShown(serial);
        return;
    }
    auto* call = new QDBusPendingCallWatcher(bus.asyncCall(message, kCallTimeoutMs), this);
    const bool replacing = begin.superseded.has_value();
    connect(call, &QDBusPendingCallWatcher::finished, this,
            [this, serial, replacing](QDBusPendingCallWatcher* call) { onNotifyAnswer(call, serial, replacing); });
}

void DesktopNotifications::onNotifyAnswer(QDBusPendingCallWatcher* call, std::uint64_t serial, bool replacing)
{
    call->deleteLater();
    const QDBusPendingReply<uint> reply = *call;
    if (reply.isError()) {
        book_.failed(serial);
        qCInfo(lcWindows).noquote() << "notification failed: " + reply.error().name();
        endShown(serial);
        return;
    }
    const std::uint32_t id = reply.value();
    if (!book_.delivered(serial, id)) {
        // The page closed it, or replaced it, while the service was answering.
        closeOnDesktop(id);
        return;
    }
    const auto it = shown_.find(serial);
    if (it == shown_.end())
        return;
    QWebEngineNotification* notification = it->second.notification.get();
    notification->show();
    if (replacing)
        qCInfo(lcWindows).noquote() << "notification replaced: " + notification->tag();
    else
        qCInfo(lcWindows).noquote() << "notification shown: " + notification->title();
    QWidget* window = it->second.window;
    if (window && !window->isActiveWindow()) {
        QApplication::alert(window);
        qCInfo(lcWindows) << "window asks for attention: notification";
    }
}

void DesktopNotifications::closeOnDesktop(std::uint32_t id)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                          QStringLiteral("CloseNotification"));
    message << uint(id);
    // Nobody waits for the answer: a service that already closed it may say so.
    auto* call = new QDBusPendingCallWatcher(bus.asyncCall(message, kCallTimeoutMs), this);
    connect(call, &QDBusPendingCallWatcher::finished, call, &QObject::deleteLater);
}

void DesktopNotifications::endShown(std::uint64_t serial)
{
    const auto it = shown_.find(serial);
    if (it == shown_.end())
        return;
    std::unique_ptr<QWebEngineNotification> notification = std::move(it->second.notification);
    shown_.erase(it);
    notification->disconnect(this);
    // The page learns it is over (its close event); the engine gives no error event for a
    // permitted one.
    notification->close();
}

void DesktopNotifications::onClosed(uint id, uint reason)
{
    const std::optional<std::uint64_t> serial = book_.closedByDesktop(id);
    if (!serial)
        return;
    qCInfo(lcWindows).noquote() << QStringLiteral("notification closed by the desktop (%1)").arg(reason);
    endShown(*serial);
}

void DesktopNotifications::onAction(uint id, const QString& action)
{
    const std::optional<std::uint64_t> serial = book_.clicked(id);
    if (!serial || action != QLatin1String("default"))
        return;
    const auto it = shown_.find(*serial);
    if (it == shown_.end())
        return;
    qCInfo(lcWindows) << "notification clicked";
    if (QWidget* window = it->second.window ? it->second.window.data() : mainWindow_.data()) {
        if (window->isMinimized())
            window->showNormal();
        window->raise();
        window->activateWindow();
    }
    it->second.notification->click();
    // Acted on, it is done: not every service closes it itself. Its close event follows
    // when the service says it is closed.
    closeOnDesktop(id);
}

} // namespace talvo::browser
