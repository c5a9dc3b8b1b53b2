#include "services/desktopnotifier.h"

#include "speech/speech.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include <utility>

namespace zorvane::app {

namespace {

constexpr const char* kShowAction = "show";
constexpr const char* kSilenceAction = "silence";
// Sent by most servers when the notification itself is clicked.
constexpr const char* kDefaultAction = "default";

constexpr uchar kUrgencyNormal = 1;
constexpr uchar kUrgencyCritical = 2;

} // namespace

size_t qHash(const NotificationKey& key, size_t seed) noexcept {
    return qHashMulti(seed, key.row, key.server, key.line);
}

QDBusArgument& operator<<(QDBusArgument& argument, const NotificationImage& image) {
    argument.beginStructure();
    argument << image.width << image.height << image.rowStride << image.hasAlpha
             << image.bitsPerSample << image.channels << image.data;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, NotificationImage& image) {
    argument.beginStructure();
    argument >> image.width >> image.height >> image.rowStride >> image.hasAlpha >>
        image.bitsPerSample >> image.channels >> image.data;
    argument.endStructure();
    return argument;
}

DesktopNotifier::DesktopNotifier(const QDBusConnection& bus, NotificationImage icon,
                                 QString iconName, QObject* parent)
    : DesktopNotifier(BusLater{}, std::move(icon), std::move(iconName), parent) {
    attachBus(bus);
}

DesktopNotifier::DesktopNotifier(BusLater, NotificationImage icon, QString iconName,
                                 QObject* parent)
    : QObject(parent), m_icon(std::move(icon)), m_iconName(std::move(iconName)) {
    qDBusRegisterMetaType<NotificationImage>();
}

void DesktopNotifier::attachBus(const QDBusConnection& bus) {
    if (m_bus) {
        return;
    }
    m_bus = bus;
    if (m_bus->isConnected()) {
        // The server broadcasts these for every application's notifications; the handlers
        // keep only ours.
        m_bus->connect(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                       QString::fromLatin1(kInterface), QStringLiteral("ActionInvoked"), this,
                       SLOT(onActionInvoked(uint, QString)));
        m_bus->connect(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                       QString::fromLatin1(kInterface), QStringLiteral("NotificationClosed"), this,
                       SLOT(onNotificationClosed(uint, uint)));
    }
    // Nothing is in flight yet: every waiting key goes out now (or, without a bus, is
    // dropped as any alert then is).
    const QHash<NotificationKey, Request> waiting = std::exchange(m_waiting, {});
    for (auto it = waiting.cbegin(); it != waiting.cend(); ++it) {
        send(it.key(), it.value());
    }
}

QString DesktopNotifier::bodyText(qint64 secondsLeft) {
    if (secondsLeft <= 0) {
        return QCoreApplication::translate("Zorvane", "已刷新");
    }
    // As the spoken alert says it: a start or an absence finds rows well inside a lead time.
    const speech::TimeLeft left = speech::roundedTimeLeft(secondsLeft);
    if (left.seconds == 0) {
        return QCoreApplication::translate("Zorvane", "%1 分钟后刷新").arg(left.minutes);
    }
    if (left.minutes == 0) {
        return QCoreApplication::translate("Zorvane", "%1 秒后刷新").arg(left.seconds);
    }
    return QCoreApplication::translate("Zorvane", "%1 分 %2 秒后刷新")
        .arg(left.minutes)
        .arg(left.seconds);
}

void DesktopNotifier::notify(std::uint64_t rowId, const QString& bossName, qint64 secondsLeft) {
    notify(rowId, bossName, secondsLeft, bodyText(secondsLeft));
}

void DesktopNotifier::notify(std::uint64_t rowId, const QString& bossName, qint64 secondsLeft,
                             const QString& body) {
    notify(NotificationKey{rowId, {}, {}}, bossName, secondsLeft, body);
}

void DesktopNotifier::notify(const NotificationKey& key, const QString& title, qint64 secondsLeft,
                             const QString& body) {
    Request request{title, secondsLeft, false, body};
    // Until the server has told the id of the key's earlier notification, the new one waits,
    // so it replaces the earlier one instead of appearing beside it; so does every alert
    // before the bus is attached.
    if (!m_bus || m_inFlight.value(key)) {
        m_waiting.insert(key, request);
        return;
    }
    send(key, request);
}

void DesktopNotifier::close(std::uint64_t rowId) {
    QList<NotificationKey> keys;
    for (auto it = m_ids.cbegin(); it != m_ids.cend(); ++it) {
        if (it.key().row == rowId) {
            keys << it.key();
        }
    }
    for (auto it = m_inFlight.cbegin(); it != m_inFlight.cend(); ++it) {
        if (it.key().row == rowId && !keys.contains(it.key())) {
            keys << it.key();
        }
    }
    for (auto it = m_waiting.cbegin(); it != m_waiting.cend(); ++it) {
        if (it.key().row == rowId && !keys.contains(it.key())) {
            keys << it.key();
        }
    }
    if (keys.isEmpty()) {
        keys << NotificationKey{rowId, {}, {}};
    }
    for (const NotificationKey& key : keys) {
        close(key);
    }
}

void DesktopNotifier::close(const NotificationKey& key) {
    if (!m_bus) {
        m_waiting.remove(key); // nothing was shown yet
        return;
    }
    if (m_inFlight.value(key)) {
        m_waiting.insert(key, Request{QString(), 0, true, QString()});
        return;
    }
    send(key, Request{QString(), 0, true, QString()});
}

void DesktopNotifier::send(const NotificationKey& key, const Request& request) {
    if (!m_bus || !m_bus->isConnected()) {
        return;
    }
    const uint replaces = m_ids.value(key, 0);
    if (request.close) {
        if (replaces != 0) {
            m_ids.remove(key);
            QDBusMessage call = QDBusMessage::createMethodCall(
                QString::fromLatin1(kService), QString::fromLatin1(kPath),
                QString::fromLatin1(kInterface), QStringLiteral("CloseNotification"));
            call << replaces;
            m_bus->asyncCall(call); // the answer does not matter
        }
        return;
    }

    const bool due = request.secondsLeft <= 0;
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"),
                 QVariant::fromValue(due ? kUrgencyCritical : kUrgencyNormal));
    hints.insert(QStringLiteral("desktop-entry"), m_iconName);
    hints.insert(QStringLiteral("category"), QStringLiteral("x-zorvane.alert"));
    // The program plays its own chime.
    hints.insert(QStringLiteral("suppress-sound"), true);
    if (!m_icon.isNull()) {
        hints.insert(QStringLiteral("image-data"), QVariant::fromValue(m_icon));
    }
    const QStringList actions{
        QString::fromLatin1(kShowAction), QCoreApplication::translate("Zorvane", "显示"),
        QString::fromLatin1(kSilenceAction), QCoreApplication::translate("Zorvane", "静音")};

