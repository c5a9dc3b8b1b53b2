#include "history/killhistory.h"

#include "history/csvexport.h"
#include "history/killtexts.h"
#include "history/sqlitetext.h"
#include "schedule/clock.h"
#include "schedule/datetime.h"
#include "text/fileio.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <utility>

namespace zorvane::history {
namespace {

namespace fs = std::filesystem;
using schedule::KillRecord;

constexpr int kSchemaVersion = 1;
// Notices kept for a notice handler that is not set yet; a log that never gets one
// must not collect them without end.
constexpr std::size_t kUndeliveredLimit = 64;
// Another running copy of the program may hold the write lock for a moment.
constexpr int kBusyTimeoutMs = 2000;

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS kills(
    id INTEGER PRIMARY KEY,
    boss TEXT NOT NULL,
    utc INTEGER NOT NULL,
    period INTEGER NOT NULL,
    delay INTEGER NOT NULL,
    source TEXT NOT NULL,
    sender TEXT NOT NULL DEFAULT '',
    undone INTEGER NOT NULL DEFAULT 0
);
-- Covers the interval query (instants of one boss without roll-overs) on its own.
CREATE INDEX IF NOT EXISTS kills_by_boss ON kills(boss, utc, source);
)sql";

// Damage that renaming the file aside mends; anything else (no permission, full disk,
// a newer schema) leaves the file alone.
bool isDamage(int code) {
    const int primary = code & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

std::string stampNow() {
    schedule::DateTimeParts p;
    schedule::breakDown(schedule::SystemClock().now(), p);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d%02d%02d-%02d%02d%02d", p.year, p.month, p.day,
                  p.hour, p.minute, p.second);
    return buffer;
}

fs::path withSuffix(const fs::path& file, std::string_view suffix) {
    fs::path result = file;
    result += text::pathFromUtf8(suffix);
    return result;
}

// Renames the database and its WAL companions to "<name>.broken-<stamp>"; returns the
// new name of the database, or nullopt (with `error`) when it could not be moved.
std::optional<fs::path> moveAside(const fs::path& file, std::string& error) {
    const std::string stamp = ".broken-" + stampNow();
    fs::path target = withSuffix(file, stamp);
    std::error_code ec;
    for (int n = 2; fs::exists(fs::symlink_status(target, ec)); ++n) {
        target = withSuffix(file, stamp + "-" + std::to_string(n));
    }
    fs::rename(file, target, ec);
    if (ec) {
        error = ec.message();
        return std::nullopt;
    }
    for (const char* companion : {"-wal", "-shm"}) {
        const fs::path from = withSuffix(file, companion);
        if (fs::exists(fs::symlink_status(from, ec))) {
            fs::rename(from, withSuffix(target, companion), ec);
            if (ec) {
                // A stale WAL next to a fresh database would be replayed into it.
                fs::remove(from, ec);
            }
        }
    }
    return target;
}

class Statement {
public:
    Statement() = default;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement() { sqlite3_finalize(m_stmt); }

    int prepare(sqlite3* db, const char* sql) {
        return sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &m_stmt, nullptr);
    }
    sqlite3_stmt* get() const { return m_stmt; }
    // Unbinds and rewinds so the next use starts clean.
    void reset() {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

KillRecord recordFromRow(sqlite3_stmt* stmt) {
    KillRecord record;
    record.boss = columnText(stmt, 0);
    record.utcSeconds = sqlite3_column_int64(stmt, 1);
    record.periodMinutes = sqlite3_column_int(stmt, 2);
    record.delayMinutes = sqlite3_column_int(stmt, 3);
    // A source this version does not know shows as unknown rather than as a wrong one.
    record.source =
        sourceFromKey(columnText(stmt, 4)).value_or(static_cast<schedule::KillSource>(-1));
    record.sender = columnText(stmt, 5);
    return record;
}

} // namespace

// One open connection with its prepared statements.
class SqliteKillLog::Database {
public:
    struct Failure {
        bool damaged = false; // true: moving the file aside mends it
        text::Message reason;
    };
    // How a write ended: the code and the library's words for it, taken before a
    // rollback replaces them with "not an error".
    struct WriteResult {
        int rc = SQLITE_OK;
        std::string reason;
        bool ok() const { return rc == SQLITE_OK; }
    };

