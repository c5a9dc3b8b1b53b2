#pragma once
// The window's notes per boss (config/bossnotes.h): read from notes.json on first use,
// changed from the window thread, written by a thread of its own ("notes writer") so that
// the window never waits for the disk. A file that could not be read is never written over:
// the notes stay as the file has them until the player mends or removes it, and every
// attempt to change one says why.

#include "config/bossnotes.h"
#include "services/notices.h"
#include "work/worker.h"

#include <QString>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zorvane::app {

class BossNoteBook {
public:
    // `notices` (where failed writes go) must outlive the book.
    BossNoteBook(std::filesystem::path dir, NoticeRelay& notices);
    // Writes what is queued.
    ~BossNoteBook();

    // The boss's note (by its name, trimmed); empty when it has none.
    config::BossNote note(const std::string& boss);
    // Keeps the note (an empty one removes it) and queues the write; false with the reason
    // when the file could not be read. The boss's group stays as it is.
    bool setNote(const std::string& boss, const config::BossNote& note, QString& error);
    // Puts the boss in `group` (trimmed; empty: in none) and queues the write; false with the
    // reason when the file could not be read or the name is not one line.
    bool setGroup(const std::string& boss, const std::string& group, QString& error);
    // Every boss's group by its name (bosses without one left out), and the groups in use in
    // their sorted order; empty when the file could not be read (its notice says why).
    std::map<std::string, std::string> groups();
    std::vector<std::string> groupNames();
    // Every note; nullopt with the reason when the file could not be read.
    std::optional<config::BossNotes> all(QString& error);
    // Keeps these notes in place of all others (a merged boss list) and queues the write;
    // false with the reason when the file could not be read.
    bool replaceAll(config::BossNotes notes, QString& error);
    // Called after any note or group changed (the grid reads the groups again).
    void setChanged(std::function<void()> changed) { m_changed = std::move(changed); }
    // Waits until every write queued so far is done (tests, quitting).
    void flush() { m_writer.flush(); }

    // The note as lines for a tooltip or a dialog ("位置：...", "掉落：...", the text); empty
    // when there is none.
    static QString noteText(const config::BossNote& note);

private:
    void load();
    // The reason the file cannot be read, translated; empty when it could.
    QString loadProblem();
    void queueWrite();

    std::filesystem::path m_dir;
    NoticeRelay& m_notices;
    bool m_loaded = false;
    std::string m_loadError; // the file exists but cannot be read
    config::BossNotes m_notes;
    std::function<void()> m_changed;
    work::Worker m_writer{"notes writer"};
};

} // namespace zorvane::app
