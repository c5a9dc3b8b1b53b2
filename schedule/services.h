#pragma once
// What the schedule needs from the rest of the program. The schedule declares
// these; the window layer implements them and hands them in, and tests replace them.

#include <string>

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
};

// Sounds the alarm; called on the tick's worker thread.
class AlarmSink {
public:
    virtual ~AlarmSink() = default;
    virtual void soundAlarm() = 0;
};

// Shows a message to the user ("信息：" box with an OK button); returns when it is closed.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void showMessage(const std::string& text) = 0;
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

} // namespace zorvane::schedule