    ~Database() {
        // Statements go before the connection they belong to.
        m_insert.reset();
        m_insertRollOver.reset();
        m_mark.reset();
        m_recent.reset();
        m_all.reset();
        m_moments.reset();
        m_count.reset();
        sqlite3_close_v2(m_db);
    }

    static std::unique_ptr<Database> open(const fs::path& file, Failure& failure) {
        // SQLite would wait for ever on a pipe in the place of the file or its journal.
        for (const char* suffix : {"", "-wal", "-shm"}) {
            std::error_code ec;
            const fs::file_status status = fs::symlink_status(withSuffix(file, suffix), ec);
            if (fs::exists(status) && !fs::is_regular_file(status)) {
                failure = {true, text::Message(text::MessageId::HistoryNotRegularFile)};
                return nullptr;
            }
        }
        if (std::string error; !loadSqlite(error)) {
            failure = {false, text::Message::literal(error)};
            return nullptr;
        }
        auto database = std::unique_ptr<Database>(new Database);
        const int rc = sqlite3_open_v2(text::utf8FromPath(file).c_str(), &database->m_db,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        if (rc != SQLITE_OK) {
            failure = {isDamage(rc), text::Message::literal(database->errorText(rc))};
            return nullptr;
        }
        sqlite3_extended_result_codes(database->m_db, 1);
        sqlite3_busy_timeout(database->m_db, kBusyTimeoutMs);
        if (!database->setUp(failure)) {
            return nullptr;
        }
        return database;
    }

    // Applies the changes in one transaction; on failure nothing is stored.
    WriteResult apply(const std::vector<Change>& changes) {
        int rc = exec("BEGIN IMMEDIATE");
        if (rc != SQLITE_OK) {
            return failed(rc);
        }
        for (const Change& change : changes) {
            const WriteResult result = change.kind == Change::Record
                                           ? insert(change.record)
                                           : mark(change.record, change.kind == Change::Undo);
            if (!result.ok()) {
                exec("ROLLBACK");
                return result;
            }
        }
        rc = exec("COMMIT");
        if (rc != SQLITE_OK) {
            const WriteResult result = failed(rc);
            exec("ROLLBACK");
            return result;
        }
        return {};
    }

    std::vector<KillRecord> records(Statement& query, std::string_view boss, int limit) {
        std::vector<KillRecord> result;
        sqlite3_stmt* stmt = query.get();
        bindText(stmt, 1, boss);
        sqlite3_bind_int(stmt, 2, limit);
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            result.push_back(recordFromRow(stmt));
        }
        query.reset();
        return result;
    }

    std::vector<KillRecord> recent(std::string_view boss, int limit) {
        return records(*m_recent, boss, limit);
    }
    std::vector<KillRecord> all(std::string_view boss) { return records(*m_all, boss, -1); }

    std::vector<KillMoment> killMoments(std::string_view boss) {
        std::vector<KillMoment> moments;
        sqlite3_stmt* stmt = m_moments->get();
        bindText(stmt, 1, boss);
        bindText(stmt, 2, sourceKey(schedule::KillSource::RollOver));
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            moments.push_back({sqlite3_column_int64(stmt, 0), sqlite3_column_int(stmt, 1)});
        }
        m_moments->reset();
        return moments;
    }

    std::int64_t count(std::string_view boss) {
        sqlite3_stmt* stmt = m_count->get();
        bindText(stmt, 1, boss);
        const std::int64_t n = sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : 0;
        m_count->reset();
        return n;
    }

    std::string errorText(int rc) const {
        const char* message = m_db ? sqlite3_errmsg(m_db) : nullptr;
        return message && rc != SQLITE_OK ? message : sqlite3_errstr(rc);
    }

private:
    Database() = default;

