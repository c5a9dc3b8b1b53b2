#pragma once
// The running program without its window: the one place that makes and wires the services,
// and owns them. The window receives a session and builds only widgets; --kill and --list
// without a window and the tests use sessions too, with what they need switched on.
//
// A session always has the boss table, the writer of config.ini and confing.ini, the kill
// history, the preferences (made on first use) and the kill path. Switched on by its setup:
// the countdown (the tick, the alarm and the alert sounds on the tick timer of the global
// objects), the shared room, and desktop notifications of the tick's alerts. What is not
// switched on is not made, and no thread of it starts.

#include "config/configfiles.h"
#include "schedule/away.h"
#include "schedule/bosstable.h"
#include "schedule/clock.h"
#include "services/desktopnotifier.h"
#include "services/notices.h"

#include <QObject>

#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zorvane::history {
class RoomAuditLog;
class SqliteKillLog;
} // namespace zorvane::history

namespace zorvane::periodic {
class AppGlobals;
}

namespace zorvane::app {

class AlertDispatch;
class ConfigWriter;
class KillPath;
class LineBook;
class PushLink;
class Preferences;
class BossNoteBook;
class RoomConnection;
class TickSupport;

struct SessionSetup {
    const schedule::Clock& clock;
    // Where config.ini, confing.ini, preferences.ini, history.sqlite, 1.wav and 1.htm live
    // (UTF-8 path).
    std::string programDir;
    // The countdown runs on the tick timer of these objects; nullptr: no countdown.
    periodic::AppGlobals* globals = nullptr;
    // Join the room the preferences name (joinRoom()).
    bool room = false;
    // Show the countdown's alerts as desktop notifications carrying the icon made by
    // notificationIcon (none when empty), which is called when the bus is attached: a
    // window's icon may be whole only after its first paint (widgets/starticon.h).
    bool notifications = false;
    std::function<NotificationImage()> notificationIcon = {};
    // The notifications' session bus connection is made by attachNotifierBus() (a window's
    // after its first paint), not in the constructor; alerts meanwhile wait.
    bool notifierBusLater = false;
    // Post the countdown's alerts to the targets in push.json through the push helper
    // (zorvane-push; empty: the one beside the program). Nothing runs while the file holds
    // no enabled target.
    bool push = false;
    std::string pushHelper = {};
    // Read config.ini on another thread from the start (see finishLoad()).
    bool readBeside = false;

    // What a window runs: everything on.
    static SessionSetup window(periodic::AppGlobals& globals, const schedule::Clock& clock,
                               std::string programDir);
};

class Session : public QObject {
    Q_OBJECT
public:
    // Lives on the window thread (or the command's).
    explicit Session(SessionSetup setup, QObject* parent = nullptr);
    // Stops the countdown first: no tick runs on what goes. Notes that the program ran until
    // now when it was noting it.
    ~Session() override;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const schedule::Clock& clock() const { return m_setup.clock; }
    const std::string& programDir() const { return m_setup.programDir; }
    std::filesystem::path programPath() const;

    // The one store of the rows.
    schedule::BossTable& table() { return m_table; }
    // The writer of config.ini and confing.ini (on a thread of its own, started by the first
    // write).
    ConfigWriter& writer() const { return *m_writer; }
    // The kill history beside config.ini.
    history::SqliteKillLog& history() const { return *m_history; }
    // preferences.ini beside config.ini, made (with the file) on first use.
    Preferences& preferences();
    // Whether preferences.ini exists; a command that only reads them asks first, so it never
    // makes one.
    bool hasPreferencesFile() const;
    // Every kill goes through here.
    KillPath& kills() const { return *m_kills; }
    // The notes per boss beside config.ini, read on first use.
    BossNoteBook& notes();
    // The rows' lines and servers with their timers (lines.json), read by finishLoad.
    LineBook& lines() const { return *m_lines; }
    // The game server restarted at `instant` (the menu, --restart): every row whose rule says
    // so starts again from it and the table is saved; a joined room is told, so that its
    // members do the same. Returns the rows moved, in table order.
    std::vector<schedule::RowId> restartServer(schedule::UtcSeconds instant);
    // The parts that are switched on, else nullptr.
    RoomConnection* room() const { return m_room.get(); }
    // The room's audit trail beside the kill history; nullptr without a room.
    history::RoomAuditLog* roomAudit() const { return m_audit.get(); }
    TickSupport* tick() const { return m_tick.get(); }
    AlertDispatch* alerts() const { return m_alerts.get(); }
    PushLink* push() const { return m_push.get(); }
    // Connects the notifications to the session bus when the setup left that for later, and
    // sends the alerts that waited. Once; nothing without notifications.
    void attachNotifierBus();
    periodic::AppGlobals* globals() const { return m_setup.globals; }

    // Where write failures, sound trouble and history notices go (the window's notice line);
    // nullptr: nowhere. Any thread.
    void setNoticeSink(NoticeSink* sink) { m_notices.setTarget(sink); }

    // Takes what config.ini holds into the table (its rows dated as they are read) and returns
    // the stored warning minutes. Read on another thread when the setup asked for it, here
    // otherwise. Once. When the file cannot be read (a directory, no permission) the table
    // stays empty and `error` gets the file and the system's reason.
    std::string finishLoad(std::string* error = nullptr);
    // Tells the notice line which rows keep a stored spawn rule or zone this program cannot
    // read (they count on the default rule meanwhile), or takes the notice back once none
    // does. finishLoad calls it; call it again after a rule was chosen. Window thread.
    void tellUnreadRules();

    // The countdown: starts the tick timer, or stops it (waiting for a pass under way) and
    // silences every sound. Nothing without the countdown. startTick is false when the
    // tick's thread could not be made: nothing counts until it is started again.
    [[nodiscard]] bool startTick();
    void stopTick();

    // The rows that came due while the program was not running, since it was last seen
    // (none when it never was). From now on the session notes once a minute, and at its
    // end, that the program runs; the first note is the caller's, with noteRunning (the
    // window makes it after its first paint: the write waits for the disk).
    std::vector<schedule::MissedRow> startNotingRunning();
    // Notes now that the program runs.
    void noteRunning();

    // Joins the room the preferences name, or leaves when they name none; nothing without a
    // room. After the table is loaded, so the room's retained kills meet its rows.
    void joinRoom();

private:
    void wireCountdown();

    SessionSetup m_setup;
    // config.ini as read beside whatever the caller does meanwhile.
    // What the config reader read, or why it could not.
    struct Stored {
        std::optional<config::StoredTable> table;
        std::string error;
    };
    std::future<Stored> m_stored;
    bool m_noting = false;

    // In the order they are needed; each goes before what it uses.
    NoticeRelay m_notices;
    schedule::BossTable m_table;
    std::unique_ptr<ConfigWriter> m_writer;
    std::unique_ptr<history::SqliteKillLog> m_history;
    std::unique_ptr<Preferences> m_preferences;
    std::unique_ptr<LineBook> m_lines;
    std::unique_ptr<KillPath> m_kills;
    std::unique_ptr<history::RoomAuditLog> m_audit;
    std::unique_ptr<RoomConnection> m_room;
    std::unique_ptr<BossNoteBook> m_notes;
    std::unique_ptr<TickSupport> m_tick;
    std::unique_ptr<DesktopNotifier> m_notifier;
    std::unique_ptr<PushLink> m_push;
    std::unique_ptr<AlertDispatch> m_alerts;
};

} // namespace zorvane::app
