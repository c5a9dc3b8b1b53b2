#pragma once
// Global keys through the desktop portal's GlobalShortcuts interface (KDE's portal has it;
// GNOME's on Debian 12 does not): a session is made, the program's shortcuts are bound in
// it, and the desktop tells of every press with Activated, whichever window has the focus.
// Where the portal or its interface is missing, nothing else happens: the state says why,
// and the desktop's own shortcut settings with the command line remain.
//
// Every call is asynchronous: the window thread never waits for the portal, which may show
// the player a dialog to choose the keys.

#include <QDBusConnection>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QVariantMap>

class QDBusArgument;
class QDBusMessage;

namespace zorvane::app {

// One entry of the a(sa{sv}) list BindShortcuts takes and the portal answers with: an id
// and its properties ("description"; the answer adds "trigger_description").
struct PortalShortcutEntry {
    QString id;
    QVariantMap properties;
};
QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcutEntry& entry);
const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcutEntry& entry);

class PortalShortcuts final : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kService = "org.freedesktop.portal.Desktop";
    static constexpr const char* kPath = "/org/freedesktop/portal/desktop";
    static constexpr const char* kInterface = "org.freedesktop.portal.GlobalShortcuts";
    static constexpr const char* kRequestInterface = "org.freedesktop.portal.Request";

    // One action as the desktop lists it: a stable id and what it does, in the player's
    // language.
    struct Shortcut {
        QString id;
        QString description;
    };

    enum class State {
        Idle,     // not asked yet
        Checking, // asking whether the portal offers the interface
        Missing,  // no portal, or one without GlobalShortcuts (detail() says which)
        Binding,  // making the session and binding the shortcuts
        Bound,    // presses arrive as activated()
        Failed,   // the portal refused, or the player cancelled its dialog
    };

    explicit PortalShortcuts(QDBusConnection bus, QObject* parent = nullptr);

    // Starts the sequence for these shortcuts; once only.
    void bind(QList<Shortcut> shortcuts);

    State state() const { return m_state; }
    // Why Missing or Failed, in the bus's or the portal's own words.
    QString detail() const { return m_detail; }
    // The keys the desktop reports for the bound shortcuts, by id (may be empty: the player
    // sets them in the desktop's settings).
    QMap<QString, QString> triggers() const { return m_triggers; }

    // The object path of the answer to a call made with `token`, as the portal makes it
    // from the caller's unique bus name.
    static QString requestPath(const QString& uniqueName, const QString& token);

signals:
    void stateChanged();
    void activated(const QString& id);

private slots:
    void onResponse(const QDBusMessage& message);
    void onActivated(const QDBusMessage& message);

private:
    enum class Step { None, Session, Bind };

    void setState(State state, const QString& detail = {});
    void createSession();
    void bindShortcuts();
    // Sends `call`, whose answer arrives as Response on the request object for `token`,
    // and hands the call's own error (if any) to failure.
    void callWithRequest(QDBusMessage call, const QString& token, Step step);
    void expectResponse(const QString& path, Step step);

    QDBusConnection m_bus;
    QList<Shortcut> m_shortcuts;
    State m_state = State::Idle;
    QString m_detail;
    QString m_sessionHandle;
    QString m_requestPath;
    Step m_step = Step::None;
    int m_tokens = 0;
    QMap<QString, QString> m_triggers;
};

} // namespace zorvane::app

Q_DECLARE_METATYPE(zorvane::app::PortalShortcutEntry)
