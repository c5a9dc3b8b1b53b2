#pragma once
// Desktop notifications for alerts through the freedesktop notification service on the
// session bus: one notification per row (per line and server of a row with lines), replaced
// by its next alert, with the actions
// "显示" and "静音". Every call is asynchronous, so the window thread never waits for the
// service; without a service (or a bus) alerts simply show no notification.

#include <QByteArray>
#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>

class QDBusArgument;
class QDBusPendingCallWatcher;

namespace zorvane::app {

// The "image-data" hint (D-Bus signature (iiibiiay)): 8-bit RGBA rows. A picture becomes
// one through notificationImage() (models/builtinimage.h).
struct NotificationImage {
    int width = 0;
    int height = 0;
    int rowStride = 0;
    bool hasAlpha = true;
    int bitsPerSample = 8;
    int channels = 4;
    QByteArray data;

    bool isNull() const { return data.isEmpty(); }
};

// Whose notification it is: a row, or one line of one server of it ("" for the row itself).
// Two lines of a row keep a notification each.
struct NotificationKey {
    std::uint64_t row = 0;
    QString server;
    QString line;
    bool operator==(const NotificationKey&) const = default;
};
size_t qHash(const NotificationKey& key, size_t seed = 0) noexcept;

QDBusArgument& operator<<(QDBusArgument& argument, const NotificationImage& image);
const QDBusArgument& operator>>(const QDBusArgument& argument, NotificationImage& image);

class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kService = "org.freedesktop.Notifications";
    static constexpr const char* kPath = "/org/freedesktop/Notifications";
    static constexpr const char* kInterface = "org.freedesktop.Notifications";

    // icon: shown as the application icon (sent as image data, so no installed icon theme is
    // needed); iconName: the icon name sent beside it.
    explicit DesktopNotifier(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                             NotificationImage icon = {},
                             QString iconName = QStringLiteral("zorvane"),
                             QObject* parent = nullptr);
    // A notifier whose bus comes later (attachBus): making the session bus's connection
    // waits for the bus (without one, for a launcher started in a child process), which the
    // window's first picture does not need. Alerts meanwhile wait, the newest of each row
    // or line, and go out once the bus is attached.
    struct BusLater {};
    explicit DesktopNotifier(BusLater, NotificationImage icon = {},
                             QString iconName = QStringLiteral("zorvane"),
                             QObject* parent = nullptr);

    // Gives a notifier made with BusLater its bus and sends what waited; later calls do
    // nothing.
    void attachBus(const QDBusConnection& bus);
    bool hasBus() const { return m_bus.has_value(); }
    // The icon the notifications sent from now on carry.
    void setIcon(NotificationImage icon) { m_icon = std::move(icon); }

    // The body for an alert secondsLeft seconds ahead, the true time left: "5 分钟后刷新"
    // near a whole minute, "1 分 14 秒后刷新", "40 秒后刷新"; 0 or less: "已刷新".
    static QString bodyText(qint64 secondsLeft);

    // Shows (or replaces) the row's notification. Due alerts (secondsLeft <= 0) are critical
    // and stay until dismissed. Returns at once.
    void notify(std::uint64_t rowId, const QString& bossName, qint64 secondsLeft);
    // The same with a body of the caller's instead of bodyText's.
    void notify(std::uint64_t rowId, const QString& bossName, qint64 secondsLeft,
                const QString& body);
    // The same for a row or one of its lines; `title` names what the key does.
    void notify(const NotificationKey& key, const QString& title, qint64 secondsLeft,
                const QString& body);
    // Closes the row's notifications, its lines' too (the row was deleted or its boss was
    // killed).
    void close(std::uint64_t rowId);
    // Closes the notification of one row or line, if any.
    void close(const NotificationKey& key);

signals:
    // "显示" (or a click on the notification): raise the window and select the row.
    void showRequested(std::uint64_t rowId);
    // "静音": stop every sound now playing.
    void silenceRequested();

private slots:
    void onActionInvoked(uint id, const QString& action);
    void onNotificationClosed(uint id, uint reason);

private:
    struct Request {
        QString boss;
        qint64 secondsLeft = 0;
        bool close = false; // close the notification instead
        QString body;       // empty: bodyText(secondsLeft)
    };

    void send(const NotificationKey& key, const Request& request);
    void onReply(const NotificationKey& key, QDBusPendingCallWatcher* watcher);
    std::optional<NotificationKey> keyOf(uint id) const;

    std::optional<QDBusConnection> m_bus; // none until attached
    NotificationImage m_icon;
    QString m_iconName;
    QHash<NotificationKey, uint> m_ids;        // the server's id of each key's notification
    QHash<NotificationKey, Request> m_waiting; // newest alert of a key whose Notify is unanswered
    QHash<NotificationKey, bool> m_inFlight;   // keys with an unanswered Notify
};

} // namespace zorvane::app

Q_DECLARE_METATYPE(zorvane::app::NotificationImage)
