#pragma once
// What the recorded kills of one boss say about its real respawn time: the
// intervals between consecutive kills.

#include <cstdint>
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
};

// The intervals between consecutive instants (seconds since 1970 UTC). The instants
// may come in any order; they are sorted first.
IntervalStats intervalStats(std::vector<std::int64_t> instants);

} // namespace zorvane::history
