#pragma once
// What happened while the program was not running: the rows whose cycles came due
// between the moment it was last seen running and now. Computed once at start, before
// the first tick pass starts the rows' current cycles.

#include "schedule/bosstable.h"
#include "schedule/clock.h"
#include "schedule/instant.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zorvane::schedule {

struct MissedRow {
    RowId id = 0;
    std::string boss;              // column 2, trimmed
    UtcSeconds firstDue = 0;       // the first due moment after the program was last seen
    std::int64_t cyclesPassed = 0; // due moments between then and now
    UtcSeconds cycleStart = 0;     // where the row stands now: its current cycle began here
    std::int64_t remaining = 0;    // and is due this many seconds after now
};

// Gives every row whose last time has a time of day but no instant yet the instant the
// tick would read from it at the instant `now`, so all readers agree from the start.
void dateUndatedRows(BossTable& table, UtcSeconds now);
// The same for rows not yet in a table, as read from the file: they can be dated on the
// thread that reads them.
void dateUndatedRows(std::vector<BossRow>& rows, UtcSeconds now);
// A local reading is no instant (see Clock::instant).
void dateUndatedRows(BossTable& table, DateTime now) = delete;
void dateUndatedRows(std::vector<BossRow>& rows, DateTime now) = delete;

// The rows with dated cycles (at least a minute long) that came due in (lastSeen, now],
// in table order. A program seen running until a moment ago lists nothing.
std::vector<MissedRow> missedWhileAway(const BossTable& table, UtcSeconds lastSeen, UtcSeconds now);

} // namespace zorvane::schedule
