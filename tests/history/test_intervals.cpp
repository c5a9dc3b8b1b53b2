// A window proposed from the intervals between kills: kills nobody recorded and mistaken
// records leave it alone, too few kills propose nothing.

#include "history/intervals.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

using namespace zorvane::history;

namespace {

// Kills one after another, `gaps` minutes apart (plus seconds where given).
std::vector<KillMoment> killsApart(const std::vector<std::int64_t>& gapSeconds) {
    std::vector<KillMoment> kills{{1'800'000'000, 480}};
    for (const std::int64_t gap : gapSeconds) {
        kills.push_back({kills.back().utc + gap, 480});
    }
    return kills;
}

TEST(WindowProposal, FromTheUsualIntervalsOnly) {
    struct Case {
        const char* name;
        std::vector<std::int64_t> gaps;
        std::optional<WindowProposal> proposed;
    };
    const std::int64_t h = 3600;
    const std::int64_t m = 60;
    // clang-format off
    const Case cases[] = {
        {"between 8 h 05 and 11 h 50",
         {8 * h + 5 * m + 30, 9 * h, 10 * h, 11 * h + 49 * m + 10, 9 * h + 30 * m},
         WindowProposal{5, 8 * 60 + 5, 3 * 60 + 45}},
        // A kill nobody recorded doubles one interval; a mistaken record halves another.
        {"outliers left out",
         {8 * h + 5 * m, 9 * h, 19 * h, 10 * h, 2 * h, 11 * h + 50 * m, 9 * h + 30 * m},
         WindowProposal{5, 8 * 60 + 5, 3 * 60 + 45}},
        {"a single time", {6 * h, 6 * h, 6 * h, 6 * h, 6 * h}, WindowProposal{5, 360, 0}},
        {"too few", {8 * h, 9 * h, 10 * h, 11 * h}, std::nullopt},
        {"too few once outliers are out", {8 * h, 9 * h, 10 * h, 11 * h, 30 * h}, std::nullopt},
        {"none", {}, std::nullopt},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<WindowProposal> got = proposeWindow(intervalStats(killsApart(c.gaps)));
        ASSERT_EQ(got.has_value(), c.proposed.has_value());
        if (got) {
            EXPECT_EQ(got->intervals, c.proposed->intervals);
            EXPECT_EQ(got->periodMinutes, c.proposed->periodMinutes);
            EXPECT_EQ(got->delayMinutes, c.proposed->delayMinutes);
        }
    }
}

} // namespace
