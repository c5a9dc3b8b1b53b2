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
    // so. When no database can be opened at all, kills are dropped and notice() says why.
    // A failed opening is not tried again.
    explicit SqliteKillLog(std::filesystem::path file);
    // Stores every queued kill, then closes the database. Opens nothing when nothing
    // was ever recorded or asked.
    ~SqliteKillLog() override;
    SqliteKillLog(const SqliteKillLog&) = delete;
    SqliteKillLog& operator=(const SqliteKillLog&) = delete;

    const std::filesystem::path& file() const { return m_file; }
    // Whether kills currently reach a database. A use: opens the database if no
    // attempt was made yet.
    bool isOpen();
    // What went wrong with the database, for the user; empty when nothing did.
    // The latest problem wins. A use, like isOpen().
    text::Message notice();
    // Hands the handler every notice (a damaged or unusable file met by the opening, a
    // database that breaks while the program runs, a failed write) on the thread that
    // met it, the writer thread or a caller's. Notices that arose while no handler was
    // set (the latest 64 of them) are handed to this one at once, on the calling
    // thread, in the order they arose. Each notice reaches one handler once. The handler may run on
    // two threads at once and must not wait for the thread that calls this log.
    void setNoticeHandler(std::function<void(const text::Message&)> handler);

    // Queues the kill for the writer thread; returns at once. Any thread.
    void recordKill(const schedule::KillRecord& record) override;
    // Stores every kill queued so far before returning; false when there is no database
    // or the latest write failed.
    bool flush();

    // The boss's latest kills, newest first, at most `limit`.
    std::vector<schedule::KillRecord> recentKills(std::string_view boss, int limit);
    // Every kill of the boss, oldest first.
    std::vector<schedule::KillRecord> allKills(std::string_view boss);
    // How many records (kills and roll-overs) the boss has.
    std::int64_t recordCount(std::string_view boss);
    // The intervals between the boss's consecutive kills. Roll-overs are the program's
    // own guesses, not observations, and are left out.
    IntervalStats killIntervals(std::string_view boss);
    // Writes allKills(boss) as CSV, replacing `target` atomically. On failure returns
    // false and, when `error` is given, puts the reason there.
    bool exportCsv(std::string_view boss, const std::filesystem::path& target,
                   text::Message* error = nullptr);

private:
    class Database;
    enum class State { NotTried, Open, Unavailable };
    // Notices met while holding m_dbMutex, announced after it is released.
    using Notices = std::vector<text::Message>;

    // The writer's task: stores what is queued.
    void storeQueued();
    // Stores the queue, opening the database first when this is its first use; the
    // caller holds m_dbMutex.
    bool storeQueuedLocked(Notices& notices);
    // Opens the database unless an attempt was made; the caller holds m_dbMutex.
    void openOnFirstUseLocked(Notices& notices);
    void openLocked(Notices& notices);
    // Opens the database on the calling thread unless an attempt was made.
    void openOnFirstUse();
    void announce(const Notices& notices);

    std::filesystem::path m_file;

    std::mutex m_dbMutex; // guards m_db and m_lastWriteFailed, and serialises the opening
    std::unique_ptr<Database> m_db;
    bool m_lastWriteFailed = false;
    // Written under m_dbMutex; read without waiting for a write in progress.
    std::atomic<State> m_state{State::NotTried};

    std::mutex m_queueMutex; // guards the members below
    std::vector<schedule::KillRecord> m_queue;
    text::Message m_notice;
    std::function<void(const text::Message&)> m_noticeHandler;
    Notices m_undelivered; // arose while no handler was set

    // Started by the first recorded kill; last, so it ends before the members it uses go.
    work::Worker m_writer{"history writer"};
};

} // namespace zorvane::history
