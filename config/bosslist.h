#pragma once
// A boss list that travels between players: the bosses of a game with their periods,
// spawn rules, lead times and notes, as one versioned JSON file a player exports, edits,
// hands to a guild and imports. Importing merges by the boss's name: a boss the table
// lacks is added, one whose listed fields differ is changed, the rest stay as they are.
// Kill times are never part of a list and never touched by one.
//
//   {
//     "format": "zorvane-bosslist", "version": 1,
//     "servers": [{"name": "二区", "zone": "Asia/Shanghai"}],
//     "bosses": [
//       {"name": "黑龙", "period": 120, "delay": 10,
//        "rule": "at 12:00 20:30 remind 3", "zone": "Asia/Shanghai",
//        "lead": [10, 1], "group": "野外",
//        "notes": {"location": "...", "drops": "...", "text": "..."},
//        "servers": ["二区"], "lines": ["1", "2", "3"]}
//     ]
//   }
//
// Every field of a boss but its name may be left out: an existing boss then keeps what it
// has, a new one gets the table's default (period 0, delay 0, after a kill, the computer's
// zone, the preferences' lead times, no notes). "rule" and "zone" are the forms config.ini
// stores (spawnRuleText, ServerZone::text), read together. "lead": null means the
// preferences' lead times, "lead": [] none at all, a list the boss's own.
//
// "group" is the group the grid shows the boss under (kept with its note); left out, an
// existing boss keeps its group (a list cannot take one away).
//
// A boss's "lines" are labels ("3", "3线", "A") its timers run on, on each of its
// "servers" (none: one unnamed server); its "servers" name entries of the list's "servers".
// Left out, an existing boss keeps its lines (a list cannot take them away); "servers"
// without "lines" is refused. The list's servers' zones are read and written back, and
// nothing applies them yet.
//
// Reading is strict and never throws: anything that is not such a list (too large, nested
// too deep, too many entries, a field of the wrong type, another version, a name given
// twice, a name config.ini cannot hold) is refused with the reason and nothing is merged.

#include "config/bossnotes.h"
#include "schedule/bosstable.h"
#include "schedule/linetimers.h"
#include "schedule/spawnrule.h"
#include "text/message.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorvane::config {

inline constexpr const char* kBossListFormat = "zorvane-bosslist";
inline constexpr int kBossListVersion = 1;
// Limits a list must keep: bytes of the file, bosses, servers, lines per boss, nesting.
inline constexpr std::size_t kMaxBossListBytes = 4 * 1024 * 1024;
inline constexpr std::size_t kMaxListedBosses = 5000;
inline constexpr std::size_t kMaxListedServers = 200;
inline constexpr std::size_t kMaxListedLines = 500;
inline constexpr std::size_t kMaxBossListDepth = 6;
// Longest boss, server, line or group name, in bytes of UTF-8.
inline constexpr std::size_t kMaxListedNameBytes = 200;
// Largest period or delay, in minutes (a year).
inline constexpr std::int32_t kMaxListedMinutes = 366 * 24 * 60;

struct ListedServer {
    std::string name;
    std::string zone; // ServerZone::text() form; "" the computer's zone
    bool operator==(const ListedServer&) const = default;
};

struct ListedBoss {
    std::string name;
    std::optional<std::int32_t> periodMinutes;
    std::optional<std::int32_t> delayMinutes;
    // "rule" and "zone" of the file, read together: either given makes this the boss's rule
    // (after a kill when only a zone is given, in the computer's zone when only a rule is).
    std::optional<schedule::SpawnRule> rule;
    // Given: the row's own lead times (RowTiming::leadMinutes: none, the preferences'
    // list; an empty list, no extra lead times at all).
    std::optional<std::optional<std::vector<int>>> leadMinutes;
    // Without a group (the group is the field below).
    std::optional<BossNote> notes;
    std::string group; // empty: not given
    // The boss's servers and lines (see above); no lines: not given.
    std::vector<std::string> servers;
    std::vector<std::string> lines;
    bool operator==(const ListedBoss&) const = default;
};

struct BossList {
    std::vector<ListedServer> servers; // the servers the bosses name
    std::vector<ListedBoss> bosses;
    bool operator==(const BossList&) const = default;
};

// The list of a table's rows and notes: every row with a name, each name once (the first
// row of a name given twice), with all its fields, and its servers and lines on `board`.
BossList bossListOf(const std::vector<schedule::BossRow>& rows, const BossNotes& notes,
                    const schedule::LineBoard* board = nullptr);

// Indented for a file a player may edit, or compact to travel.
enum class ListLayout { Indented, Compact };
std::string encodeBossList(const BossList& list, ListLayout layout = ListLayout::Indented);
// nullopt with the reason in `error` for anything that is not a list of this version.
std::optional<BossList> decodeBossList(std::string_view text, text::Message& error);
// The file at `file`, refused unread when larger than kMaxBossListBytes.
std::optional<BossList> readBossList(const std::filesystem::path& file, text::Message& error);
bool writeBossList(const std::filesystem::path& file, const BossList& list, text::Message& error);

// What a merge changes in a boss that is there already.
enum BossChange : unsigned {
    kPeriodChanged = 1u << 0,
    kDelayChanged = 1u << 1,
    kRuleChanged = 1u << 2,
    kZoneChanged = 1u << 3,
    kLeadChanged = 1u << 4,
    kNotesChanged = 1u << 5,
    kGroupChanged = 1u << 6,
    kLinesChanged = 1u << 7, // servers or lines
};

struct MergeReport {
    std::vector<std::string> added;
    struct Changed {
        std::string name;
        unsigned changes = 0; // BossChange bits
        bool operator==(const Changed&) const = default;
    };
    std::vector<Changed> changed;
    std::vector<std::string> unchanged;
    struct Skipped {
        std::string name;
        text::Message reason;
        bool operator==(const Skipped&) const = default;
    };
    std::vector<Skipped> skipped;

    bool changesAnything() const { return !added.empty() || !changed.empty(); }
};

// A merge worked out against the rows and notes as they are, to be shown first and applied
// once the player agrees.
struct BossListMerge {
    MergeReport report;
    BossList list; // the bosses as read
    // For each added or changed boss, its index in list.bosses; the row's id for a change.
    struct Step {
        std::size_t boss = 0;
        schedule::RowId row = 0; // 0: add a row
        unsigned changes = 0;
    };
    std::vector<Step> steps;
};

// `board`: the rows' lines as they are (nullptr: none).
BossListMerge planBossListMerge(const std::vector<schedule::BossRow>& rows, const BossNotes& notes,
                                BossList list, const schedule::LineBoard* board = nullptr);

// Applies the plan to the table and the notes: rows added at the end (in use, numbered),
// changed fields written into their rows; last times and their instants stay, a next time
// follows a changed period. Returns the rows added or changed that are still there (a row
// deleted meanwhile is left out). Saves nothing.
std::vector<schedule::RowId> applyBossListMerge(schedule::BossTable& table, BossNotes& notes,
                                                const BossListMerge& merge);

// The lines the merge gives rows, once applied: each added boss with lines and each boss
// whose lines changed, with its row in `table` (by name). The caller keeps them (they live
// beside config.ini in a file of their own).
std::vector<std::pair<schedule::RowId, schedule::BossLines>>
mergedLines(const schedule::BossTable& table, const BossListMerge& merge);

} // namespace zorvane::config
