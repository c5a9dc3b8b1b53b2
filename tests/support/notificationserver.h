#pragma once
// A notification server of the freedesktop interface that records what it is sent, for
// tests that run under dbus-run-session: the real D-Bus traffic is checked on a private
// bus without touching the desktop.

#include "services/desktopnotifier.h"

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace zorvane::testing {

// What one Notify call carried.
struct NotifyCall {
    QString app;
    uint replaces = 0;
    QString icon;
    QString summary;
    QString body;
    QStringList actions;
    QVariantMap hints;
    int timeout = 0;
    uint id = 0; // what the server answered
};

// A notification server of the freedesktop interface that records what it is sent.
class NotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QList<NotifyCall> calls;
    QList<uint> closed;
    uint nextId = 41;

public slots:
    uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints,
                int timeout) {
        const uint id = replaces != 0 ? replaces : ++nextId;
        calls.append(NotifyCall{app, replaces, icon, summary, body, actions, hints, timeout, id});
        return id;
    }
    void CloseNotification(uint id) { closed.append(id); }
    QStringList GetCapabilities() { return {QStringLiteral("actions"), QStringLiteral("body")}; }
    QString GetServerInformation(QString& vendor, QString& version, QString& specVersion) {
        vendor = QStringLiteral("test");
        version = QStringLiteral("1");
        specVersion = QStringLiteral("1.2");
        return QStringLiteral("test server");
    }

signals:
    void ActionInvoked(uint id, const QString& action);
    void NotificationClosed(uint id, uint reason);
};

// The server lives on a connection of its own, so calls and signals cross the real bus.
inline QDBusConnection serverBus() {
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                         QStringLiteral("notification-server"));
}

inline bool startServer(NotificationServer& server) {
    QDBusConnection bus = serverBus();
    return bus.isConnected() &&
           bus.registerObject(QString::fromLatin1(app::DesktopNotifier::kPath), &server,
                              QDBusConnection::ExportAllSlots |
                                  QDBusConnection::ExportAllSignals) &&
           bus.registerService(QString::fromLatin1(app::DesktopNotifier::kService));
}

inline void stopServer() {
    QDBusConnection bus = serverBus();
    bus.unregisterService(QString::fromLatin1(app::DesktopNotifier::kService));
    bus.unregisterObject(QString::fromLatin1(app::DesktopNotifier::kPath));
}

} // namespace zorvane::testing
