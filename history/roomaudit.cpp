#include "history/roomaudit.h"

#include "history/sqlitetext.h"
#include "text/fileio.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <utility>

namespace zorvane::history {
namespace {

// A database that cannot be written must not let the queue grow without end.
constexpr std::size_t kQueueLimit = 100000;
// Another running copy of the program, or the kill history's own connection, may hold the
// write lock for a moment.
constexpr int kBusyTimeoutMs = 2000;

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS room_audit(
    id INTEGER PRIMARY KEY,
    at INTEGER NOT NULL,
    room TEXT NOT NULL,
    kind TEXT NOT NULL,
    member TEXT NOT NULL,
    nick TEXT NOT NULL,
    officer INTEGER NOT NULL,
    boss TEXT NOT NULL,
    server TEXT NOT NULL,
    line TEXT NOT NULL,
    kill INTEGER NOT NULL,
    event TEXT NOT NULL,
    target TEXT NOT NULL,
    target_member TEXT NOT NULL,
    reason TEXT NOT NULL
);
CREATE INDEX IF NOT EXISTS room_audit_by_room ON room_audit(room, at);
)sql";

constexpr const char* kColumns =
    "SELECT at, room, kind, member, nick, officer, boss, server, "
    "line, kill, event, target, target_member, reason FROM room_audit ";

constexpr AuditKind kKinds[] = {AuditKind::Recorded, AuditKind::Accepted, AuditKind::Retracted,
                                AuditKind::Refused};

AuditKind kindFromKey(const std::string& key) {
    for (const AuditKind kind : kKinds) {
        if (key == auditKindKey(kind)) {
            return kind;
        }
    }
    return AuditKind::Accepted;
}

} // namespace

const char* auditKindKey(AuditKind kind) {
    switch (kind) {
    case AuditKind::Recorded:
        return "recorded";
    case AuditKind::Accepted:
        return "accepted";
    case AuditKind::Retracted:
        return "retracted";
    case AuditKind::Refused:
        return "refused";
    }
    return "accepted";
}

// One open connection with its insert statement.
class RoomAuditLog::Database {
public:
    ~Database() {
        sqlite3_finalize(m_insert);
        sqlite3_close_v2(m_db);
    }

    // Opens the database; on failure returns nullptr with the reason.
    static std::unique_ptr<Database> open(const std::filesystem::path& file, std::string& error) {
        std::error_code ec;
        const auto status = std::filesystem::symlink_status(file, ec);
        if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
            error = "not a regular file";
            return nullptr;
        }
        if (!loadSqlite(error)) {
            return nullptr;
        }
        auto database = std::unique_ptr<Database>(new Database);
        int rc = sqlite3_open_v2(text::utf8FromPath(file).c_str(), &database->m_db,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        if (rc == SQLITE_OK) {
            sqlite3_busy_timeout(database->m_db, kBusyTimeoutMs);
            rc = sqlite3_exec(database->m_db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
        }
        if (rc == SQLITE_OK) {
            rc = sqlite3_exec(database->m_db, kSchema, nullptr, nullptr, nullptr);
        }
        if (rc == SQLITE_OK) {
            rc = sqlite3_prepare_v3(database->m_db,
                                    "INSERT INTO room_audit(at, room, kind, member, nick, officer, "
                                    "boss, server, line, kill, event, target, target_member, "
                                    "reason) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, "
                                    "?12, ?13, ?14)",
                                    -1, SQLITE_PREPARE_PERSISTENT, &database->m_insert, nullptr);
        }
        if (rc != SQLITE_OK) {
            error = database->m_db ? sqlite3_errmsg(database->m_db) : sqlite3_errstr(rc);
            return nullptr;
        }
        return database;
    }

    // Stores the entries in one transaction; on failure nothing is stored.
    bool insert(const std::vector<AuditEntry>& entries, std::string& error) {
        if (!exec("BEGIN IMMEDIATE", error)) {
            return false;
        }
        for (const AuditEntry& e : entries) {
            sqlite3_bind_int64(m_insert, 1, e.atUtcMillis);
            bindText(m_insert, 2, e.room);
            bindText(m_insert, 3, auditKindKey(e.kind));
            bindText(m_insert, 4, e.member);
            bindText(m_insert, 5, e.nickname);
            sqlite3_bind_int(m_insert, 6, e.officer ? 1 : 0);
            bindText(m_insert, 7, e.boss);
            bindText(m_insert, 8, e.server);
            bindText(m_insert, 9, e.line);
            sqlite3_bind_int64(m_insert, 10, e.killUtcSeconds);
            bindText(m_insert, 11, e.eventId);
            bindText(m_insert, 12, e.targetEventId);
            bindText(m_insert, 13, e.targetMember);
            bindText(m_insert, 14, e.reason);
            const int rc = sqlite3_step(m_insert);
            sqlite3_reset(m_insert);
            sqlite3_clear_bindings(m_insert);
            if (rc != SQLITE_DONE) {
                error = sqlite3_errmsg(m_db);
                sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
                return false;
            }
        }
        if (!exec("COMMIT", error)) {
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
            return false;
        }
        return true;
    }

    // The room's entries, or one boss's when `boss` is given, newest first.
    std::vector<AuditEntry> select(std::string_view room, const std::string* boss, int limit) {
        std::vector<AuditEntry> entries;
        sqlite3_stmt* stmt = nullptr;
        const std::string sql = std::string(kColumns) + "WHERE room = ?1" +
                                (boss != nullptr ? " AND boss = ?3" : "") +
                                " ORDER BY at DESC, id DESC LIMIT ?2";
        if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
            return entries;
        }
        bindText(stmt, 1, room);
        sqlite3_bind_int(stmt, 2, limit);
        if (boss != nullptr) {
            bindText(stmt, 3, *boss);
        }
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            AuditEntry e;
            e.atUtcMillis = sqlite3_column_int64(stmt, 0);
            e.room = columnText(stmt, 1);
            e.kind = kindFromKey(columnText(stmt, 2));
            e.member = columnText(stmt, 3);
            e.nickname = columnText(stmt, 4);
            e.officer = sqlite3_column_int(stmt, 5) != 0;
            e.boss = columnText(stmt, 6);
            e.server = columnText(stmt, 7);
            e.line = columnText(stmt, 8);
            e.killUtcSeconds = sqlite3_column_int64(stmt, 9);
            e.eventId = columnText(stmt, 10);
            e.targetEventId = columnText(stmt, 11);
            e.targetMember = columnText(stmt, 12);
            e.reason = columnText(stmt, 13);
            entries.push_back(std::move(e));
        }
        sqlite3_finalize(stmt);
        return entries;
    }