    int exec(const char* sql) { return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr); }

    WriteResult failed(int rc) const { return {rc, errorText(rc)}; }

    // One kill; a roll-over only when the same one is not stored yet.
    WriteResult insert(const KillRecord& record) {
        Statement& statement =
            record.source == schedule::KillSource::RollOver ? *m_insertRollOver : *m_insert;
        sqlite3_stmt* stmt = statement.get();
        bindText(stmt, 1, record.boss);
        sqlite3_bind_int64(stmt, 2, record.utcSeconds);
        sqlite3_bind_int(stmt, 3, record.periodMinutes);
        sqlite3_bind_int(stmt, 4, record.delayMinutes);
        bindText(stmt, 5, sourceKey(record.source));
        bindText(stmt, 6, record.sender);
        return stepOnce(statement);
    }

    WriteResult mark(const KillRecord& record, bool undone) {
        sqlite3_stmt* stmt = m_mark->get();
        bindText(stmt, 1, record.boss);
        sqlite3_bind_int64(stmt, 2, record.utcSeconds);
        bindText(stmt, 3, sourceKey(record.source));
        bindText(stmt, 4, record.sender);
        sqlite3_bind_int(stmt, 5, undone ? 1 : 0);
        return stepOnce(*m_mark);
    }

    // Runs a statement that returns no rows and rewinds it.
    WriteResult stepOnce(Statement& statement) {
        const int rc = sqlite3_step(statement.get());
        const WriteResult result = rc == SQLITE_DONE ? WriteResult{} : failed(rc);
        statement.reset();
        return result;
    }

    // The single text a pragma answers with; nullopt (and rc) on an error.
    std::optional<std::string> pragmaText(const char* sql, int& rc) {
        sqlite3_stmt* stmt = nullptr;
        rc = sqlite3_prepare_v2(m_db, sql, -1, &stmt, nullptr);
        std::optional<std::string> result;
        if (rc == SQLITE_OK) {
            rc = sqlite3_step(stmt);
            if (rc == SQLITE_ROW) {
                result = columnText(stmt, 0);
                rc = SQLITE_OK;
            } else if (rc == SQLITE_DONE) {
                result = std::string();
                rc = SQLITE_OK;
            }
        }
        sqlite3_finalize(stmt);
        return result;
    }

    bool fail(Failure& failure, int rc) {
        failure = {isDamage(rc), text::Message::literal(errorText(rc))};
        return false;
    }

    // Runs the statements in one transaction; on failure rolls back and says why.
    bool change(std::initializer_list<std::string> statements, Failure& failure) {
        bool done = exec("BEGIN IMMEDIATE") == SQLITE_OK;
        for (auto it = statements.begin(); done && it != statements.end(); ++it) {
            done = exec(it->c_str()) == SQLITE_OK;
        }
        if (done && exec("COMMIT") == SQLITE_OK) {
            return true;
        }
        const int code = sqlite3_extended_errcode(m_db);
        failure = {isDamage(code), text::Message::literal(errorText(code))};
        exec("ROLLBACK");
        return false;
    }

    bool hasColumn(const char* table, const char* column) {
        sqlite3_stmt* stmt = nullptr;
        const std::string sql = std::string("SELECT ") + column + " FROM " + table + " LIMIT 0";
        const bool has = sqlite3_prepare_v2(m_db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK;
        sqlite3_finalize(stmt);
        return has;
    }

    bool setUp(Failure& failure) {
        int rc = SQLITE_OK;
        // Readers never wait for the writer, and a commit costs no fsync.
        if (!pragmaText("PRAGMA journal_mode=WAL", rc)) {
            return fail(failure, rc);
        }
        if (exec("PRAGMA synchronous=NORMAL") != SQLITE_OK) {
            return fail(failure, sqlite3_extended_errcode(m_db));
        }
        const std::optional<std::string> check = pragmaText("PRAGMA quick_check", rc);
        if (!check) {
            return fail(failure, rc);
        }
        if (*check != "ok") {
            failure = {true, text::Message::literal(*check)};
            return false;
        }
        const std::optional<std::string> version = pragmaText("PRAGMA user_version", rc);
        if (!version) {
            return fail(failure, rc);
        }
        const int stored = std::atoi(version->c_str());
        if (stored > kSchemaVersion) {
            // A newer program's history: keep it for that program.
            failure = {false, text::Message(text::MessageId::HistoryNewerVersion,
                                            {text::Message::literal(*version)})};
            return false;
        }
        if (stored < kSchemaVersion &&
            !change({kSchema, "PRAGMA user_version=" + std::to_string(kSchemaVersion)}, failure)) {
            return false;
        }
        // Undo marks came later; a program that does not know them still reads the file.
        if (!hasColumn("kills", "undone") &&
            !change({"ALTER TABLE kills ADD COLUMN undone INTEGER NOT NULL DEFAULT 0"}, failure)) {
            return false;
        }
        constexpr const char* kColumns =
            "SELECT boss, utc, period, delay, source, sender FROM kills ";
        const std::string recent = std::string(kColumns) +
                                   "WHERE boss = ?1 AND undone = 0 ORDER BY utc DESC, id DESC "
                                   "LIMIT ?2";
        const std::string all =
            std::string(kColumns) + "WHERE boss = ?1 AND undone = 0 ORDER BY utc, id LIMIT ?2";
        const std::pair<std::unique_ptr<Statement>*, std::string> sqls[] = {
            {&m_insert, "INSERT INTO kills(boss, utc, period, delay, source, sender) "
                        "VALUES(?1, ?2, ?3, ?4, ?5, ?6)"},
            {&m_insertRollOver,
             "INSERT INTO kills(boss, utc, period, delay, source, sender) "
             "SELECT ?1, ?2, ?3, ?4, ?5, ?6 WHERE NOT EXISTS "
             "(SELECT 1 FROM kills WHERE boss = ?1 AND utc = ?2 AND source = ?5)"},
            {&m_mark, "UPDATE kills SET undone = ?5 WHERE id = (SELECT id FROM kills "
                      "WHERE boss = ?1 AND utc = ?2 AND source = ?3 AND sender = ?4 "
                      "AND undone <> ?5 ORDER BY id DESC LIMIT 1)"},
            {&m_recent, recent},
            {&m_all, all},
            {&m_moments, "SELECT utc, period FROM kills WHERE boss = ?1 AND source <> ?2 "
                         "AND undone = 0 ORDER BY utc"},
            {&m_count, "SELECT count(*) FROM kills WHERE boss = ?1 AND undone = 0"},
        };
        for (const auto& [slot, sql] : sqls) {
            auto statement = std::make_unique<Statement>();
            rc = statement->prepare(m_db, sql.c_str());
            if (rc != SQLITE_OK) {
                // Our version number over tables that are not ours: not a database of ours.
                failure = {isDamage(rc) || (rc & 0xff) == SQLITE_ERROR,
                           text::Message::literal(errorText(rc))};
                return false;
            }
            *slot = std::move(statement);
        }
        return true;
    }

    sqlite3* m_db = nullptr;
    std::unique_ptr<Statement> m_insert, m_insertRollOver, m_mark, m_recent, m_all, m_moments,
        m_count;
};

