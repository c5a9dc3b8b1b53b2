// When a member's own kills may go out under the room's limit per minute.

#include "share/sendpacer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using zorvane::share::SendPacer;

namespace {

constexpr std::int64_t kT = 1796817600000; // 2026-12-09 12:00:00 UTC, in milliseconds

struct Case {
    const char* what;
    int perMinute;
    std::vector<std::int64_t> sent; // offsets from kT
    std::int64_t now;               // offset from kT
    std::int64_t allowed;           // offset from kT
};

} // namespace

TEST(SendPacer, HoldsTheKillOverTheLimitUntilTheOldestLeftTheMinuteAndTheMargin) {
    const Case cases[] = {
        {"nothing sent yet", 6, {}, 0, 0},
        {"five of six", 6, {0, 1, 2, 3, 4}, 5, 5},
        {"the seventh waits for the first plus 62 s", 6, {0, 1, 2, 3, 4, 5}, 5, 62000},
        {"past the window it goes at once", 6, {0, 1, 2, 3, 4, 5}, 70000, 70000},
        {"only the last six count", 6, {-100000, 10, 20, 30, 40, 50, 60}, 100, 62010},
        {"a limit of one", 1, {30000}, 31000, 92000},
        {"a clock set back waits one window at most", 2, {500000, 500001}, 0, 62000},
        {"a limit of none lets nothing out", 0, {}, 0, INT64_MAX - kT},
    };
    for (const Case& c : cases) {
        SendPacer pacer(c.perMinute, 2000);
        for (const std::int64_t at : c.sent) {
            pacer.sent(kT + at);
        }
        EXPECT_EQ(pacer.nextAllowed(kT + c.now), kT + c.allowed) << c.what;
    }
}

TEST(SendPacer, AKillSentInItsTurnHoldsTheNextBackAgain) {
    SendPacer pacer(2, 0);
    std::int64_t now = kT;
    std::vector<std::int64_t> times;
    for (int kill = 0; kill < 5; ++kill) {
        now = pacer.nextAllowed(now);
        pacer.sent(now);
        times.push_back(now - kT);
    }
    EXPECT_EQ(times, (std::vector<std::int64_t>{0, 0, 60000, 60000, 120000}));
}
