#pragma once
// Where each row stands at a given moment, computed from its texts and its last
// instant alone, the way a tick pass at that moment would see it. Used where no tick
// runs or its last pass may be stale: the table listing of the command line.

#include "schedule/bosstable.h"
#include "schedule/datetime.h"
#include "schedule/instant.h"
#include "schedule/linetimers.h"
#include "schedule/spawnrule.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zorvane::schedule {

struct RowStatus {
    int number = 0;       // the row's position, first data row 1
    std::string name;     // column 2, trimmed
    bool use = false;     // the alarm check box
    bool killed = false;  // it has a last time
    std::string nextTime; // the next-time text once due cycles have rolled over; may be ""
    // Seconds until due; nullopt when the row does not count (no last or next time).
    std::optional<std::int64_t> remaining;
    // Where the boss stands by the row's spawn rule.
    SpawnView spawn;
};

// Every data row at the instant `now`, in table order. A row found due has rolled over to
// its current cycle, as the tick would roll it.
std::vector<RowStatus> rowStatuses(const std::vector<BossRow>& rows, UtcSeconds now);
// A local reading is no instant (see Clock::instant).
std::vector<RowStatus> rowStatuses(const std::vector<BossRow>& rows, DateTime now) = delete;

// Where each line of a row stands at `now`, as a pass would find it (a due line rolled
// over, up since its cycle ended). Lines count only with a kill, an after-kill rule and a
// cycle of at least kShortestDatedCycle; a fixed-times rule's spawn is the row's.
struct LineStatus {
    LineKey key;
    bool killed = false;
    std::string nextTime; // "" when the line does not count
    std::optional<std::int64_t> remaining;
    SpawnView spawn;
};
std::vector<LineStatus> lineStatuses(const BossRow& row, const std::vector<LineTimer>& timers,
                                     UtcSeconds now);

// The data rows whose trimmed name is `name` trimmed, in table order; none for an
// empty name.
std::vector<RowId> rowsNamed(const std::vector<BossRow>& rows, std::string_view name);

} // namespace zorvane::schedule
