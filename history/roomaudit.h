#pragma once
// The room's audit trail: who recorded, retracted or was refused what, and when, as this
// member saw it. Kept in the kill history's database (its own table, its own connection),
// written by a thread of its own so that recording never waits for the disk; queries
// store what is queued first.

#include "text/message.h"
#include "work/worker.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace zorvane::history {

enum class AuditKind {
    Recorded,  // this member sent a kill
    Accepted,  // another member's kill became the newest of its key
    Retracted, // a member took a kill back
    Refused,   // a member's kill or retraction was refused
};

// A short stable key of a kind, as stored: "recorded", "accepted", "retracted", "refused".
const char* auditKindKey(AuditKind kind);

struct AuditEntry {
    std::int64_t atUtcMillis = 0; // when this member noted it
    std::string room;
    AuditKind kind = AuditKind::Accepted;
    std::string member;   // who did it (its member level; "" for a member the broker does not name)
    std::string nickname; // what it called itself
    bool officer = false; // it did it as an officer
    std::string boss;
    std::string server;
    std::string line;
    std::int64_t killUtcSeconds = 0; // the kill's instant (of the retracted kill, for a retraction)
    std::string eventId;             // the kill's or the retraction's id
    std::string targetEventId;       // a retraction: the retracted kill's id
    std::string targetMember;        // a retraction: whose kill it was
    std::string reason;              // a refusal: its key ("too-early", ...)

    bool operator==(const AuditEntry&) const = default;
};

// Per member of a room: kills that stood, retractions, refusals by reason key.
struct AuditTally {
    std::string member;
    std::string nickname; // the latest
    std::int64_t recorded = 0;
    std::int64_t retracted = 0;
    std::vector<std::pair<std::string, std::int64_t>> refused; // reason key -> count

    bool operator==(const AuditTally&) const = default;
};

class RoomAuditLog {
public:
    // Keeps the trail in the database at `file` (the kill history's), opened on first use.
    explicit RoomAuditLog(std::filesystem::path file);
    // Stores everything queued, then closes the database.
    ~RoomAuditLog();
    RoomAuditLog(const RoomAuditLog&) = delete;
    RoomAuditLog& operator=(const RoomAuditLog&) = delete;

    // Queues an entry; returns at once. Any thread.
    void record(AuditEntry entry);
    // Stores everything queued; false when there is no database or a write failed.
    bool flush();

    // The room's latest entries, newest first.
    std::vector<AuditEntry> recent(std::string_view room, int limit);
    // The latest entries of one boss in the room, newest first.
    std::vector<AuditEntry> ofBoss(std::string_view room, std::string_view boss, int limit);
    // What each member of the room did, in the order of their member level.
    std::vector<AuditTally> tallies(std::string_view room);

    // What went wrong with the database, for the user; empty when nothing did.
    text::Message notice();

private:
    class Database;

    // Stores the queue and what is still waiting; the caller holds m_dbMutex.
    bool storeLocked();
    // Opens the database unless it is open; the caller holds m_dbMutex.
    bool openLocked();

    std::filesystem::path m_file;
    std::mutex m_dbMutex; // guards m_db, m_notice and m_waiting
    std::unique_ptr<Database> m_db;
    text::Message m_notice;
    // Taken from the queue and not yet stored: kept while the database cannot be opened or
    // written, and stored with the next batch once it can.
    std::vector<AuditEntry> m_waiting;

    std::mutex m_queueMutex; // guards the queue
    std::vector<AuditEntry> m_queue;
    // Started by the first entry: most sessions record none, and a start need not wait for
    // a thread of its own.
    work::Worker m_writer{"audit writer"};
};

} // namespace zorvane::history
