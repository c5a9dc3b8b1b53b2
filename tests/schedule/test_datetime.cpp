#include "schedule/datetime.h"

#include "tests/support/fakeclock.h"

#include <gtest/gtest.h>

using namespace zorvane::schedule;

TEST(DateTime, KnownValuesAndInvalidDate) {
    EXPECT_DOUBLE_EQ(makeDateTime({1899, 12, 30, 0, 0, 0}), 0.0);
    EXPECT_DOUBLE_EQ(makeDateTime({1900, 1, 1, 0, 0, 0}), 2.0);
    EXPECT_DOUBLE_EQ(makeDateTime({2000, 1, 1, 12, 0, 0}), 36526.5);
    EXPECT_DOUBLE_EQ(makeDateTime({100, 1, 1, 0, 0, 0}), kInvalidDateTime);
    EXPECT_DOUBLE_EQ(makeDateTime({1899, 12, 29, 18, 0, 0}), -0.25);
}

TEST(DateTime, BreakDownRoundTripsAcrossCalendarEdges) {
    const DateTimeParts cases[] = {{2024, 2, 29, 23, 59, 59},  {2026, 12, 7, 23, 10, 0},
                                   {1899, 12, 29, 6, 30, 15},  {100, 1, 1, 0, 0, 0},
                                   {9999, 12, 31, 23, 59, 59}, {1900, 3, 1, 0, 0, 1}};
    for (const auto& c : cases) {
        DateTimeParts p;
        ASSERT_TRUE(breakDown(makeDateTime(c), p));
        EXPECT_EQ(p.year, c.year);
        EXPECT_EQ(p.month, c.month);
        EXPECT_EQ(p.day, c.day);
        EXPECT_EQ(p.hour, c.hour);
        EXPECT_EQ(p.minute, c.minute);
        EXPECT_EQ(p.second, c.second);
    }
    DateTimeParts p;
    EXPECT_FALSE(breakDown(kInvalidDateTime - 1, p));
    EXPECT_FALSE(breakDown(1e9, p));
}

TEST(DateTime, FieldsCarryAndMinutesWrapPastMidnight) {
    EXPECT_EQ(clockTimeText(makeDateTime({2026, 12, 8, 12, 60, 60})), "13:01:00");
    EXPECT_EQ(clockTimeText(makeDateTime({2026, 13, 1, 0, 0, 0})),
              clockTimeText(makeDateTime({2027, 1, 1, 0, 0, 0})));
    const DateTime lateEvening = makeDateTime({2026, 12, 31, 23, 50, 0});
    EXPECT_EQ(clockTimeText(addMinutes(lateEvening, 30)), "00:20:00");
    DateTimeParts p;
    ASSERT_TRUE(breakDown(addMinutes(lateEvening, 30), p));
    EXPECT_EQ(p.year, 2027);
    EXPECT_EQ(clockTimeText(addMinutes(makeDateTime({2026, 1, 1, 0, 10, 0}), -20)), "23:50:00");
    EXPECT_EQ(clockTimeText(kInvalidDateTime - 5), "");
}

// Every test that moves time relies on the test clock's calendar steps.
TEST(DateTime, TestClockAdvancesAsTheCalendarDoes) {
    struct Case {
        DateTimeParts start;
        long long seconds;
        DateTimeParts expected;
    };
    const Case cases[] = {
        {{2026, 12, 7, 23, 59, 59}, 1, {2026, 12, 8, 0, 0, 0}},
        {{2026, 12, 31, 23, 59, 30}, 45, {2027, 1, 1, 0, 0, 15}},
        {{2026, 3, 1, 0, 0, 0}, -1, {2026, 2, 28, 23, 59, 59}},
        {{2026, 12, 7, 10, 0, 5}, -3605, {2026, 12, 7, 9, 0, 0}},
        {{2026, 12, 7, 10, 0, 0}, 2LL * 86400 + 61, {2026, 12, 9, 10, 1, 1}},
    };
    for (const Case& c : cases) {
        zorvane::testing::FakeClock clock(c.start);
        clock.advance(c.seconds);
        EXPECT_DOUBLE_EQ(clock.now(), makeDateTime(c.expected)) << c.seconds;
    }
}
