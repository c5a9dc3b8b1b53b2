#pragma once
// What the schedule needs from the rest of the program. The schedule declares
// these; the window layer implements them and hands them in, and tests replace them.

#include "schedule/spawnrule.h"
#include "text/message.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zorvane::schedule {

class BossTable;

// The two settings the tick reads afresh on every pass (mirrors of the two edit boxes).
class Settings {
public:
    virtual ~Settings() = default;
    // The warning-minutes text as typed.
    virtual std::string warnMinutesText() const = 0;
    // The alarm sound path; "" means the built-in sound.
    virtual std::string soundPathText() const = 0;
    // Lead times, in minutes, announced for every checked row besides the warning
    // minutes; none unless the user chose some.
    virtual std::vector<int> extraLeadMinutes() const { return {}; }
};

// What an alert is about. The countdown's own alerts (a lead time, due) come from every
// row; a window's opening and an unrecorded spawn only from rows whose rule has them.
enum class AlertTopic {
    Countdown,     // a lead time before the due moment, or the row fell due
    WindowOpening, // a lead time before a window opens, or it opened (no lead minutes)
    Unrecorded,    // a spawn still has no kill recorded some minutes after it
};

// One alert about one row: a lead time reached, or the row fell due.
struct Alert {
    std::uint64_t rowId = 0;        // the row's id in the table
    std::string boss;               // the boss name, trimmed
    int rowNumber = 0;              // the row's number in the grid (the header is row 0)
    std::int64_t secondsLeft = 0;   // until due; 0 or less when due
    std::optional<int> leadMinutes; // the lead time reached; empty when the row is due
    bool chime = false;             // the warning minutes reached: the alarm sound plays
    AlertTopic topic = AlertTopic::Countdown;
    // The instant the alert is about: the window's opening (WindowOpening), the spawn
    // (Unrecorded), a line's due moment; none for a row's countdown alerts, which readers
    // date from the row.
    std::optional<std::int64_t> aboutUtc;
    // Unrecorded: the rule's reminder minutes after the spawn (secondsLeft is minus the
    // true time since it). WindowOpening: secondsLeft runs to the opening for a lead time,
    // to the window's end once it opened.
    int minutesAfter = 0;
    // Where the row's boss stood by its rule when the alert fired (Up once it fell due).
    SpawnPhase phase = SpawnPhase::Unknown;
    // An alert about one line of the row (schedule/linetimers.h): its id, server ("" for
    // a boss on no named server) and line label; all empty for the row's own alerts.
    std::uint64_t lineId = 0;
    std::string server;
    std::string line;
    bool due() const { return topic == AlertTopic::Countdown && !leadMinutes.has_value(); }
};

// Told of each alert; called on the tick's worker thread, so it returns quickly.
class AlarmSink {
public:
    virtual ~AlarmSink() = default;
    virtual void alert(const Alert& alert) = 0;
};

// Shows a message to the user ("信息：" box with an OK button); returns when it is closed.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void showMessage(const text::Message& message) = 0;
};

// Keeps the table's copy on disk.
class TableStore {
public:
    virtual ~TableStore() = default;
    // Writes every data row; keys of rows that no longer exist stay in the file.
    virtual void saveTable(const BossTable& table) = 0;
    // Drops the stored table (other settings stay) and writes every data row anew.
    virtual void rewriteTable(const BossTable& table) = 0;
};

// Told how each write of a file the program keeps (config.ini, confing.ini, 1.wav)
// ended, so the window can tell the user that a change did not reach the disk and
// take the notice away once a write of that file succeeds. Called on the thread that
// wrote (the window thread or the tick); an implementation returns at once and never
// waits for the window thread.
class WriteStatusSink {
public:
    virtual ~WriteStatusSink() = default;
    // `file` is the path written (UTF-8); `reason` names the file and the system's reason.
    virtual void writeFailed(const std::string& file, const std::string& reason) = 0;
    virtual void writeSucceeded(const std::string& file) = 0;
    // A sound that did not play (`source`: the sound file or the sound helper), told apart
    // from a failed write; a write of `source` that succeeds later takes it back as well.
    virtual void soundFailed(const std::string& source, const text::Message& reason) {
        writeFailed(source, text::defaultText(reason));
    }
};

// How a kill came to be recorded.
enum class KillSource {
    DoubleClick, // a double click on the last time
    Typed,       // a last time typed into the cell (also "-N" minutes ago)
    RollOver,    // the tick started the next cycle of a due row
    CommandLine, // recorded from the command line
    Remote,      // received from another member of a shared room
    Keyboard,    // Ctrl+K or Enter on the last time
    Menu,        // the grid's row menu ("now" or "N minutes ago")
    Restart,     // a server restart, re-anchoring rows whose rule counts it as a kill
};

// One recorded kill (or roll-over): what the history keeps.
struct KillRecord {
    std::string boss;          // the boss name as in the table, trimmed
    std::int64_t utcSeconds{}; // the instant of the kill, seconds since 1970-01-01 UTC
    int periodMinutes{};       // the period in force then
    int delayMinutes{};        // the delay in force then
    KillSource source{KillSource::DoubleClick};
    std::string sender; // who sent a remote kill; empty otherwise
    // The server and line of a kill on a line; empty for a row without lines.
    std::string server{};
    std::string line{};
};

// Keeps the history of kills. Called on the thread that recorded the kill (the window
// thread or the tick); an implementation must return quickly and never fail loudly:
// a history that cannot be written never stops the table from working.
class KillLog {
public:
    virtual ~KillLog() = default;
    virtual void recordKill(const KillRecord& record) = 0;
    // Marks the latest recorded kill equal to `record` undone (the user undid it) or no
    // longer undone (redone). A log that keeps no kills has none to mark.
    virtual void setUndone(const KillRecord& record, bool undone) {
        (void)record;
        (void)undone;
    }
};

} // namespace zorvane::schedule