SqliteKillLog::SqliteKillLog(std::filesystem::path file) : m_file(std::move(file)) {}

SqliteKillLog::~SqliteKillLog() {
    m_writer.stop();
    // Kills recorded while the writer was finishing; none normally.
    Notices ignored;
    std::lock_guard lock(m_dbMutex);
    storeQueuedLocked(ignored);
    m_db.reset();
}

void SqliteKillLog::ensureOpenLocked(Notices& notices) {
    if (!m_db) {
        openLocked(notices);
    }
}

void SqliteKillLog::ensureOpen() {
    if (m_state.load() == State::Open) {
        return; // no need to wait for a write in progress
    }
    Notices notices;
    {
        std::lock_guard lock(m_dbMutex);
        ensureOpenLocked(notices);
        if (m_db && m_waiting.empty() && m_failed && (notices.empty() || notices.back().empty())) {
            // Nothing waits: opening was all that failed.
            m_failed = false;
            notices.emplace_back();
        }
        queueNoticesLocked(notices);
    }
    announceQueued();
}

void SqliteKillLog::openLocked(Notices& notices) {
    // Notices lead with what happened, so a line that shows only the beginning still
    // tells it; the details follow.
    const std::string name = text::utf8FromPath(m_file);
    Database::Failure failure;
    text::Message notice;
    m_db = Database::open(m_file, failure);
    if (!m_db && failure.damaged) {
        std::string moveError;
        const std::optional<fs::path> aside = moveAside(m_file, moveError);
        if (!aside) {
            notice = text::Message(
                text::MessageId::HistoryDamagedStuck,
                {text::Message::literal(name), failure.reason, text::Message::literal(moveError)});
        } else {
            const text::Message reason = failure.reason;
            const std::string asideName = text::utf8FromPath(aside->filename());
            m_db = Database::open(m_file, failure);
            if (m_db) {
                notice = text::Message(text::MessageId::HistoryDamagedMoved,
                                       {text::Message::literal(asideName), reason});
            } else {
                notice = text::Message(text::MessageId::HistoryDamagedNotRecreated,
                                       {text::Message::literal(asideName), reason, failure.reason});
            }
        }
    } else if (!m_db) {
        notice = text::Message(text::MessageId::HistoryCannotOpen,
                               {text::Message::literal(name), failure.reason});
    }
    m_state = m_db ? State::Open : State::Unavailable;
    if (m_db) {
        m_openFailure = {};
        if (!notice.empty()) {
            notices.push_back(std::move(notice));
        }
        return;
    }
    m_failed = true;
    m_openReason = failure.reason;
    // Tried again at every use: the same failure is told once.
    if (notice != m_openFailure) {
        m_openFailure = notice;
        notices.push_back(std::move(notice));
    }
}