    QDBusMessage call =
        QDBusMessage::createMethodCall(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                                       QString::fromLatin1(kInterface), QStringLiteral("Notify"));
    call << QStringLiteral("Zorvane") << replaces << m_iconName << request.boss << request.body
         << actions << hints << (due ? 0 : -1); // a due alert stays until dismissed
    m_inFlight.insert(key, true);
    auto* watcher = new QDBusPendingCallWatcher(m_bus->asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, key](QDBusPendingCallWatcher* w) { onReply(key, w); });
}

void DesktopNotifier::onReply(const NotificationKey& key, QDBusPendingCallWatcher* watcher) {
    watcher->deleteLater();
    m_inFlight.remove(key);
    const QDBusPendingReply<uint> reply = *watcher;
    if (reply.isValid()) {
        m_ids.insert(key, reply.value());
    }
    // No service, or it failed: nothing to show and nothing to tell the user, who still has
    // the chime and the window.
    const auto waiting = m_waiting.find(key);
    if (waiting != m_waiting.end()) {
        const Request next = *waiting;
        m_waiting.erase(waiting);
        send(key, next);
    }
}

std::optional<NotificationKey> DesktopNotifier::keyOf(uint id) const {
    for (auto it = m_ids.cbegin(); it != m_ids.cend(); ++it) {
        if (it.value() == id) {
            return it.key();
        }
    }
    return std::nullopt;
}

void DesktopNotifier::onActionInvoked(uint id, const QString& action) {
    const std::optional<NotificationKey> key = keyOf(id);
    if (!key) {
        return; // another application's notification
    }
    if (action == QLatin1String(kSilenceAction)) {
        emit silenceRequested();
    } else if (action == QLatin1String(kShowAction) || action == QLatin1String(kDefaultAction)) {
        emit showRequested(key->row);
    }
}

void DesktopNotifier::onNotificationClosed(uint id, uint /*reason*/) {
    if (const std::optional<NotificationKey> key = keyOf(id)) {
        m_ids.remove(*key);
    }
}

} // namespace zorvane::app
