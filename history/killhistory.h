#pragma once
// The kill history: every recorded kill and roll-over, kept in an SQLite database
// beside config.ini. Recording never makes the caller wait on the disk: kills go into a
// queue that a writer thread stores, and the queries store what is queued first, so
// they always see every kill recorded before them. The database is opened once, in WAL
// mode, and never touches the table or config.ini.

#include "history/intervals.h"
#include "schedule/services.h"
#include "text/message.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace zorvane::history {

// The database's file name in the program directory.
inline constexpr std::string_view kHistoryFileName = "history.sqlite";

class SqliteKillLog final : public schedule::KillLog {
public:
    // Opens the database at `file`, creating it when missing. A file that is not a
    // usable database (garbage, truncated, damaged, a directory in its place) is renamed
    // aside with a time-stamp suffix and a fresh database created; notice() says so.
    // When no database can be opened at all, kills are dropped and notice() says why.
    explicit SqliteKillLog(std::filesystem::path file);
    // Stores every queued kill, then closes the database.
    ~SqliteKillLog() override;
    SqliteKillLog(const SqliteKillLog&) = delete;
    SqliteKillLog& operator=(const SqliteKillLog&) = delete;

    const std::filesystem::path& file() const { return m_file; }
    // Whether kills currently reach a database.
    bool isOpen() const;
    // What went wrong with the database, for the user; empty when nothing did.
    // The latest problem wins.
    text::Message notice() const;
    // Called with every new notice that arises after construction (a database that
    // breaks while the program runs, a failed write), on the thread that met it.
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

    void writerLoop();
    // Stores the queue; the caller holds m_dbMutex.
    bool storeQueuedLocked(text::Message& newNotice);
    void openLocked(text::Message& newNotice);
    void announce(const text::Message& newNotice);

    std::filesystem::path m_file;

    mutable std::mutex m_dbMutex; // guards m_db
    std::unique_ptr<Database> m_db;
    bool m_lastWriteFailed = false;
    std::atomic<bool> m_open{false}; // read without waiting for a write in progress

    mutable std::mutex m_queueMutex; // guards the members below
    std::condition_variable m_wake;
    std::vector<schedule::KillRecord> m_queue;
    bool m_stopping = false;
    text::Message m_notice;
    std::function<void(const text::Message&)> m_noticeHandler;

    std::thread m_writer;
};

} // namespace zorvane::history
