#include "history/intervals.h"

#include <algorithm>

namespace zorvane::history {

bool sameKill(std::int64_t gap, int periodMinutes, int otherPeriodMinutes) {
    if (gap == 0) {
        return true;
    }
    const std::int64_t shorter = std::min(periodMinutes, otherPeriodMinutes);
    return gap > 0 && gap < std::min<std::int64_t>(kSameKillSeconds, shorter * 60 / 2);
}

IntervalStats intervalStats(std::vector<KillMoment> kills) {
    IntervalStats stats;
    std::sort(kills.begin(), kills.end(),
              [](const KillMoment& a, const KillMoment& b) { return a.utc < b.utc; });
    std::vector<std::int64_t> gaps;
    gaps.reserve(kills.empty() ? 0 : kills.size() - 1);
    const KillMoment* counted = kills.empty() ? nullptr : &kills.front();
    for (std::size_t i = 1; i < kills.size(); ++i) {
        const std::int64_t gap = kills[i].utc - counted->utc;
        if (sameKill(gap, counted->periodMinutes, kills[i].periodMinutes)) {
            continue;
        }
        gaps.push_back(gap);
        counted = &kills[i];
    }
    if (gaps.empty()) {
        return stats;
    }
    stats.count = static_cast<std::int64_t>(gaps.size());
    const auto [least, most] = std::minmax_element(gaps.begin(), gaps.end());
    stats.minSeconds = *least;
    stats.maxSeconds = *most;
    // nth_element keeps this linear; 100,000 kills must still open at once.
    const std::size_t middle = gaps.size() / 2;
    std::nth_element(gaps.begin(), gaps.begin() + static_cast<std::ptrdiff_t>(middle), gaps.end());
    const double upper = static_cast<double>(gaps[middle]);
    if (gaps.size() % 2 == 1) {
        stats.medianSeconds = upper;
    } else {
        const double lower = static_cast<double>(
            *std::max_element(gaps.begin(), gaps.begin() + static_cast<std::ptrdiff_t>(middle)));
        stats.medianSeconds = (lower + upper) / 2;
    }
    for (const std::int64_t gap : gaps) {
        const double length = static_cast<double>(gap);
        if (length * 3 < stats.medianSeconds * 2 || length * 2 > stats.medianSeconds * 3) {
            continue;
        }
        stats.usualMinSeconds = stats.usualCount == 0 ? gap : std::min(stats.usualMinSeconds, gap);
        stats.usualMaxSeconds = std::max(stats.usualMaxSeconds, gap);
        ++stats.usualCount;
    }
    return stats;
}

std::optional<WindowProposal> proposeWindow(const IntervalStats& stats) {
    if (stats.usualCount < kLeastIntervalsForWindow) {
        return std::nullopt;
    }
    WindowProposal proposal;
    proposal.intervals = stats.usualCount;
    proposal.periodMinutes = static_cast<int>(stats.usualMinSeconds / 60);
    proposal.delayMinutes =
        static_cast<int>((stats.usualMaxSeconds + 59) / 60) - proposal.periodMinutes;
    return proposal;
}

} // namespace zorvane::history