private:
    Database() = default;

    bool exec(const char* sql, std::string& error) {
        if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
            error = sqlite3_errmsg(m_db);
            return false;
        }
        return true;
    }

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_insert = nullptr;
};

RoomAuditLog::RoomAuditLog(std::filesystem::path file) : m_file(std::move(file)) {}

RoomAuditLog::~RoomAuditLog() {
    m_writer.stop();
    const std::lock_guard lock(m_dbMutex);
    storeLocked();
    m_db.reset();
}

void RoomAuditLog::record(AuditEntry entry) {
    bool first = false;
    {
        const std::lock_guard lock(m_queueMutex);
        if (m_queue.size() >= kQueueLimit) {
            return;
        }
        first = m_queue.empty();
        m_queue.push_back(std::move(entry));
    }
    // One store takes every entry queued until it runs.
    if (first) {
        m_writer.post([this] {
            const std::lock_guard lock(m_dbMutex);
            storeLocked();
        });
    }
}

bool RoomAuditLog::openLocked() {
    if (m_db) {
        return true;
    }
    // Tried again at every use: a full disk or a missing directory may have been mended.
    std::string error;
    m_db = Database::open(m_file, error);
    if (!m_db) {
        m_notice = text::Message(
            text::MessageId::RoomAuditCannotWrite,
            {text::Message::literal(text::utf8FromPath(m_file)), text::Message::literal(error)});
    }
    return m_db != nullptr;
}

bool RoomAuditLog::storeLocked() {
    {
        const std::lock_guard lock(m_queueMutex);
        m_waiting.insert(m_waiting.end(), std::make_move_iterator(m_queue.begin()),
                         std::make_move_iterator(m_queue.end()));
        m_queue.clear();
    }
    // A database that stays unwritable must not let the entries grow without end.
    if (m_waiting.size() > kQueueLimit) {
        m_waiting.resize(kQueueLimit);
    }
    if (m_waiting.empty()) {
        return true;
    }
    if (!openLocked()) {
        return false;
    }
    std::string error;
    if (!m_db->insert(m_waiting, error)) {
        m_notice = text::Message(
            text::MessageId::RoomAuditCannotWrite,
            {text::Message::literal(text::utf8FromPath(m_file)), text::Message::literal(error)});
        return false;
    }
    m_waiting.clear();
    m_notice = {};
    return true;
}

bool RoomAuditLog::flush() {
    const std::lock_guard lock(m_dbMutex);
    return storeLocked() && openLocked();
}

std::vector<AuditEntry> RoomAuditLog::recent(std::string_view room, int limit) {
    const std::lock_guard lock(m_dbMutex);
    storeLocked();
    if (!openLocked()) {
        return {};
    }
    return m_db->select(room, nullptr, limit);
}

std::vector<AuditEntry> RoomAuditLog::ofBoss(std::string_view room, std::string_view boss,
                                             int limit) {
    const std::lock_guard lock(m_dbMutex);
    storeLocked();
    if (!openLocked()) {
        return {};
    }
    const std::string name(boss);
    return m_db->select(room, &name, limit);
}

std::vector<AuditTally> RoomAuditLog::tallies(std::string_view room) {
    std::vector<AuditEntry> entries;
    {
        const std::lock_guard lock(m_dbMutex);
        storeLocked();
        if (!openLocked()) {
            return {};
        }
        entries = m_db->select(room, nullptr, -1);
    }
    std::map<std::string, AuditTally> byMember;
    // Newest first: the first nickname met is the latest.
    for (const AuditEntry& e : entries) {
        AuditTally& tally = byMember[e.member];
        tally.member = e.member;
        if (tally.nickname.empty()) {
            tally.nickname = e.nickname;
        }
        switch (e.kind) {
        case AuditKind::Recorded:
        case AuditKind::Accepted:
            ++tally.recorded;
            break;
        case AuditKind::Retracted:
            ++tally.retracted;
            break;
        case AuditKind::Refused: {
            auto it = std::find_if(tally.refused.begin(), tally.refused.end(),
                                   [&](const auto& r) { return r.first == e.reason; });
            if (it == tally.refused.end()) {
                tally.refused.emplace_back(e.reason, 1);
            } else {
                ++it->second;
            }
            break;
        }
        }
    }
    std::vector<AuditTally> result;
    for (auto& [member, tally] : byMember) {
        std::sort(tally.refused.begin(), tally.refused.end());
        result.push_back(std::move(tally));
    }
    return result;
}

text::Message RoomAuditLog::notice() {
    const std::lock_guard lock(m_dbMutex);
    return m_notice;
}

} // namespace zorvane::history
