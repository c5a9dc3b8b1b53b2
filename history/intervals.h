#pragma once
// What the recorded kills of one boss say about its real respawn time: the
// intervals between consecutive kills.

#include <cstdint>
#include <optional>
#include <vector>

namespace zorvane::history {

struct IntervalStats {
    // Intervals between consecutive kills: one fewer than the kills, 0 for fewer than two.
    std::int64_t count = 0;
    // Seconds; all 0 when count is 0. The median of an even count is the mean of the
    // two middle intervals.
    std::int64_t minSeconds = 0;
    double medianSeconds = 0;
    std::int64_t maxSeconds = 0;
    // The intervals of one cycle: within two thirds to one and a half times the median.
    // A longer one spans a kill nobody recorded, a shorter one a mistaken record.
    std::int64_t usualCount = 0;
    std::int64_t usualMinSeconds = 0;
    std::int64_t usualMaxSeconds = 0;
};

// One kill: its instant (seconds since 1970 UTC) and the period in force then.
struct KillMoment {
    std::int64_t utc = 0;
    int periodMinutes = 0;
};

// Kills of one boss this close together are one kill reported twice (by two members of a
// room, or by a double click and a typed time), as long as that is also less than half the
// period: no boss comes back that fast.
inline constexpr std::int64_t kSameKillSeconds = 300;

// Whether a kill `gap` seconds after another is the same kill; the periods are those in
// force at the two kills (0 when unknown, so only kills in the same second merge).
bool sameKill(std::int64_t gap, int periodMinutes, int otherPeriodMinutes);

// The intervals between consecutive kills, which may come in any order; a kill that is
// the same as the one counted before it counts once.
IntervalStats intervalStats(std::vector<KillMoment> kills);

// A window after a kill as the kills observed it: the earliest in whole minutes (rounded
// down) and the width up to the latest (rounded up).
struct WindowProposal {
    std::int64_t intervals = 0; // how many intervals it rests on
    int periodMinutes = 0;
    int delayMinutes = 0;
};

// Fewer usual intervals than this propose nothing: too few to tell a window.
inline constexpr std::int64_t kLeastIntervalsForWindow = 5;

std::optional<WindowProposal> proposeWindow(const IntervalStats& stats);

} // namespace zorvane::history