bool SqliteKillLog::isOpen() {
    ensureOpen();
    return m_state.load() == State::Open;
}

text::Message SqliteKillLog::notice() {
    ensureOpen();
    std::lock_guard lock(m_queueMutex);
    return m_notice;
}

void SqliteKillLog::setNoticeHandler(std::function<void(const text::Message&)> handler) {
    Notices undelivered;
    {
        std::lock_guard lock(m_queueMutex);
        m_noticeHandler = handler;
        if (m_noticeHandler) {
            undelivered.swap(m_undelivered);
        }
    }
    for (const text::Message& notice : undelivered) {
        handler(notice);
    }
}

void SqliteKillLog::queueNoticesLocked(Notices& notices) {
    const std::lock_guard lock(m_queueMutex);
    m_outbox.insert(m_outbox.end(), std::make_move_iterator(notices.begin()),
                    std::make_move_iterator(notices.end()));
    notices.clear();
}

void SqliteKillLog::announceQueued() {
    // One announcer at a time, taking the notices in the order they arose: the writer and
    // a query may both meet failures, and "cannot open" must not arrive after what follows.
    const std::lock_guard order(m_announceMutex);
    Notices notices;
    {
        const std::lock_guard lock(m_queueMutex);
        notices.swap(m_outbox);
    }
    announce(notices);
}

void SqliteKillLog::announce(const Notices& notices) {
    for (const text::Message& notice : notices) {
        std::function<void(const text::Message&)> handler;
        {
            std::lock_guard lock(m_queueMutex);
            if (notice == m_notice) {
                continue; // a failure met again at the next use, told already
            }
            m_notice = notice;
            handler = m_noticeHandler;
            if (!handler) {
                if (m_undelivered.size() >= kUndeliveredLimit) {
                    m_undelivered.erase(m_undelivered.begin());
                }
                m_undelivered.push_back(notice);
            }
        }
        if (handler) {
            handler(notice);
        }
    }
}

void SqliteKillLog::recordKill(const KillRecord& record) {
    enqueue({record, Change::Record});
}

void SqliteKillLog::setUndone(const KillRecord& record, bool undone) {
    enqueue({record, undone ? Change::Undo : Change::Redo});
}

void SqliteKillLog::enqueue(Change change) {
    bool first = false;
    {
        std::lock_guard lock(m_queueMutex);
        if (m_queue.size() >= kQueueLimit) {
            // A database that cannot be written must not let the queue grow without end.
            m_dropped.fetch_add(1);
            return;
        }
        first = m_queue.empty();
        m_queue.push_back(std::move(change));
    }
    // One store per batch: changes made while one waits go with it.
    if (first) {
        m_writer.post([this] { storeQueued(); });
    }
}

