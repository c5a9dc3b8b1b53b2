#include "schedule/timetext.h"

#include "tests/support/fakeclock.h"

#include <gtest/gtest.h>

#include <limits>

using namespace zorvane::schedule;
using zorvane::testing::clockAt;
using zorvane::testing::FakeClock;

TEST(FormatDuration, PaddedTableAndNegativeAndDayCrossing) {
    struct Case {
        std::int32_t seconds;
        const char* pattern;
        const char* expected;
    };
    const Case cases[] = {
        {3725, "h时m分s秒", "01时02分05秒"},          {0, "h时m分s秒", "00时00分00秒"},
        {90000, "h时m分s秒", "01时00分00秒"},         {-5, "h时m分s秒", "00时00分-5秒"},
        {-65, "h时m分s秒", "00时-1分-5秒"},           {50400, "h:m:s", "14:00:00"},
        {86400, "h时m分s秒", "00时00分00秒"},         {-3725, "h时m分s秒", "-1时-2分-5秒"},
        {-90061, "d天h时m分s秒", "-1天-1时-1分-1秒"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(formatDuration(c.seconds, c.pattern, true), c.expected) << c.seconds;
    }
}

TEST(FormatDuration, DefaultPatternLastOccurrenceAndExtremes) {
    EXPECT_EQ(formatDuration(93784), "1天2小时3分4秒");
    EXPECT_EQ(formatDuration(93784, {}, true), "01天02小时03分04秒");
    // Only the last "s" is a field; the first stays a letter.
    EXPECT_EQ(formatDuration(5, "s:s"), "s:5");
    EXPECT_EQ(formatDuration(61, "m"), "1");
    EXPECT_EQ(formatDuration(std::numeric_limits<std::int32_t>::min(), "d/h/m/s"),
              "-24855/-3/-14/-8");
    EXPECT_EQ(padLeftZeros("7", 2), "07");
    EXPECT_EQ(padLeftZeros("123", 2), "123");
    EXPECT_EQ(padLeftZeros("", 3), "000");
    EXPECT_EQ(padLeftZeros("5", -4), "5");
}

TEST(TimeText, SecondsOfDayAndHourField) {
    EXPECT_EQ(timeTextToSeconds(""), 0);
    EXPECT_EQ(timeTextToSeconds("01:02:03"), 3723);
    EXPECT_EQ(timeTextToSeconds("1:2:3:4"), 3723);
    EXPECT_EQ(timeTextToSeconds("a:b:c"), 0);
    EXPECT_EQ(timeTextToSeconds("12:30"), 45000);
    EXPECT_EQ(timeTextToSeconds("7"), 25200);
    EXPECT_EQ(timeTextToSeconds(":30:"), 1800);
    EXPECT_EQ(timeTextToSeconds("１２:３０:００"), 45000);
    EXPECT_EQ(timeTextToSeconds("99999999:0:0"), std::numeric_limits<std::int32_t>::max());

    EXPECT_EQ(hourField("07:30:00"), 7);
    EXPECT_EQ(hourField("9:05:00"), 9);
    EXPECT_EQ(hourField(""), 0);
    EXPECT_EQ(hourField("23"), 23);
    // A full-width digit fills both bytes of the hour field in the file's encoding.
    EXPECT_EQ(hourField("１２:00:00"), 1);
}

TEST(TimeText, FormatDateTimePictures) {
    const DateTime t = makeDateTime({2026, 3, 4, 15, 7, 9});
    EXPECT_EQ(formatDateTime(t, {}, "hh:mm:ss", true), "15:07:09");
    EXPECT_EQ(formatDateTime(t, {}, "hh:mm:ss", false), "03:07:09");
    EXPECT_EQ(formatDateTime(t, {}, "h:m:s tt", false), "3:7:9 PM");
    EXPECT_EQ(formatDateTime(t, {}, "HH:mm t", false), "15:07 P");
    EXPECT_EQ(formatDateTime(makeDateTime({2026, 3, 4, 0, 5, 0}), {}, "hh:mm:ss", true),
              "00:05:00");
    EXPECT_EQ(formatDateTime(makeDateTime({2026, 3, 4, 0, 5, 0}), {}, "h:mm", false), "12:05");
    EXPECT_EQ(formatDateTime(t, "yyyy/M/d ", "HH:mm:ss"), "2026/3/4 15:07:09");
    EXPECT_EQ(formatDateTime(t, "yy-MM-dd", {}), "26-03-04");
    EXPECT_EQ(formatDateTime(t, "'d' d", {}), "d 4");
    // Patterns shorter than 3 bytes format nothing; no pattern gives "".
    EXPECT_EQ(formatDateTime(t, "d", "hh:mm:ss", true), "15:07:09");
    EXPECT_EQ(formatDateTime(t, {}, {}), "");
    EXPECT_EQ(formatDateTime(kInvalidDateTime - 10, {}, "hh:mm:ss", true), "");
}

TEST(TimeText, ParseDateTime) {
    EXPECT_DOUBLE_EQ(parseDateTime("2026/12/7 23:10:00"), makeDateTime({2026, 12, 7, 23, 10, 0}));
    EXPECT_DOUBLE_EQ(parseDateTime("2026/1/2 3:4:5"), makeDateTime({2026, 1, 2, 3, 4, 5}));
    EXPECT_DOUBLE_EQ(parseDateTime("2026/12/7 12:60:60"), makeDateTime({2026, 12, 7, 13, 1, 0}));
    EXPECT_DOUBLE_EQ(parseDateTime("2026/12/31 23:60:00"), makeDateTime({2027, 1, 1, 0, 0, 0}));
    EXPECT_DOUBLE_EQ(parseDateTime("2024/2/29 12:30"), makeDateTime({2024, 2, 29, 12, 30, 0}));
    const char* const rejected[] = {"",
                                    "2026/13/1 00:00:00",
                                    "2025/2/29 00:00:00",
                                    "2026/12/7 24:00:00",
                                    "2026/12/7 12:61:00",
                                    "2026/12/7 12:00:61",
                                    "2026/12/7 12:00:00 x",
                                    "2026/12/712:00:00",
                                    "abc",
                                    "2026/12/7 :00:00",
                                    "99/1/1 00:00:00"};
    for (const char* text : rejected) {
        EXPECT_DOUBLE_EQ(parseDateTime(text), kInvalidDateTime) << text;
    }
    EXPECT_DOUBLE_EQ(parseDateTime("2026/12/7"), makeDateTime({2026, 12, 7, 0, 0, 0}));

    const FakeClock clock = clockAt(8, 0, 0);
    EXPECT_DOUBLE_EQ(dateAnchoredTime("23:10:00", clock), makeDateTime({2026, 12, 7, 23, 10, 0}));
    EXPECT_DOUBLE_EQ(dateAnchoredTime("9:5:0", clock), makeDateTime({2026, 12, 7, 9, 5, 0}));
    EXPECT_DOUBLE_EQ(dateAnchoredTime("later", clock), kInvalidDateTime);
}

TEST(IsPastTimeOfDay, CasesAtFixedNow) {
    const FakeClock one = clockAt(13, 0, 0);
    EXPECT_TRUE(isPastTimeOfDay("12:00:00", one));
    EXPECT_TRUE(isPastTimeOfDay("13:00:00", one));
    EXPECT_FALSE(isPastTimeOfDay("13:00:01", one));
    EXPECT_FALSE(isPastTimeOfDay("24:00:00", one));
    EXPECT_FALSE(isPastTimeOfDay("12:61:00", one));
    EXPECT_FALSE(isPastTimeOfDay("12:00:61", one));
    EXPECT_TRUE(isPastTimeOfDay("abc 1:2:3 xyz", one));
    EXPECT_FALSE(isPastTimeOfDay("abc 14:2:3 xyz", one));
    EXPECT_FALSE(isPastTimeOfDay("12:30", one));
    EXPECT_FALSE(isPastTimeOfDay("", one));
    // '12:60:60' is 13:01:00: not yet at 13:00:59, true from 13:01:00 on.
    EXPECT_FALSE(isPastTimeOfDay("12:60:60", clockAt(13, 0, 59)));
    EXPECT_TRUE(isPastTimeOfDay("12:60:60", clockAt(13, 1, 0)));
}

TEST(RemainingSeconds, ClockArithmeticWithDelay) {
    const FakeClock clock = clockAt(10, 20, 0);
    EXPECT_EQ(remainingSeconds("10:00:00", "10:30:00", 30, 0, clock), 600);
    EXPECT_EQ(remainingSeconds("10:00:00", "10:30:00", 30, 5, clock), 900);
    // A next time already behind the clock counts negative at once.
    EXPECT_EQ(remainingSeconds("07:00:00", "07:30:00", 30, 0, clock), -10200);
    EXPECT_EQ(remainingSeconds("10:00:00", "10:20:00", 20, 0, clock), 0);
    // The last time is read only for its hour here.
    EXPECT_EQ(remainingSeconds("10:59:59", "10:30:00", 999, 0, clock), 600);
    // A next time of fewer pieces counts its missing pieces as 0.
    EXPECT_EQ(remainingSeconds("10:00:00", "10:30", 30, 0, clock), 600);
}

TEST(RemainingSeconds, OneReadingOfTheClockEvenAcrossMidnight) {
    // Reads as 23:59:59 and one second later at every further reading.
    struct Case {
        const char* last;
        const char* next;
        int period;
        std::int32_t expected;
    };
    for (const Case& c :
         {Case{"23:00:00", "01:00:00", 120, 3601}, Case{"23:50:00", "23:59:00", 10, -59}}) {
        FakeClock midnight(23, 59, 59);
        midnight.onRead([&](int reading) {
            if (reading == 2) {
                midnight.advance(1);
            }
        });
        EXPECT_EQ(remainingSeconds(c.last, c.next, c.period, 0, midnight), c.expected) << c.last;
    }
}

TEST(RemainingSeconds, DateAnchoredAcrossMidnight) {
    EXPECT_EQ(remainingSeconds("23:00:00", "01:00:00", 120, 0, clockAt(23, 30, 0)), 5400);
    EXPECT_EQ(remainingSeconds("23:00:00", "01:00:00", 120, 10, clockAt(23, 30, 0)), 6000);
    // After midnight the kill at 23:00 was yesterday's.
    EXPECT_EQ(remainingSeconds("23:00:00", "01:00:00", 120, 0, clockAt(0, 30, 0)), 1800);
    EXPECT_EQ(remainingSeconds("23:00:00", "01:00:00", 120, 5, clockAt(0, 30, 0)), 2100);
    EXPECT_EQ(remainingSeconds("23:00:00", "01:00:00", 120, 0, clockAt(1, 0, 0)), 0);
    // The nudge before truncating toward zero makes one second overdue still read 0.
    EXPECT_EQ(remainingSeconds("23:00:00", "01:00:00", 120, 0, clockAt(1, 0, 1)), 0);
    EXPECT_EQ(remainingSeconds("23:00:00", "01:00:00", 120, 0, clockAt(1, 0, 2)), -1);
    // The next-time text is read only for its hour; the period decides.
    EXPECT_EQ(remainingSeconds("22:00:00", "05:59:59", 90, 0, clockAt(23, 0, 0)), 1800);
    // Across a month end.
    FakeClock endOfMonth({2026, 11, 30, 23, 59, 0});
    EXPECT_EQ(remainingSeconds("23:58:00", "00:28:00", 30, 0, endOfMonth), 1740);
    endOfMonth.set({2026, 12, 1, 0, 1, 0});
    EXPECT_EQ(remainingSeconds("23:58:00", "00:28:00", 30, 0, endOfMonth), 1620);
    // An unreadable last time lies centuries back: due at once.
    EXPECT_EQ(remainingSeconds("2x:00:00", "01:00:00", 120, 0, clockAt(0, 30, 0)),
              std::numeric_limits<std::int32_t>::min());
}
