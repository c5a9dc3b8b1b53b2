#pragma once
// The kill history: every recorded kill and roll-over, kept in an SQLite database
// beside config.ini. Recording never makes the caller wait on the disk: kills go into a
// queue that a writer thread stores, and the queries store what is queued first, so
// they always see every kill recorded before them. The database is opened once, on its
// first use, in WAL mode, and never touches the table or config.ini: a window that never
// records or looks up a kill pays neither the start time nor the memory of SQLite.

#include "history/intervals.h"
#include "schedule/services.h"
#include "text/message.h"
#include "work/worker.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace zorvane::history {

// The database's file name in the program directory.
inline constexpr std::string_view kHistoryFileName = "history.sqlite";

class SqliteKillLog final : public schedule::KillLog {
public:
    // Keeps the database at `file`, which is opened (created when missing) on the first
    // use: the first recorded kill opens it on the writer thread, every other member
    // below on the calling thread. Construction touches no file. A file that is not a
    // usable database (garbage, truncated, damaged, a directory in its place) is then
    // renamed aside with a time-stamp suffix and a fresh database created; notice() says
    // so. A database that cannot be opened or written (a full disk, a read-only file) is
    // tried again at the next use: kills recorded meanwhile wait in memory (at most
    // kQueueLimit of them) and are stored once it works, and the notices say how many
    // wait.
    explicit SqliteKillLog(std::filesystem::path file);
    // Stores every queued kill, then closes the database. Opens nothing when nothing
    // was ever recorded or asked.
    ~SqliteKillLog() override;
    SqliteKillLog(const SqliteKillLog&) = delete;
    SqliteKillLog& operator=(const SqliteKillLog&) = delete;

    const std::filesystem::path& file() const { return m_file; }
    // Whether kills currently reach a database. A use: opens the database unless it is
    // open.
    bool isOpen();
    // What went wrong with the database, for the user; empty when nothing did or it
    // works again. The latest problem wins. A use, like isOpen().
    text::Message notice();
    // Hands the handler every notice (a damaged or unusable file met by the opening, a
    // database that breaks while the program runs, kills that could not be stored) on
    // the thread that met it, the writer thread or a caller's, and an empty message once
    // the database works again after a notice. Notices that arose while no handler was
    // set (the latest 64 of them) are handed to this one at once, on the calling
    // thread, in the order they arose. Each notice reaches one handler once; the same
    // failure of the opening met again is not told again. The handler runs on one thread
    // at a time, in the order the notices arose; it must not call this log nor wait for
    // a thread that does.
    void setNoticeHandler(std::function<void(const text::Message&)> handler);

    // Queues the kill for the writer thread; returns at once. Any thread. A roll-over
    // already stored (the same boss at the same instant, as every start rolls a row that
    // was not saved since) is stored once.
    void recordKill(const schedule::KillRecord& record) override;
    // Marks the latest stored kill equal to `record` (boss, instant, source, sender)
    // undone, or no longer undone (a redo), in the order of the recorded kills; returns
    // at once. An undone kill stays in the file but no query below sees it.
    void setUndone(const schedule::KillRecord& record, bool undone) override;
    // Stores every kill queued so far before returning; false when there is no database
    // or a kill still waits to be stored.
    bool flush();

    // The boss's latest kills, newest first, at most `limit`.
    std::vector<schedule::KillRecord> recentKills(std::string_view boss, int limit);
    // Every kill of the boss, oldest first.
    std::vector<schedule::KillRecord> allKills(std::string_view boss);
    // How many records (kills and roll-overs) the boss has.
    std::int64_t recordCount(std::string_view boss);
    // The intervals between the boss's consecutive kills. Roll-overs are the program's
    // own guesses, not observations, and are left out; so are undone kills, and a kill
    // reported twice (sameKill) counts once.
    IntervalStats killIntervals(std::string_view boss);
    // Writes allKills(boss) as CSV, replacing `target` atomically. On failure returns
    // false and, when `error` is given, puts the reason there.
    [[nodiscard]] bool exportCsv(std::string_view boss, const std::filesystem::path& target,
                                 text::Message* error = nullptr);

    // Kills held at most while the database cannot be written.
    static constexpr std::size_t kQueueLimit = 100000;

private:
    class Database;
    enum class State { NotTried, Open, Unavailable };
    // Notices met while holding m_dbMutex, announced after it is released.
    using Notices = std::vector<text::Message>;
    // One change to the stored kills, applied in the order asked for.
    struct Change {
        enum Kind { Record, Undo, Redo };
        schedule::KillRecord record;
        Kind kind = Record;
    };

    void enqueue(Change change);
    // The writer's task: stores what is queued.
    void storeQueued();
    // Stores what waits and the queue, opening the database first unless it is open;
    // the caller holds m_dbMutex. False when something still waits.
    bool storeQueuedLocked(Notices& notices);
    // Opens the database unless it is open; the caller holds m_dbMutex.
    void ensureOpenLocked(Notices& notices);
    void openLocked(Notices& notices);
    // Opens the database on the calling thread unless it is open.
    void ensureOpen();
    // Notices leave in the order they arose: queued while m_dbMutex is held, announced
    // after it is released by one thread at a time.
    void queueNoticesLocked(Notices& notices);
    void announceQueued();
    void announce(const Notices& notices);

    std::filesystem::path m_file;

    // Guards m_db, m_waiting and the failures below, and serialises the opening.
    std::mutex m_dbMutex;
    std::unique_ptr<Database> m_db;
    // Changes that could not be stored yet, oldest first; tried again with the next.
    std::vector<Change> m_waiting;
    // The notice of the latest failed opening, so the same failure is told once, and
    // its reason alone, for the notice of what could not be stored.
    text::Message m_openFailure;
    text::Message m_openReason;
    text::Message m_lastWriteReason; // why the latest write failed
    bool m_failed = false;           // a notice told of a failure that has not been mended since
    // Written under m_dbMutex; read without waiting for a write in progress.
    std::atomic<State> m_state{State::NotTried};
    // Kills dropped because kQueueLimit of them already waited.
    std::atomic<std::size_t> m_dropped{0};

    std::mutex m_queueMutex; // guards the members below
    std::vector<Change> m_queue;
    text::Message m_notice;
    std::function<void(const text::Message&)> m_noticeHandler;
    Notices m_undelivered; // arose while no handler was set
    Notices m_outbox;      // queued, not announced yet
    std::mutex m_announceMutex;

    // Started by the first recorded kill; last, so it ends before the members it uses go.
    work::Worker m_writer{"history writer"};
};

} // namespace zorvane::history
