// The hours around a change of the clocks, in real zones: the hour read twice when the
// clocks go back, and the hour skipped when they go forward. "Now" is an instant, so a
// kill, a countdown or a typed time in those hours lands where it happened.

#include "schedule/bosstable.h"
#include "schedule/cycle.h"
#include "schedule/instant.h"
#include "schedule/rowstatus.h"
#include "schedule/tableops.h"
#include "schedule/tick.h"
#include "tests/schedule/tickfakes.h"
#include "tests/support/fakeclock.h"
#include "tests/support/timezone.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace zorvane::schedule;
using zorvane::testing::CountingLock;
using zorvane::testing::FakeClock;
using zorvane::testing::FakeSettings;
using zorvane::testing::RecordingAlarm;
using zorvane::testing::ScopedTimeZone;

namespace {

constexpr const char* kBerlin = "Europe/Berlin";
constexpr const char* kNewYork = "America/New_York";

UtcSeconds at(const char* utc) {
    return parseUtcText(utc).value();
}

class RecordingKillLog final : public KillLog {
public:
    void recordKill(const KillRecord& record) override { records.push_back(record); }
    std::vector<KillRecord> records;
};

class CountingStore final : public TableStore {
public:
    void saveTable(const BossTable&) override { ++saves; }
    void rewriteTable(const BossTable&) override { ++saves; }
    int saves = 0;
};

TEST(ClockChanges, ALocalReadingHasOneInstantTwoWhenTheClocksGoBackNoneWhenTheySkipIt) {
    struct Case {
        const char* zone;
        DateTimeParts local;
        std::vector<const char*> instants;
    };
    // clang-format off
    const Case cases[] = {
        {kBerlin, {2027, 10, 31, 2, 20, 0}, {"2027-10-31T00:20:00Z", "2027-10-31T01:20:00Z"}},
        {kBerlin, {2027, 10, 31, 1, 59, 59}, {"2027-10-30T23:59:59Z"}},
        {kBerlin, {2027, 10, 31, 3, 0, 0}, {"2027-10-31T02:00:00Z"}},
        {kBerlin, {2027, 3, 28, 2, 30, 0}, {}},
        {kBerlin, {2027, 3, 28, 3, 0, 0}, {"2027-03-28T01:00:00Z"}},
        {kNewYork, {2027, 11, 7, 1, 30, 0}, {"2027-11-07T05:30:00Z", "2027-11-07T06:30:00Z"}},
        {kNewYork, {2027, 3, 14, 2, 30, 0}, {}},
        {kNewYork, {2027, 3, 14, 3, 30, 0}, {"2027-03-14T07:30:00Z"}},
        {kNewYork, {2027, 7, 1, 12, 0, 0}, {"2027-07-01T16:00:00Z"}},
    };
    // clang-format on
    for (const Case& c : cases) {
        const ScopedTimeZone zone(c.zone);
        SCOPED_TRACE(std::string(c.zone) + " " + clockTimeText(makeDateTime(c.local)));
        std::vector<UtcSeconds> expected;
        for (const char* instant : c.instants) {
            expected.push_back(at(instant));
        }
        EXPECT_EQ(instantsOf(makeDateTime(c.local)), expected);
    }
}

TEST(ClockChanges, AKillRecordedNowKeepsTheInstantOfNow) {
    struct Case {
        const char* zone;
        const char* now;
        const char* last; // the cell afterwards
        const char* next; // period 60
    };
    // clang-format off
    const Case cases[] = {
        {kBerlin, "2027-10-31T00:20:00Z", "02:20:00", "02:20:00"}, // 02:20 summer time
        {kBerlin, "2027-10-31T01:20:00Z", "02:20:00", "03:20:00"}, // 02:20 standard time
        {kBerlin, "2027-03-28T01:30:00Z", "03:30:00", "04:30:00"},
        {kBerlin, "2027-03-28T00:30:00Z", "01:30:00", "03:30:00"},
        {kNewYork, "2027-11-07T05:30:00Z", "01:30:00", "01:30:00"},
        {kNewYork, "2027-11-07T06:30:00Z", "01:30:00", "02:30:00"},
        {kNewYork, "2027-03-14T06:30:00Z", "01:30:00", "03:30:00"},
    };
    // clang-format on
    for (const Case& c : cases) {
        const ScopedTimeZone zone(c.zone);
        SCOPED_TRACE(std::string(c.zone) + " " + c.now);
        BossTable table;
        const int row = table.appendRow();
        table.setCellTexts(table.rowId(row), {{kNameColumn, "血魔"}, {kPeriodColumn, "60"}});
        FakeClock clock;
        clock.setInstant(at(c.now));
        CountingStore store;
        RecordingKillLog log;
        ASSERT_TRUE(onGridDoubleClick(table, row, kLastTimeColumn, clock, store, &log));
        EXPECT_EQ(table.timing(row)->lastUtc, at(c.now));
        EXPECT_EQ(table.cellText(row, kLastTimeColumn), c.last);
        EXPECT_EQ(table.cellText(row, kNextTimeColumn), c.next);
        ASSERT_EQ(log.records.size(), 1u);
        EXPECT_EQ(log.records[0].utcSeconds, at(c.now));
    }
}

TEST(ClockChanges, TheTickCountsTheTrueTimeLeftAcrossAChangeOfTheClocks) {
    struct Case {
        const char* zone;
        const char* killed; // period 60
        const char* pass;
        const char* countdown;
        const char* last; // the cell after the pass: unchanged unless rolled over
    };
    // clang-format off
    const Case cases[] = {
        // Due at the second 02:00 (standard time), seen at the first 02:20.
        {kBerlin, "2027-10-31T00:00:00Z", "2027-10-31T00:20:00Z", "00时40分00秒", "02:00:00"},
        {kBerlin, "2027-10-31T00:00:00Z", "2027-10-31T00:59:59Z", "00时00分01秒", "02:00:00"},
        {kBerlin, "2027-10-31T00:30:00Z", "2027-10-31T01:10:00Z", "00时20分00秒", "02:30:00"},
        {kBerlin, "2027-03-28T00:30:00Z", "2027-03-28T01:10:00Z", "00时20分00秒", "01:30:00"},
        {kNewYork, "2027-11-07T05:00:00Z", "2027-11-07T05:40:00Z", "00时20分00秒", "01:00:00"},
        {kNewYork, "2027-11-07T05:50:00Z", "2027-11-07T06:10:00Z", "00时40分00秒", "01:50:00"},
        {kNewYork, "2027-03-14T06:30:00Z", "2027-03-14T07:00:00Z", "00时30分00秒", "01:30:00"},
    };
    // clang-format on
    for (const Case& c : cases) {
        const ScopedTimeZone zone(c.zone);
        SCOPED_TRACE(std::string(c.zone) + " " + c.pass);
        BossTable table;
        FakeClock clock;
        clock.setInstant(at(c.killed));
        const int row = table.appendRow();
        table.setCheckState(row, true);
        table.setCellTexts(table.rowId(row), {{kNameColumn, "血魔"}, {kPeriodColumn, "60"}});
        CountingStore store;
        ASSERT_TRUE(onGridDoubleClick(table, row, kLastTimeColumn, clock, store));
        FakeSettings settings;
        RecordingAlarm alarm;
        CountingLock lock;
        RecordingKillLog log;
        Tick tick(table, clock, settings, alarm, lock);
        tick.setKillLog(&log);
        clock.setInstant(at(c.pass));
        tick.onTick();
        EXPECT_EQ(table.cellText(row, kCountdownColumn), c.countdown);
        EXPECT_EQ(table.cellText(row, kLastTimeColumn), c.last);
        EXPECT_TRUE(alarm.alerts.empty());
        EXPECT_TRUE(log.records.empty());
        // The listing of the command line agrees.
        const std::vector<RowStatus> statuses = rowStatuses(table.rows(), at(c.pass));
        ASSERT_EQ(statuses.size(), 1u);
        EXPECT_EQ(formatCountdown(statuses[0].remaining.value()), c.countdown);
    }
}

TEST(ClockChanges, ATypedTimeIsTheLatestPastMomentTheClockShowedIt) {
    struct Case {
        const char* zone;
        const char* now;
        const char* typed;
        std::optional<const char*> killed;
    };
    // clang-format off
    const Case cases[] = {
        // Berlin, 31 October 2027: 02:00 to 03:00 runs twice, first in summer time.
        {kBerlin, "2027-10-31T00:30:00Z", "02:20:00", "2027-10-31T00:20:00Z"},
        {kBerlin, "2027-10-31T01:30:00Z", "02:20:00", "2027-10-31T01:20:00Z"},
        {kBerlin, "2027-10-31T01:30:00Z", "02:50:00", "2027-10-31T00:50:00Z"},
        {kBerlin, "2027-10-31T01:30:00Z", "01:50:00", "2027-10-30T23:50:00Z"},
        // Not yet shown today, and yesterday's is more than 12 hours ago.
        {kBerlin, "2027-10-31T00:30:00Z", "02:50:00", std::nullopt},
        {kBerlin, "2027-10-31T01:30:00Z", "-70", "2027-10-31T00:20:00Z"},
        // Berlin, 28 March 2027: 02:00 to 03:00 never shows.
        {kBerlin, "2027-03-28T01:30:00Z", "01:59:59", "2027-03-28T00:59:59Z"},
        {kBerlin, "2027-03-28T01:30:00Z", "03:00:00", "2027-03-28T01:00:00Z"},
        // New York, 7 November 2027: 01:00 to 02:00 runs twice.
        {kNewYork, "2027-11-07T06:45:00Z", "01:40:00", "2027-11-07T06:40:00Z"},
        {kNewYork, "2027-11-07T06:45:00Z", "01:50:00", "2027-11-07T05:50:00Z"},
        {kNewYork, "2027-11-07T05:45:00Z", "01:40:00", "2027-11-07T05:40:00Z"},
        {kNewYork, "2027-03-14T07:30:00Z", "01:59:00", "2027-03-14T06:59:00Z"},
    };
    // clang-format on
    for (const Case& c : cases) {
        const ScopedTimeZone zone(c.zone);
        SCOPED_TRACE(std::string(c.zone) + " " + c.now + " " + c.typed);
        const std::optional<UtcSeconds> killed = typedKillInstant(c.typed, at(c.now));
        if (c.killed) {
            EXPECT_EQ(killed, at(*c.killed));
        } else {
            EXPECT_EQ(killed, std::nullopt);
        }
        // A stored last time without its instant is read the same way, and always dated.
        if (readClockTime(c.typed)) {
            const std::optional<UtcSeconds> derived = deriveLastInstant(c.typed, at(c.now));
            ASSERT_TRUE(derived.has_value());
            EXPECT_LE(*derived, at(c.now));
            if (c.killed) {
                EXPECT_EQ(derived, at(*c.killed));
            }
        }
    }
}

} // namespace
