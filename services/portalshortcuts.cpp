#include "services/portalshortcuts.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

#include <utility>

namespace {

// A D-Bus call that waits for the portal (it may first be started by the bus) but not
// for ever; the player's dialog comes later, with Response.
constexpr int kCallTimeoutMs = 25000;

// What the portal's Response codes mean.
constexpr uint kResponseSuccess = 0;
constexpr uint kResponseCancelled = 1;

QString pathOrString(const QVariant& value) {
    if (value.userType() == qMetaTypeId<QDBusObjectPath>()) {
        return value.value<QDBusObjectPath>().path();
    }
    return value.toString();
}

} // namespace

namespace zorvane::app {

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcutEntry& entry) {
    argument.beginStructure();
    argument << entry.id << entry.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcutEntry& entry) {
    argument.beginStructure();
    argument >> entry.id >> entry.properties;
    argument.endStructure();
    return argument;
}

PortalShortcuts::PortalShortcuts(QDBusConnection bus, QObject* parent)
    : QObject(parent), m_bus(std::move(bus)) {
    qDBusRegisterMetaType<PortalShortcutEntry>();
    qDBusRegisterMetaType<QList<PortalShortcutEntry>>();
}

QString PortalShortcuts::requestPath(const QString& uniqueName, const QString& token) {
    QString sender = uniqueName.startsWith(QLatin1Char(':')) ? uniqueName.mid(1) : uniqueName;
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return QStringLiteral("%1/request/%2/%3").arg(QLatin1String(kPath), sender, token);
}

void PortalShortcuts::setState(State state, const QString& detail) {
    m_state = state;
    m_detail = detail;
    emit stateChanged();
}

void PortalShortcuts::bind(QList<Shortcut> shortcuts) {
    if (m_state != State::Idle) {
        return;
    }
    m_shortcuts = std::move(shortcuts);
    if (!m_bus.isConnected()) {
        setState(State::Missing,
                 QStringLiteral("no session bus: %1").arg(m_bus.lastError().message()));
        return;
    }
    setState(State::Checking);
    // A portal without the interface (GNOME's on Debian 12) has no such property; one that
    // is not there at all is an unknown service.
    QDBusMessage get = QDBusMessage::createMethodCall(
        QLatin1String(kService), QLatin1String(kPath),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QLatin1String(kInterface) << QStringLiteral("version");
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(get, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                const QDBusPendingReply<QDBusVariant> reply = *call;
                if (reply.isError()) {
                    setState(State::Missing,
                             reply.error().name() + QStringLiteral(": ") + reply.error().message());
                    return;
                }
                createSession();
            });
}

void PortalShortcuts::createSession() {
    setState(State::Binding);
    const QString token = QStringLiteral("zorvane%1").arg(++m_tokens);
    QDBusMessage call =
        QDBusMessage::createMethodCall(QLatin1String(kService), QLatin1String(kPath),
                                       QLatin1String(kInterface), QStringLiteral("CreateSession"));
    call << QVariantMap{{QStringLiteral("handle_token"), token},
                        {QStringLiteral("session_handle_token"), QStringLiteral("zorvane")}};
    callWithRequest(call, token, Step::Session);
}

void PortalShortcuts::bindShortcuts() {
    QList<PortalShortcutEntry> entries;
    for (const Shortcut& shortcut : std::as_const(m_shortcuts)) {
        entries.append({shortcut.id, {{QStringLiteral("description"), shortcut.description}}});
    }
    const QString token = QStringLiteral("zorvane%1").arg(++m_tokens);
    QDBusMessage call =
        QDBusMessage::createMethodCall(QLatin1String(kService), QLatin1String(kPath),
                                       QLatin1String(kInterface), QStringLiteral("BindShortcuts"));
    call << QVariant::fromValue(QDBusObjectPath(m_sessionHandle)) << QVariant::fromValue(entries)
         << QString() << QVariantMap{{QStringLiteral("handle_token"), token}};
    callWithRequest(call, token, Step::Bind);
}

void PortalShortcuts::callWithRequest(QDBusMessage call, const QString& token, Step step) {
    // The answer may come before the call's own reply: listen on the path the portal will
    // use before asking.
    expectResponse(requestPath(m_bus.baseService(), token), step);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, step](QDBusPendingCallWatcher* pending) {
                pending->deleteLater();
                const QDBusPendingReply<QDBusObjectPath> reply = *pending;
                if (reply.isError()) {
                    setState(State::Failed,
                             reply.error().name() + QStringLiteral(": ") + reply.error().message());
                    return;
                }
                // An older portal makes its own request path: listen there instead.
                if (m_step == step && reply.value().path() != m_requestPath) {
                    expectResponse(reply.value().path(), step);
                }
            });
}

void PortalShortcuts::expectResponse(const QString& path, Step step) {
    if (!m_requestPath.isEmpty()) {
        m_bus.disconnect(QLatin1String(kService), m_requestPath, QLatin1String(kRequestInterface),
                         QStringLiteral("Response"), this, SLOT(onResponse(QDBusMessage)));
    }
    m_requestPath = path;
    m_step = step;
    m_bus.connect(QLatin1String(kService), path, QLatin1String(kRequestInterface),
                  QStringLiteral("Response"), this, SLOT(onResponse(QDBusMessage)));
}

void PortalShortcuts::onResponse(const QDBusMessage& message) {
    const QList<QVariant> arguments = message.arguments();
    if (message.path() != m_requestPath || arguments.size() < 2) {
        return;
    }
    const uint code = arguments.at(0).toUInt();
    const QVariantMap results = qdbus_cast<QVariantMap>(arguments.at(1));
    const Step step = m_step;
    m_step = Step::None;
    if (code != kResponseSuccess) {
        setState(State::Failed, code == kResponseCancelled
                                    ? QStringLiteral("cancelled")
                                    : QStringLiteral("the portal answered %1").arg(code));
        return;
    }
    if (step == Step::Session) {
        m_sessionHandle = pathOrString(results.value(QStringLiteral("session_handle")));
        if (m_sessionHandle.isEmpty()) {
            setState(State::Failed, QStringLiteral("the portal made no session"));
            return;
        }
        m_bus.connect(QLatin1String(kService), QLatin1String(kPath), QLatin1String(kInterface),
                      QStringLiteral("Activated"), this, SLOT(onActivated(QDBusMessage)));
        bindShortcuts();
        return;
    }
    if (step == Step::Bind) {
        const auto bound =
            qdbus_cast<QList<PortalShortcutEntry>>(results.value(QStringLiteral("shortcuts")));
        for (const PortalShortcutEntry& entry : bound) {
            m_triggers.insert(
                entry.id, entry.properties.value(QStringLiteral("trigger_description")).toString());
        }
        setState(State::Bound);
    }
}

void PortalShortcuts::onActivated(const QDBusMessage& message) {
    const QList<QVariant> arguments = message.arguments();
    if (m_state != State::Bound || arguments.size() < 2 ||
        pathOrString(arguments.at(0)) != m_sessionHandle) {
        return;
    }
    const QString id = arguments.at(1).toString();
    for (const Shortcut& shortcut : std::as_const(m_shortcuts)) {
        if (shortcut.id == id) {
            emit activated(id);
            return;
        }
    }
}

} // namespace zorvane::app
