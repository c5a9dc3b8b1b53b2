#pragma once
// The one way a kill reaches the table, wherever it comes from: a double click, the keyboard,
// the row menu, a typed time's kill log, --kill handed over to the window or run on the files,
// and a kill a member of the shared room sent.
//
// A local kill changes the row, saves the table and then tells the kill log: the room, which
// publishes kills of shared rows, and behind it the history. A received kill changes the row
// and tells the kill log (the history, as remote with the sender); the table is saved
// kRemoteSaveDelayMs later, once for all kills that arrive meanwhile, by the config writer's
// thread. Whoever keeps an undo stack hears of every kill with the row as it was before.

#include "schedule/bosstable.h"
#include "schedule/linetimers.h"
#include "schedule/services.h"

#include <QObject>

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>

class QTimer;

namespace zorvane::app {

class ConfigWriter;
class LineBook;

class KillPath final : public QObject {
    Q_OBJECT
public:
    // Told of every change of a row made here, with the row as it was before (the grid's undo
    // stack): a kill (`killed`), or a retracted kill put back.
    using Recorded = std::function<void(const schedule::BossRow& before, bool killed)>;
    // Told when a kill is undone (`undone`) or redone: the boss, its line (empty for a kill
    // of the row) and the kill's instant.
    using Undone = std::function<void(const std::string& boss, const schedule::LineKey& line,
                                      schedule::UtcSeconds instant, bool undone)>;

    // Told of every change of a line made here, with the line as it was before: a kill
    // (`killed`), or a retracted kill put back.
    using LineRecorded = std::function<void(schedule::RowId row, schedule::LineId line,
                                            const schedule::LineState& before, bool killed)>;

    // Received kills within this many milliseconds share one save of the table.
    static constexpr int kRemoteSaveDelayMs = 200;

    // A kill given to record() with `confirmed` set: what was recorded, or why not.
    struct Confirmed {
        // The kill as the kill log heard of it; nullopt when the row is gone or the table
        // could not be written.
        std::optional<schedule::KillRecord> kill;
        // Why config.ini does not have the kill; empty when it has it.
        std::string saveError;
    };

    // table and writer must outlive the path. Lives on the thread that records (the window's).
    KillPath(schedule::BossTable& table, ConfigWriter& writer, QObject* parent = nullptr);
    // Saves received kills whose save was still waiting: none is lost on quit.
    ~KillPath() override;

    // Where kills go besides the table (the room, the history); nullptr for nowhere.
    void setKillLog(schedule::KillLog* log) { m_killLog = log; }
    schedule::KillLog* killLog() const { return m_killLog; }
    // At most one listener; an empty function removes it.
    void setRecorded(Recorded recorded) { m_recorded = std::move(recorded); }
    // The rows' lines and servers (kills on a line go there); nullptr for none.
    void setLines(LineBook* lines) { m_lines = lines; }
    // At most one listener; an empty function removes it.
    void setLineRecorded(LineRecorded recorded) { m_lineRecorded = std::move(recorded); }
    // At most one listener (the room, which takes back a shared kill that is undone).
    void setUndone(Undone undone) { m_undone = std::move(undone); }
    // Whoever undid or redid a kill of the row tells it here; `killed` is the row with the kill.
    // The kill log marks the kill undone (or no longer undone), so the history's statistics
    // leave it out, and the undone listener hears of it.
    void killUndone(const schedule::BossRow& killed, bool undone);
    // The same for a kill on a line at `instant`, undone or redone on the line.
    void lineKillUndone(schedule::RowId row, schedule::LineId line, schedule::UtcSeconds instant,
                        bool undone);

    // A local kill of the row at `instant`: last and next time, the table saved, the kill log
    // told. False when the row is gone.
    bool record(schedule::RowId row, schedule::UtcSeconds instant, schedule::KillSource source,
                const std::string& sender = {});

    // A local kill on one line of the row at `instant`: the line's timer, lines.json saved,
    // the kill log told with the line and server. False when the row or the line is gone.
    bool recordOnLine(schedule::RowId row, schedule::LineId line, schedule::UtcSeconds instant,
                      schedule::KillSource source, const std::string& sender = {});
    // The same for a process that ends right after (--kill --line on the files): the kill log
    // hears of the kill only once lines.json has it.
    Confirmed recordOnLineConfirmed(schedule::RowId row, schedule::LineId line,
                                    schedule::UtcSeconds instant, schedule::KillSource source);
    // Puts a line's earlier state back (undo, redo) and saves; false when the line is gone.
    bool restoreLine(schedule::RowId row, schedule::LineId line, const schedule::LineState& state);

