#include "history/killhistory.h"

#include "history/csvexport.h"
#include "history/killtexts.h"
#include "history/sqlitetext.h"
#include "schedule/clock.h"
#include "schedule/datetime.h"
#include "text/fileio.h"

#include <sqlite3.h>

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
// A database that cannot be written must not let the queue grow without end.
constexpr std::size_t kQueueLimit = 100000;
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
    sender TEXT NOT NULL DEFAULT ''
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

    ~Database() {
        // Statements go before the connection they belong to.
        m_insert.reset();
        m_recent.reset();
        m_all.reset();
        m_instants.reset();
        m_count.reset();
        sqlite3_close_v2(m_db);
    }

    static std::unique_ptr<Database> open(const fs::path& file, Failure& failure) {
        std::error_code ec;
        const fs::file_status status = fs::symlink_status(file, ec);
        if (fs::exists(status) && !fs::is_regular_file(status)) {
            failure = {true, text::Message(text::MessageId::HistoryNotRegularFile)};
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

    // Stores the records in one transaction; on failure nothing is stored.
    int insert(const std::vector<KillRecord>& records) {
        int rc = exec("BEGIN IMMEDIATE");
        if (rc != SQLITE_OK) {
            return rc;
        }
        sqlite3_stmt* stmt = m_insert->get();
        for (const KillRecord& record : records) {
            bindText(stmt, 1, record.boss);
            sqlite3_bind_int64(stmt, 2, record.utcSeconds);
            sqlite3_bind_int(stmt, 3, record.periodMinutes);
            sqlite3_bind_int(stmt, 4, record.delayMinutes);
            bindText(stmt, 5, sourceKey(record.source));
            bindText(stmt, 6, record.sender);
            rc = sqlite3_step(stmt);
            m_insert->reset();
            if (rc != SQLITE_DONE) {
                exec("ROLLBACK");
                return rc;
            }
        }
        rc = exec("COMMIT");
        if (rc != SQLITE_OK) {
            exec("ROLLBACK");
        }
        return rc;
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

    std::vector<std::int64_t> killInstants(std::string_view boss) {
        std::vector<std::int64_t> instants;
        sqlite3_stmt* stmt = m_instants->get();
        bindText(stmt, 1, boss);
        bindText(stmt, 2, sourceKey(schedule::KillSource::RollOver));
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            instants.push_back(sqlite3_column_int64(stmt, 0));
        }
        m_instants->reset();
        return instants;
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
        if (stored < kSchemaVersion) {
            if (exec("BEGIN IMMEDIATE") != SQLITE_OK || exec(kSchema) != SQLITE_OK ||
                exec(("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str()) !=
                    SQLITE_OK ||
                exec("COMMIT") != SQLITE_OK) {
                const int code = sqlite3_extended_errcode(m_db);
                exec("ROLLBACK");
                return fail(failure, code);
            }
        }
        constexpr const char* kColumns =
            "SELECT boss, utc, period, delay, source, sender FROM kills ";
        const std::string recent =
            std::string(kColumns) + "WHERE boss = ?1 ORDER BY utc DESC, id DESC LIMIT ?2";
        const std::string all = std::string(kColumns) + "WHERE boss = ?1 ORDER BY utc, id LIMIT ?2";
        const std::pair<std::unique_ptr<Statement>*, std::string> sqls[] = {
            {&m_insert, "INSERT INTO kills(boss, utc, period, delay, source, sender) "
                        "VALUES(?1, ?2, ?3, ?4, ?5, ?6)"},
            {&m_recent, recent},
            {&m_all, all},
            {&m_instants, "SELECT utc FROM kills WHERE boss = ?1 AND source <> ?2 ORDER BY utc"},
            {&m_count, "SELECT count(*) FROM kills WHERE boss = ?1"},
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
    std::unique_ptr<Statement> m_insert, m_recent, m_all, m_instants, m_count;
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

void SqliteKillLog::openOnFirstUseLocked(Notices& notices) {
    if (m_state.load() == State::NotTried) {
        openLocked(notices);
    }
}

void SqliteKillLog::openOnFirstUse() {
    if (m_state.load() != State::NotTried) {
        return; // no need to wait for a write in progress
    }
    Notices notices;
    {
        std::lock_guard lock(m_dbMutex);
        openOnFirstUseLocked(notices);
    }
    announce(notices);
}

void SqliteKillLog::openLocked(Notices& notices) {
    // Notices lead with what happened, so a line that shows only the beginning still
    // tells it; the details follow.
    const std::string name = text::utf8FromPath(m_file);
    Database::Failure failure;
    m_db = Database::open(m_file, failure);
    if (!m_db && failure.damaged) {
        std::string moveError;
        const std::optional<fs::path> aside = moveAside(m_file, moveError);
        if (!aside) {
            notices.push_back(text::Message(
                text::MessageId::HistoryDamagedStuck,
                {text::Message::literal(name), failure.reason, text::Message::literal(moveError)}));
        } else {
            const text::Message reason = failure.reason;
            const std::string asideName = text::utf8FromPath(aside->filename());
            m_db = Database::open(m_file, failure);
            if (m_db) {
                notices.push_back(text::Message(text::MessageId::HistoryDamagedMoved,
                                                {text::Message::literal(asideName), reason}));
            } else {
                notices.push_back(
                    text::Message(text::MessageId::HistoryDamagedNotRecreated,
                                  {text::Message::literal(asideName), reason, failure.reason}));
            }
        }
    } else if (!m_db) {
        notices.push_back(text::Message(text::MessageId::HistoryCannotOpen,
                                        {text::Message::literal(name), failure.reason}));
    }
    m_state = m_db ? State::Open : State::Unavailable;
}

bool SqliteKillLog::isOpen() {
    openOnFirstUse();
    return m_state.load() == State::Open;
}

text::Message SqliteKillLog::notice() {
    openOnFirstUse();
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

void SqliteKillLog::announce(const Notices& notices) {
    for (const text::Message& notice : notices) {
        if (notice.empty()) {
            continue;
        }
        std::function<void(const text::Message&)> handler;
        {
            std::lock_guard lock(m_queueMutex);
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
    if (m_state.load() == State::Unavailable) {
        return; // nowhere to keep it; the notice has told the user
    }
    bool first = false;
    {
        std::lock_guard lock(m_queueMutex);
        if (m_queue.size() >= kQueueLimit) {
            return;
        }
        first = m_queue.empty();
        m_queue.push_back(record);
    }
    // One store per batch: kills recorded while one waits go with it.
    if (first) {
        m_writer.post([this] { storeQueued(); });
    }
}

void SqliteKillLog::storeQueued() {
    Notices notices;
    {
        std::lock_guard lock(m_dbMutex);
        storeQueuedLocked(notices);
    }
    announce(notices);
}

bool SqliteKillLog::storeQueuedLocked(Notices& notices) {
    std::vector<KillRecord> batch;
    {
        std::lock_guard lock(m_queueMutex);
        batch.swap(m_queue);
    }
    if (batch.empty()) {
        return true;
    }
    openOnFirstUseLocked(notices);
    m_lastWriteFailed = true;
    if (!m_db) {
        return false; // the notice of the failed opening already tells the user
    }
    int rc = m_db->insert(batch);
    if (rc == SQLITE_OK) {
        m_lastWriteFailed = false;
        return true;
    }
    std::string reason = m_db->errorText(rc);
    if (isDamage(rc)) {
        // Broken while running: start afresh beside the damaged file and keep the batch.
        m_db.reset();
        openLocked(notices);
        if (m_db && m_db->insert(batch) == SQLITE_OK) {
            m_lastWriteFailed = false;
            return true;
        }
        return false;
    }
    notices.push_back(text::Message(
        text::MessageId::HistoryWriteFailed,
        {text::Message::literal(std::to_string(batch.size())), text::Message::literal(reason)}));
    return false;
}

bool SqliteKillLog::flush() {
    Notices notices;
    bool stored = false;
    {
        std::lock_guard lock(m_dbMutex);
        openOnFirstUseLocked(notices);
        storeQueuedLocked(notices);
        // The writer thread may have taken (and failed with) the last kills just before.
        stored = m_db && !m_lastWriteFailed;
    }
    announce(notices);
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
    std::vector<std::int64_t> instants;
    {
        std::lock_guard lock(m_dbMutex);
        if (m_db) {
            instants = m_db->killInstants(boss);
        }
    }
    return intervalStats(std::move(instants));
}

bool SqliteKillLog::exportCsv(std::string_view boss, const std::filesystem::path& target,
                              text::Message* error) {
    if (!isOpen()) {
        if (error) {
            *error = text::Message(text::MessageId::HistoryUnavailable);
        }
        return false;
    }
    if (!text::replaceFileAtomically(target, killsCsv(allKills(boss)))) {
        if (error) {
            *error = text::Message(text::MessageId::CannotWrite,
                                   {text::Message::literal(text::utf8FromPath(target))});
        }
        return false;
    }
    return true;
}

} // namespace zorvane::history
