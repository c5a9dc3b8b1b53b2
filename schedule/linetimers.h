#pragma once
// Timers per line and server. A boss row carries its rule, period, delay and lead times
// once; each (server, line) of it keeps its own kill and spawn marks here, under an id that
// stays while the line does. A row without lines has no entry: it runs on its own cells as
// it always has, and nothing here touches them.
//
// Any thread may call any member: one mutex guards the board.

#include "schedule/bosstable.h"
#include "schedule/services.h"
#include "schedule/spawnrule.h"

#include <compare>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace zorvane::schedule {

using LineId = std::uint64_t;

// Most lines a row may have on one server, and most servers.
inline constexpr std::size_t kMaxLinesPerServer = 500;
inline constexpr std::size_t kMaxServersPerBoss = 200;

// One line of one server; "" is the one unnamed server of a boss listed on none.
struct LineKey {
    std::string server;
    std::string line;
    auto operator<=>(const LineKey&) const = default;
};

// What a line recorded and where the last pass found it.
struct LineState {
    std::optional<UtcSeconds> lastKill;
    std::optional<UtcSeconds> upSince;
    std::optional<UtcSeconds> missedAt;
    std::optional<std::int64_t> remainingSeconds;
    RowPhase phase = RowPhase::Idle;
    std::optional<SpawnView> view;
    bool operator==(const LineState&) const = default;
};

struct LineTimer {
    LineId id = 0;
    LineKey key;
    LineState state;
    // The board's count instant when the state's counts were made; what the board hands out
    // is moved on to its current count instant (LineBoard::setCountNow).
    std::optional<UtcSeconds> countedAt;
};

// The servers and line labels of a boss. Every server runs every line.
struct BossLines {
    std::vector<std::string> servers; // none: one unnamed server
    std::vector<std::string> lines;   // labels: "3", "3线", "A"
    bool operator==(const BossLines&) const = default;
};

// "1-60, 70, A" into labels "1" .. "60", "70", "A"; nullopt for an empty text, a range
// backwards or too long, or a label given twice.
std::optional<std::vector<std::string>> parseLineLabels(std::string_view text);
// The labels in parseLineLabels' form, runs of numbers as ranges.
std::string lineLabelsText(const std::vector<std::string>& labels);
// How a line is named to the player: a bare number gets "线" ("3" -> "3线").
std::string lineCaption(std::string_view label);
// "黑龙 3线", or "黑龙 3线 @ 二区" when the server has a name.
std::string lineTitle(std::string_view boss, const LineKey& key);
// The title as it is said: the server follows the line without the "@" ("黑龙 3线 二区").
std::string spokenLineTitle(std::string_view boss, const LineKey& key);
// What an alert names: the line's title for an alert about a line, else the boss alone;
// shown and said.
std::string alertTitle(const Alert& alert);
std::string spokenAlertTitle(const Alert& alert);

// Why a line could not be found (findLine).
enum class LineLookup {
    Found,
    NoLines,       // the row has no lines
    UnknownServer, // no server of that name
    ServerNeeded,  // the row runs on several servers and none was named
    UnknownLine,   // no such line
};

class LineBoard {
public:
    // Gives the row these servers and lines (none at all: the row's lines go). Lines still
    // present keep their id and state. False, changing nothing, for a server or line given
    // twice, an empty label, or beyond the limits.
    bool setLines(RowId row, const BossLines& lines);
    void removeRow(RowId row);
    bool hasLines(RowId row) const;
    std::optional<BossLines> lines(RowId row) const;
    // Rows with lines, in no particular order.
    std::vector<RowId> rows() const;
    // The row's timers, server by server, each in line order.
    std::vector<LineTimer> timers(RowId row) const;
    std::optional<LineTimer> timer(RowId row, LineId line) const;
    // The line a player named: "3" matches "3" and "3线"; the server may be left out when
    // the row runs on one.
    LineLookup findLine(RowId row, std::string_view server, std::string_view line,
                        LineId& found) const;

    // A kill on the line at `instant`: its spawn marks go, the pass counts it afresh.
    // Returns the state before, to restore on undo; nullopt when the line is gone.
    std::optional<LineState> kill(RowId row, LineId line, UtcSeconds instant);
    // Puts a line's earlier state back (undo); false when the line is gone.
    bool restore(RowId row, LineId line, const LineState& state);
    // Forgets the line's kill and marks; returns the state before.
    std::optional<LineState> clear(RowId row, LineId line);
    // Marks the spawn the pass saw pass with no kill, or one others took.
    bool setMarks(RowId row, LineId line, std::optional<UtcSeconds> upSince,
                  std::optional<UtcSeconds> missedAt);
    // The pass's reading of a line. A new last kill (a roll-over) only while the line still
    // holds `expectedKill`, so a kill recorded meanwhile is never overwritten.
    bool setPassResult(RowId row, LineId line, std::optional<UtcSeconds> expectedKill,
                       const LineState& result);

    // The line the collapsed row shows: one that is up first (the longest up), then the
    // soonest due, then any with a kill, then the first. nullopt without lines.
    std::optional<LineTimer> soonest(RowId row) const;
    // The same among the lines `among` of the row (those a filter lets through); nullopt
    // when none of them is there.
    std::optional<LineTimer> soonest(RowId row, const std::vector<LineId>& among) const;

    // The instant the pass counts at. Between the passes that read a line, its remaining
    // seconds and its spawn view's counts are handed out moved on to it by arithmetic, as a
    // row's are; the phase holds until the line is read again.
    void setCountNow(UtcSeconds now);

    // What changed since the last call other than the pass's own results: the rows whose
    // lines were set or taken away, and the lines killed, cleared, restored or marked.
    // Past kMaxKeptChanges lines, no reader is taking them: they fold into `all`.
    struct Changes {
        bool all = false;
        std::vector<RowId> rows;
        std::vector<std::pair<RowId, LineId>> lines;
    };
    static constexpr std::size_t kMaxKeptChanges = 4096;
    Changes takeChanges();

private:
    struct Entry {
        BossLines lines;
        std::vector<LineTimer> timers;
    };
    LineTimer* find(RowId row, LineId line);
    // Puts `state` in the line's place; the state before, or none for an unknown line.
    std::optional<LineState> replace(RowId row, LineId line, LineState state);

    // soonest() among the lines `among`, or all of them (nullptr).
    std::optional<LineTimer> soonestOf(RowId row, const std::vector<LineId>* among) const;
    // The timer as it reads at the count instant.
    LineTimer current(const LineTimer& timer) const;
    // The order soonest() ranks a line by, as current() would count it, without a copy.
    std::pair<int, std::int64_t> currentUrgency(const LineTimer& timer) const;
    // Under the lock: what takeChanges hands out.
    void lineChanged(RowId row, LineId line);
    void rowChanged(RowId row);

    mutable std::mutex m_mutex;
    std::unordered_map<RowId, Entry> m_rows;
    LineId m_nextId = 1;
    std::optional<UtcSeconds> m_countNow;
    Changes m_changes;
};

} // namespace zorvane::schedule