    // The same for a process that ends right after (--kill on the files): waits until the
    // writer has written the table, and only then tells the kill log, so the history never
    // gets a kill config.ini does not have.
    Confirmed recordConfirmed(schedule::RowId row, schedule::UtcSeconds instant,
                              schedule::KillSource source);

    // A kill a member sent, newer than the row's (the room judges): last and next time, the
    // kill log told of a remote kill with the sender, the table saved with the next save.
    // False when the row is gone.
    bool applyRemote(schedule::RowId row, schedule::UtcSeconds killUtc, const std::string& sender);
    // A kill a member sent on one line of the row, named by its server and label as the
    // sender's table names them (matched as findLine does). Applied when newer than the
    // line's last kill: the line's timer, lines.json saved, the kill log told of a remote kill.
    // Otherwise why not: NoLines, UnknownServer, ServerNeeded or UnknownLine for a line this
    // table lacks, Found for one whose kill is as new or newer (nothing changes).
    schedule::LineLookup applyRemoteOnLine(schedule::RowId row, const std::string& server,
                                           const std::string& line, schedule::UtcSeconds killUtc,
                                           const std::string& sender, bool& applied);

    // The room retracted the kill at `retracted` that the row shows: the row goes back to the
    // kill it showed before that one came, or to the room's newest kill after the
    // retraction (`roomNewest`) when that is newer, or to none. No kill happened, so the kill
    // log hears nothing; the table is saved with the next save. False when the row is gone.
    bool restore(schedule::RowId row, schedule::UtcSeconds retracted,
                 std::optional<schedule::UtcSeconds> roomNewest);
    // The same for a line of the row, named as the sender's table names it (as
    // applyRemoteOnLine): only while the line shows the retracted kill does it go back, and
    // lines.json is saved. False when the line is gone, unknown or shows another kill.
    bool restoreOnLine(schedule::RowId row, const std::string& server, const std::string& line,
                       schedule::UtcSeconds retracted,
                       std::optional<schedule::UtcSeconds> roomNewest);

private:
    // Kills made here, each with the last kill it replaced, oldest first.
    using Replaced =
        std::deque<std::pair<schedule::UtcSeconds, std::optional<schedule::UtcSeconds>>>;
    // The kill on the line, and the record the kill log is to hear of; nullopt when the row
    // or the line is gone.
    std::optional<schedule::KillRecord> killOnLine(schedule::RowId row, schedule::LineId line,
                                                   schedule::UtcSeconds instant,
                                                   schedule::KillSource source,
                                                   const std::string& sender);
    void saveSoon();
    // Notes what the row showed before a kill at `instant` came.
    void remember(schedule::RowId row, schedule::UtcSeconds instant,
                  std::optional<schedule::UtcSeconds> before);
    // The kill to go back to when the kill at `retracted` is taken back: the room's newest
    // after it, or what was shown before it came when that is newer.
    static std::optional<schedule::UtcSeconds> backFrom(const Replaced* kills,
                                                        schedule::UtcSeconds retracted,
                                                        std::optional<schedule::UtcSeconds> back);
    void tell(const schedule::BossRow& before, bool killed = true);
    // Passes a kill on to m_killLog and notes it, so an undo can name the very record.
    class TellingLog;
    void told(const schedule::KillRecord& record);

    schedule::BossTable& m_table;
    ConfigWriter& m_writer;
    schedule::KillLog* m_killLog = nullptr;
    LineBook* m_lines = nullptr;
    LineRecorded m_lineRecorded;
    Recorded m_recorded;
    Undone m_undone;
    // Per row, its latest kills made here and the last kill each replaced (a few per row);
    // the same per line.
    std::map<schedule::RowId, Replaced> m_replaced;
    std::map<std::pair<schedule::RowId, schedule::LineId>, Replaced> m_replacedOnLine;
    // The latest kills the kill log heard of from here, oldest first (a bounded number).
    std::deque<schedule::KillRecord> m_told;
    QTimer* m_saveTimer = nullptr;
};

} // namespace zorvane::app