void SqliteKillLog::storeQueued() {
    Notices notices;
    {
        std::lock_guard lock(m_dbMutex);
        storeQueuedLocked(notices);
        queueNoticesLocked(notices);
    }
    announceQueued();
}

bool SqliteKillLog::storeQueuedLocked(Notices& notices) {
    {
        std::lock_guard lock(m_queueMutex);
        m_waiting.insert(m_waiting.end(), std::make_move_iterator(m_queue.begin()),
                         std::make_move_iterator(m_queue.end()));
        m_queue.clear();
    }
    if (m_waiting.size() > kQueueLimit) {
        m_dropped.fetch_add(m_waiting.size() - kQueueLimit);
        m_waiting.resize(kQueueLimit);
    }
    if (m_waiting.empty()) {
        return true;
    }
    ensureOpenLocked(notices);
    text::Message reason = m_openReason;
    if (m_db) {
        Database::WriteResult result = m_db->apply(m_waiting);
        if (!result.ok() && isDamage(result.rc)) {
            // Broken while running: start afresh beside the damaged file and keep the batch.
            m_db.reset();
            openLocked(notices);
            if (m_db) {
                result = m_db->apply(m_waiting);
            }
            reason = m_db ? text::Message::literal(result.reason) : m_openReason;
        } else {
            reason = text::Message::literal(result.reason);
        }
        if (m_db && result.ok()) {
            m_waiting.clear();
            const std::size_t dropped = m_dropped.exchange(0);
            if (dropped > 0) {
                notices.push_back(text::Message(
                    text::MessageId::HistoryWriteFailed,
                    {text::Message::literal(std::to_string(dropped)), m_lastWriteReason}));
            } else if (m_failed && (notices.empty() || notices.back().empty())) {
                // Everything that waited is stored: the earlier notice no longer holds.
                notices.emplace_back();
            }
            m_failed = false;
            return true;
        }
    }
    m_failed = true;
    m_lastWriteReason = reason;
    notices.push_back(text::Message(
        text::MessageId::HistoryWriteFailed,
        {text::Message::literal(std::to_string(m_waiting.size() + m_dropped.load())), reason}));
    return false;
}

bool SqliteKillLog::flush() {
    Notices notices;
    bool stored = false;
    {
        std::lock_guard lock(m_dbMutex);
        ensureOpenLocked(notices);
        // The writer thread may have taken (and failed with) the last kills just before:
        // they wait in m_waiting and are tried again here.
        stored = storeQueuedLocked(notices) && m_db;
        queueNoticesLocked(notices);
    }
    announceQueued();
    return stored;
}

std::vector<KillRecord> SqliteKillLog::recentKills(std::string_view boss, int limit) {
    flush();
    std::lock_guard lock(m_dbMutex);
    return m_db && limit > 0 ? m_db->recent(boss, limit) : std::vector<KillRecord>();
}

std::vector<KillRecord> SqliteKillLog::allKills(std::string_view boss) {
    flush();
    std::lock_guard lock(m_dbMutex);
    return m_db ? m_db->all(boss) : std::vector<KillRecord>();
}

std::int64_t SqliteKillLog::recordCount(std::string_view boss) {
    flush();
    std::lock_guard lock(m_dbMutex);
    return m_db ? m_db->count(boss) : 0;
}

IntervalStats SqliteKillLog::killIntervals(std::string_view boss) {
    flush();
    std::vector<KillMoment> moments;
    {
        std::lock_guard lock(m_dbMutex);
        if (m_db) {
            moments = m_db->killMoments(boss);
        }
    }
    return intervalStats(std::move(moments));
}

bool SqliteKillLog::exportCsv(std::string_view boss, const std::filesystem::path& target,
                              text::Message* error) {
    if (!isOpen()) {
        if (error) {
            *error = text::Message(text::MessageId::HistoryUnavailable);
        }
        return false;
    }
    std::string reason;
    if (!text::replaceFileAtomically(target, killsCsv(allKills(boss)), &reason)) {
        if (error) {
            // The file and the system's reason ("…/boss.csv: No space left on device").
            *error = text::Message(text::MessageId::CannotWrite, {text::Message::literal(reason)});
        }
        return false;
    }
    return true;
}

} // namespace zorvane::history
