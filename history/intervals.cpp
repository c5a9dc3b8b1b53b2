#include "history/intervals.h"

#include <algorithm>

namespace zorvane::history {

IntervalStats intervalStats(std::vector<std::int64_t> instants) {
    IntervalStats stats;
    if (instants.size() < 2) {
        return stats;
    }
    std::sort(instants.begin(), instants.end());
    std::vector<std::int64_t> gaps;
    gaps.reserve(instants.size() - 1);
    for (std::size_t i = 1; i < instants.size(); ++i) {
        gaps.push_back(instants[i] - instants[i - 1]);
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
    return stats;
}

} // namespace zorvane::history
