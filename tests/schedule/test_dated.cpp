// Dated rows: countdowns to last + period + delay, roll-overs that start where the old
// cycle became due, typed kills, the kill log calls and the rows missed while away.

#include "schedule/away.h"
#include "schedule/bosstable.h"
#include "schedule/cycle.h"
#include "schedule/editing.h"
#include "schedule/tableops.h"
#include "schedule/tick.h"
#include "tests/schedule/tickfakes.h"
#include "tests/support/fakeclock.h"
#include "text/numbers.h"

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

using namespace zorvane::schedule;
using zorvane::testing::CountingLock;
using zorvane::testing::FakeClock;
using zorvane::testing::FakeSettings;
using zorvane::testing::RecordingAlarm;

namespace {

class RecordingKillLog final : public KillLog {
public:
    void recordKill(const KillRecord& record) override { records.push_back(record); }
    std::vector<KillRecord> records;
};

class NullStore final : public TableStore {
public:
    void saveTable(const BossTable&) override { ++saves; }
    void rewriteTable(const BossTable&) override { ++saves; }
    int saves = 0;
};

class CollectingMessages final : public MessageSink {
public:
    void showMessage(const zorvane::text::Message& message) override {
        shown.push_back(zorvane::text::defaultText(message));
        // What happens while the box is open: the window thread waits, the tick does not.
        if (onShow) {
            onShow();
        }
    }
    std::vector<std::string> shown;
    std::function<void()> onShow;
};

UtcSeconds utc(DateTimeParts local) {
    return toUtc(makeDateTime(local));
}

// A row killed at `kill` (local), its texts as the program writes them.
RowId addKilledRow(BossTable& table, int period, int delay, DateTimeParts kill,
                   const std::string& boss = "BOSS", bool use = true) {
    const int row = table.appendRow();
    const RowId id = table.rowId(row);
    table.setCheckState(row, use);
    const UtcSeconds killed = utc(kill);
    table.setDatedCellTextsIf(id, {},
                              {{kNameColumn, boss},
                               {kPeriodColumn, std::to_string(period)},
                               {kDelayColumn, delay ? std::to_string(delay) : std::string()},
                               {kLastTimeColumn, clockTimeText(makeDateTime(kill))},
                               {kNextTimeColumn, nextTimeText(killed, period)}},
                              killed);
    return id;
}

struct TickRig {
    explicit TickRig(DateTimeParts now) : clock(now) { tick.setKillLog(&log); }
    std::string cell(RowId id, int column) const { return table.row(id).value().text[column]; }
    RowTiming timing(RowId id) const { return table.row(id).value().timing; }
    void passAt(DateTimeParts now) {
        clock.set(now);
        tick.onTick();
    }

    BossTable table;
    FakeClock clock;
    FakeSettings settings;
    RecordingAlarm alarm;
    CountingLock lock;
    RecordingKillLog log;
    Tick tick{table, clock, settings, alarm, lock};
};

// --- Countdowns -------------------------------------------------------------------------

struct CountdownCase {
    const char* name;
    int period;
    int delay;
    DateTimeParts kill;
    DateTimeParts now;
    std::int64_t remaining;
    const char* countdown;
    const char* next;
};

TEST(DatedCountdown, CountsToLastPlusPeriodPlusDelayForAnyPeriod) {
    // clang-format off
    const CountdownCase cases[] = {
        {"one minute", 1, 0, {2026, 12, 7, 10, 0, 0}, {2026, 12, 7, 10, 0, 30}, 30, "00时00分30秒", "10:01:00"},
        {"1439 minutes over midnight", 1439, 0, {2026, 12, 7, 23, 59, 0}, {2026, 12, 8, 0, 0, 0}, 86280, "23时58分00秒", "23:58:00"},
        {"a day, an hour before", 1440, 0, {2026, 12, 7, 10, 0, 0}, {2026, 12, 8, 9, 0, 0}, 3600, "01时00分00秒", "10:00:00"},
        {"a day, just killed", 1440, 0, {2026, 12, 7, 10, 0, 0}, {2026, 12, 7, 10, 0, 1}, 86399, "23时59分59秒", "10:00:00"},
        {"a day and a minute", 1441, 0, {2026, 12, 7, 10, 0, 0}, {2026, 12, 7, 10, 0, 0}, 86460, "1天00时01分00秒", "10:01:00"},
        {"a week", 10080, 0, {2026, 12, 1, 10, 0, 0}, {2026, 12, 7, 9, 0, 0}, 90000, "1天01时00分00秒", "10:00:00"},
        {"a hundred days", 144000, 0, {2026, 12, 1, 0, 0, 0}, {2026, 12, 1, 0, 0, 0}, 8640000, "100天00时00分00秒", "00:00:00"},
        {"delay carrying past midnight", 90, 60, {2026, 12, 7, 22, 0, 0}, {2026, 12, 8, 0, 10, 0}, 1200, "00时20分00秒", "23:30:00"},
        {"delay past midnight, next before", 30, 45, {2026, 12, 7, 23, 0, 0}, {2026, 12, 7, 23, 50, 0}, 1500, "00时25分00秒", "23:30:00"},
        {"negative delay", 60, -20, {2026, 12, 7, 23, 30, 0}, {2026, 12, 8, 0, 0, 0}, 600, "00时10分00秒", "00:30:00"},
    };
    // clang-format on
    for (const CountdownCase& c : cases) {
        SCOPED_TRACE(c.name);
        TickRig rig(c.now);
        const RowId id = addKilledRow(rig.table, c.period, c.delay, c.kill);
        EXPECT_EQ(rig.cell(id, kNextTimeColumn), c.next);
        rig.tick.onTick();
        EXPECT_EQ(rig.cell(id, kCountdownColumn), c.countdown);
        EXPECT_EQ(rig.timing(id).remainingSeconds, c.remaining);
        // A positive delay is a window, open for the count's last `delay` minutes; before it
        // the warning minutes (5) count to its opening.
        const std::int64_t width = 60LL * std::max(0, c.delay);
        const RowPhase expected = c.delay > 0 && c.remaining <= width ? RowPhase::Window
                                  : c.remaining - width <= 300        ? RowPhase::Lead
                                                                      : RowPhase::Counting;
        EXPECT_EQ(rig.timing(id).phase, expected);
        EXPECT_TRUE(rig.log.records.empty());
    }
}

// Rows loaded from a file without dates: the date is read from the time of day.
TEST(DatedCountdown, RowsWithoutADateTakeTodayOrYesterday) {
    struct Case {
        const char* last;
        const char* next;
        const char* period;
        const char* delay;
        DateTimeParts now;
        const char* countdown;
    };
    // clang-format off
    const Case cases[] = {
        // Due at 00:30 though the next time says 23:30.
        {"22:00:00", "23:30:00", "90", "60", {2026, 12, 8, 0, 10, 0}, "00时20分00秒"},
        {"23:00:00", "01:00:00", "120", "", {2026, 12, 8, 0, 30, 0}, "00时30分00秒"},
        {"23:00:00", "01:00:00", "120", "", {2026, 12, 7, 23, 30, 0}, "01时30分00秒"},
        // The time found between words is the time every reader sees.
        {"kill 23:30:00", "00:00:00", "30", "", {2026, 12, 7, 23, 40, 0}, "00时20分00秒"},
        {"9:5:0", "09:35:00", "30", "", {2026, 12, 7, 9, 30, 0}, "00时05分00秒"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.last);
        TickRig rig(c.now);
        const int row = rig.table.appendRow();
        const RowId id = rig.table.rowId(row);
        rig.table.setCellTexts(id, {{kPeriodColumn, c.period},
                                    {kDelayColumn, c.delay},
                                    {kLastTimeColumn, c.last},
                                    {kNextTimeColumn, c.next}});
        rig.tick.onTick();
        EXPECT_EQ(rig.cell(id, kCountdownColumn), c.countdown);
        EXPECT_EQ(rig.cell(id, kLastTimeColumn), c.last) << "rolled over";
        EXPECT_TRUE(rig.timing(id).lastUtc.has_value());
    }
}

// --- Roll-over ----------------------------------------------------------------------------

struct RollCase {
    const char* name;
    int period;
    int delay;
    DateTimeParts kill;
    DateTimeParts pass;
    DateTimeParts cycleStart;
    const char* next;
    const char* countdown;
};

TEST(DatedRollOver, StartsTheNewCycleWhereTheOldOneBecameDue) {
    // clang-format off
    const RollCase cases[] = {
        {"on the due second", 30, 0, {2026, 12, 7, 10, 0, 0}, {2026, 12, 7, 10, 30, 0}, {2026, 12, 7, 10, 30, 0}, "11:00:00", "00时00分00秒"},
        {"a pass a second late", 30, 0, {2026, 12, 7, 10, 0, 0}, {2026, 12, 7, 10, 30, 1}, {2026, 12, 7, 10, 30, 0}, "11:00:00", "00时00分-1秒"},
        {"closed for two days", 90, 0, {2026, 12, 5, 10, 0, 0}, {2026, 12, 7, 10, 0, 30}, {2026, 12, 7, 10, 0, 0}, "11:30:00", "01时29分30秒"},
        {"daily, closed for two days", 1440, 0, {2026, 12, 5, 8, 0, 0}, {2026, 12, 7, 9, 0, 0}, {2026, 12, 7, 8, 0, 0}, "08:00:00", "23时00分00秒"},
        {"weekly with a delay", 10080, 10, {2026, 11, 20, 12, 0, 0}, {2026, 12, 7, 12, 0, 0}, {2026, 12, 4, 12, 20, 0}, "12:20:00", "4天00时30分00秒"},
        {"delay past midnight", 90, 60, {2026, 12, 7, 22, 0, 0}, {2026, 12, 8, 0, 30, 0}, {2026, 12, 8, 0, 30, 0}, "02:00:00", "00时00分00秒"},
        {"1441 minutes", 1441, 0, {2026, 12, 6, 10, 0, 0}, {2026, 12, 7, 10, 1, 5}, {2026, 12, 7, 10, 1, 0}, "10:02:00", "00时00分-5秒"},
    };
    // clang-format on
    for (const RollCase& c : cases) {
        SCOPED_TRACE(c.name);
        TickRig rig(c.pass);
        const RowId id = addKilledRow(rig.table, c.period, c.delay, c.kill, "  火龙 ");
        rig.tick.onTick();
        EXPECT_EQ(rig.cell(id, kLastTimeColumn), clockTimeText(makeDateTime(c.cycleStart)));
        EXPECT_EQ(rig.cell(id, kNextTimeColumn), c.next);
        EXPECT_EQ(rig.cell(id, kCountdownColumn), c.countdown);
        EXPECT_EQ(rig.timing(id).lastUtc, utc(c.cycleStart));
        EXPECT_EQ(rig.timing(id).phase, RowPhase::Due);
        ASSERT_EQ(rig.log.records.size(), 1u);
        const KillRecord& record = rig.log.records[0];
        EXPECT_EQ(record.boss, "火龙");
        EXPECT_EQ(record.utcSeconds, utc(c.cycleStart));
        EXPECT_EQ(record.periodMinutes, c.period);
        EXPECT_EQ(record.delayMinutes, c.delay);
        EXPECT_EQ(record.source, KillSource::RollOver);
        // The next pass counts the new cycle and records nothing more.
        DateTimeParts later = c.pass;
        later.second += 1;
        rig.passAt(later);
        EXPECT_EQ(rig.log.records.size(), 1u);
        EXPECT_GT(rig.timing(id).remainingSeconds.value_or(0), 0);
    }
}

// The tick stopped (停止 ... 启动) or the machine asleep: the clock jumps between passes.
TEST(DatedRollOver, StoppedOrAsleepNeitherShiftsTheScheduleNorLosesTheWarning) {
    struct Case {
        const char* name;
        DateTimeParts resume;
        const char* last;
        const char* next;
        const char* countdown;
        int alarms;          // after the resumed pass
        int alarmsAfterLead; // after a pass at 11:55 of that day, the lead time of 12:00
    };
    // clang-format off
    const Case cases[] = {
        {"three cycles stopped", {2026, 12, 7, 11, 37, 0}, "11:30:00", "12:00:00", "00时23分00秒", 0, 1},
        {"asleep into the lead time", {2026, 12, 7, 11, 57, 0}, "11:30:00", "12:00:00", "00时03分00秒", 1, 1},
        {"asleep for a day", {2026, 12, 8, 11, 40, 10}, "11:30:00", "12:00:00", "00时19分50秒", 0, 1},
        {"stopped inside one cycle", {2026, 12, 7, 10, 26, 0}, "10:00:00", "10:30:00", "00时04分00秒", 1, 2},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TickRig rig({2026, 12, 7, 10, 0, 1});
        const RowId id = addKilledRow(rig.table, 30, 0, {2026, 12, 7, 10, 0, 0});
        rig.tick.onTick();
        rig.passAt(c.resume);
        EXPECT_EQ(rig.cell(id, kLastTimeColumn), c.last);
        EXPECT_EQ(rig.cell(id, kNextTimeColumn), c.next);
        EXPECT_EQ(rig.cell(id, kCountdownColumn), c.countdown);
        EXPECT_EQ(rig.alarm.count, c.alarms);
        // Never a kill that did not happen: only cycle starts on the schedule.
        for (const KillRecord& record : rig.log.records) {
            EXPECT_EQ((record.utcSeconds - utc({2026, 12, 7, 10, 0, 0})) % 1800, 0);
        }
        // The warning of the 12:00 cycle sounds once, at the latest at its lead time.
        DateTimeParts lead = c.resume;
        lead.hour = 11;
        lead.minute = 55;
        lead.second = 0;
        rig.passAt(lead);
        EXPECT_EQ(rig.alarm.count, c.alarmsAfterLead);
    }
}

TEST(DatedRollOver, ShortCyclesAndUnreadableTimesRestartAtTheMomentFound) {
    struct Case {
        const char* name;
        const char* period;
        const char* delay;
        const char* last;
        const char* next;
        const char* newNext;
    };
    // clang-format off
    const Case cases[] = {
        {"period 0", "0", "", "10:00:00", "10:00:10", "10:00:20"},
        {"period and delay under a minute", "1", "-1", "09:00:00", "09:01:00", "10:01:20"},
        {"unreadable last time", "30", "", "abc", "10:00:00", "10:30:20"},
        {"huge negative period", "-2000000000", "", "09:00:00", "09:00:00", "12:40:20"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TickRig rig({2026, 12, 7, 10, 0, 20});
        const RowId id = rig.table.rowId(rig.table.appendRow());
        rig.table.setCellTexts(id, {{kPeriodColumn, c.period},
                                    {kDelayColumn, c.delay},
                                    {kLastTimeColumn, c.last},
                                    {kNextTimeColumn, c.next}});
        rig.tick.onTick();
        EXPECT_EQ(rig.cell(id, kLastTimeColumn), "10:00:20");
        EXPECT_EQ(rig.cell(id, kNextTimeColumn), c.newNext);
        ASSERT_EQ(rig.log.records.size(), 1u);
        EXPECT_EQ(rig.log.records[0].utcSeconds, utc({2026, 12, 7, 10, 0, 20}));
    }
}

// --- Kills typed or double-clicked --------------------------------------------------------

TEST(DatedKill, TypedLastTimesNameAnInstant) {
    struct Case {
        const char* typed;
        DateTimeParts now;
        const char* last;     // the cell afterwards
        const char* next;     // period 30
        DateTimeParts killed; // the instant recorded
    };
    // clang-format off
    const Case cases[] = {
        {"23:59:50", {2026, 12, 8, 0, 0, 12}, "23:59:50", "00:29:50", {2026, 12, 7, 23, 59, 50}},
        {"21:59:59", {2026, 12, 8, 9, 59, 59}, "21:59:59", "22:29:59", {2026, 12, 7, 21, 59, 59}},
        {"-5", {2026, 12, 7, 10, 0, 0}, "09:55:00", "10:25:00", {2026, 12, 7, 9, 55, 0}},
        {" -90 ", {2026, 12, 8, 0, 30, 0}, "23:00:00", "23:30:00", {2026, 12, 7, 23, 0, 0}},
        {"-0", {2026, 12, 7, 10, 0, 0}, "10:00:00", "10:30:00", {2026, 12, 7, 10, 0, 0}},
        {"-1:00:00", {2026, 12, 7, 10, 0, 0}, "-1:00:00", "01:30:00", {2026, 12, 7, 1, 0, 0}},
        {"abc 1:2:3 xyz", {2026, 12, 7, 10, 0, 0}, "abc 1:2:3 xyz", "01:32:03", {2026, 12, 7, 1, 2, 3}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        BossTable table;
        const int row = table.appendRow();
        table.setCellTexts(table.rowId(row), {{kNameColumn, "火龙"},
                                              {kPeriodColumn, "30"},
                                              {kDelayColumn, "2"},
                                              {kLastTimeColumn, c.typed}});
        FakeClock clock(c.now);
        CollectingMessages messages;
        NullStore store;
        RecordingKillLog log;
        onGridEditFinished(table, row, kLastTimeColumn, "5", clock, messages, store, &log);
        EXPECT_EQ(table.cellText(row, kLastTimeColumn), c.last);
        EXPECT_EQ(table.cellText(row, kNextTimeColumn), c.next);
        EXPECT_EQ(table.timing(row)->lastUtc, utc(c.killed));
        EXPECT_TRUE(messages.shown.empty());
        EXPECT_EQ(store.saves, 1);
        ASSERT_EQ(log.records.size(), 1u);
        EXPECT_EQ(log.records[0].utcSeconds, utc(c.killed));
        EXPECT_EQ(log.records[0].source, KillSource::Typed);
        EXPECT_EQ(log.records[0].periodMinutes, 30);
        EXPECT_EQ(log.records[0].delayMinutes, 2);
        // A period edit afterwards reads the same time from the cell.
        table.setCellText(row, kPeriodColumn, "60");
        onGridEditFinished(table, row, kPeriodColumn, "5", clock, messages, store, &log);
        EXPECT_EQ(table.cellText(row, kNextTimeColumn), nextTimeText(utc(c.killed), 60));
    }
}

// A typed time that names no moment of the last 12 hours records no kill: the row keeps
// the kill it had (a weekly boss's kill of three days ago among them), nothing is saved
// or logged, and the tick, which goes on while the message is open, never counts from
// the refused text.
TEST(DatedKill, ARefusedTypedTimeKeepsTheKillTheRowHad) {
    struct Case {
        const char* typed;
        DateTimeParts now;
    };
    const Case cases[] = {
        {"25:99", {2026, 12, 10, 10, 0, 0}},    {"12:00:00", {2026, 12, 10, 11, 0, 0}},
        {"22:00:00", {2026, 12, 10, 10, 0, 1}}, {"-200000", {2026, 12, 10, 10, 0, 0}},
        {"24:00:00", {2026, 12, 10, 11, 5, 0}}, {"12:61:00", {2026, 12, 10, 11, 5, 0}},
        {"12:30", {2026, 12, 10, 11, 5, 0}},    {"later", {2026, 12, 10, 11, 5, 0}},
        {"", {2026, 12, 10, 11, 5, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        TickRig rig(c.now);
        // A weekly boss killed three days ago.
        const RowId id = addKilledRow(rig.table, 10080, 0, {2026, 12, 7, 9, 30, 0}, "周BOSS");
        rig.tick.onTick();
        const BossRow before = rig.table.row(id).value();
        const int row = rig.table.rowIndex(id);
        rig.table.setCellText(row, kLastTimeColumn, c.typed);

        CollectingMessages messages;
        std::optional<BossRow> whileShown;
        messages.onShow = [&] {
            rig.clock.advance(1);
            rig.tick.onTick();
            whileShown = rig.table.row(id);
        };
        NullStore store;
        onGridEditFinished(rig.table, row, kLastTimeColumn, "5", rig.clock, messages, store,
                           &rig.log, &before);

        EXPECT_EQ(messages.shown, std::vector<std::string>{"请正确输入日期"});
        EXPECT_EQ(store.saves, 0);
        EXPECT_TRUE(rig.log.records.empty());
        EXPECT_TRUE(rig.alarm.alerts.empty());
        for (const std::optional<BossRow>& seen : {whileShown, rig.table.row(id)}) {
            ASSERT_TRUE(seen.has_value());
            EXPECT_EQ(seen->text[kLastTimeColumn], "09:30:00");
            EXPECT_EQ(seen->text[kNextTimeColumn], "09:30:00");
            EXPECT_EQ(seen->timing.lastUtc, utc({2026, 12, 7, 9, 30, 0}));
        }
        // Still counting toward the weekly boss's return, never a negative count.
        EXPECT_EQ(whileShown->text[kCountdownColumn],
                  formatCountdown(utc({2026, 12, 14, 9, 30, 0}) - rig.clock.instant()));
    }
}

TEST(DatedKill, DoubleClickRecordsTheKillAndDatesTheRow) {
    BossTable table;
    const int row = table.appendRow();
    table.setCellTexts(table.rowId(row), {{kNameColumn, " 世界BOSS "},
                                          {kPeriodColumn, "1440"},
                                          {kDelayColumn, "5"},
                                          {kLastTimeColumn, "01:00:00"}});
    FakeClock clock({2026, 12, 7, 23, 59, 59});
    NullStore store;
    RecordingKillLog log;
    ASSERT_TRUE(onGridDoubleClick(table, row, kLastTimeColumn, clock, store, &log));
    EXPECT_EQ(table.cellText(row, kLastTimeColumn), "23:59:59");
    EXPECT_EQ(table.cellText(row, kNextTimeColumn), "23:59:59");
    EXPECT_EQ(table.timing(row)->lastUtc, utc({2026, 12, 7, 23, 59, 59}));
    ASSERT_EQ(log.records.size(), 1u);
    EXPECT_EQ(log.records[0].boss, "世界BOSS");
    EXPECT_EQ(log.records[0].periodMinutes, 1440);
    EXPECT_EQ(log.records[0].delayMinutes, 5);
    EXPECT_EQ(log.records[0].source, KillSource::DoubleClick);
    // Without a log nothing breaks; elsewhere nothing is recorded.
    EXPECT_TRUE(onGridDoubleClick(table, row, kLastTimeColumn, clock, store, nullptr));
    EXPECT_FALSE(onGridDoubleClick(table, row, kNextTimeColumn, clock, store, &log));
    EXPECT_EQ(log.records.size(), 1u);
    // Writing the last time without an instant forgets the old one.
    table.setCellText(row, kLastTimeColumn, "22:00:00");
    EXPECT_FALSE(table.timing(row)->lastUtc.has_value());
}

// --- While away ---------------------------------------------------------------------------

TEST(Away, ListsOnlyCyclesThatCameDueWhileNotRunning) {
    struct Case {
        const char* name;
        int period;
        int delay;
        DateTimeParts kill;
        DateTimeParts lastSeen;
        DateTimeParts now;
        std::int64_t cycles; // 0: not listed
        DateTimeParts firstDue;
        DateTimeParts cycleStart;
    };
    const DateTimeParts none{};
    // clang-format off
    const Case cases[] = {
        {"closed for two days", 90, 0, {2026, 12, 5, 10, 0, 0}, {2026, 12, 5, 10, 30, 0}, {2026, 12, 7, 10, 0, 30}, 32, {2026, 12, 5, 11, 30, 0}, {2026, 12, 7, 10, 0, 0}},
        {"short restart, due while running", 30, 0, {2026, 12, 7, 8, 0, 0}, {2026, 12, 7, 10, 0, 0}, {2026, 12, 7, 10, 0, 20}, 0, none, none},
        {"due during a short restart", 30, 0, {2026, 12, 7, 9, 30, 5}, {2026, 12, 7, 10, 0, 0}, {2026, 12, 7, 10, 0, 20}, 1, {2026, 12, 7, 10, 0, 5}, {2026, 12, 7, 10, 0, 5}},
        {"due exactly when last seen", 30, 0, {2026, 12, 7, 9, 30, 0}, {2026, 12, 7, 10, 0, 0}, {2026, 12, 7, 10, 0, 20}, 0, none, none},
        {"not due yet", 1440, 0, {2026, 12, 7, 8, 0, 0}, {2026, 12, 6, 8, 0, 0}, {2026, 12, 7, 20, 0, 0}, 0, none, none},
        {"weekly with a delay", 10080, 60, {2026, 11, 20, 12, 0, 0}, {2026, 11, 21, 0, 0, 0}, {2026, 12, 7, 12, 0, 0}, 2, {2026, 11, 27, 13, 0, 0}, {2026, 12, 4, 14, 0, 0}},
        {"cycle under a minute", 0, 0, {2026, 12, 7, 8, 0, 0}, {2026, 12, 6, 8, 0, 0}, {2026, 12, 7, 20, 0, 0}, 0, none, none},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BossTable table;
        const RowId id = addKilledRow(table, c.period, c.delay, c.kill, " 火龙 ");
        const std::vector<MissedRow> missed = missedWhileAway(table, utc(c.lastSeen), utc(c.now));
        if (c.cycles == 0) {
            EXPECT_TRUE(missed.empty());
            continue;
        }
        ASSERT_EQ(missed.size(), 1u);
        EXPECT_EQ(missed[0].id, id);
        EXPECT_EQ(missed[0].boss, "火龙");
        EXPECT_EQ(missed[0].cyclesPassed, c.cycles);
        EXPECT_EQ(missed[0].firstDue, utc(c.firstDue));
        EXPECT_EQ(missed[0].cycleStart, utc(c.cycleStart));
        EXPECT_EQ(missed[0].remaining,
                  utc(c.cycleStart) + cycleSeconds(c.period, c.delay) - utc(c.now));
    }
}

// In a table or as read from the file, before they are added to one.
TEST(Away, UndatedRowsAreDatedAsTheTickWouldDateThem) {
    struct Case {
        const char* last;
        std::optional<UtcSeconds> stored;
        std::optional<UtcSeconds> dated;
    };
    const UtcSeconds now = utc({2026, 12, 8, 0, 10, 0});
    const Case cases[] = {
        {"23:00:00", std::nullopt, utc({2026, 12, 7, 23, 0, 0})},
        {"00:05:00", std::nullopt, utc({2026, 12, 8, 0, 5, 0})},
        {"soon", std::nullopt, std::nullopt},
        {"", std::nullopt, std::nullopt},
        // An instant already known is kept.
        {"23:00:00", utc({2026, 12, 6, 23, 0, 0}), utc({2026, 12, 6, 23, 0, 0})},
    };
    BossTable table;
    std::vector<BossRow> read;
    for (const Case& c : cases) {
        const int row = table.appendRow();
        table.setCellTexts(table.rowId(row), {{kPeriodColumn, "30"}, {kLastTimeColumn, c.last}});
        if (c.stored) {
            table.setLastInstantIf(table.rowId(row), c.last, *c.stored);
        }
        read.push_back(table.rows().back());
    }
    dateUndatedRows(table, now);
    dateUndatedRows(read, now);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].last);
        EXPECT_EQ(table.timing(static_cast<int>(i) + 1)->lastUtc, cases[i].dated);
        EXPECT_EQ(read[i].timing.lastUtc, cases[i].dated);
    }
}

// --- Daylight saving ----------------------------------------------------------------------

// Runs with the clocks of New York, which go forward on 2027-03-14 and back on 2027-11-07.
class NewYorkTime : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* tz = std::getenv("TZ")) {
            m_saved = tz;
        }
        setenv("TZ", "America/New_York", 1);
        tzset();
        ASSERT_EQ(utc({2027, 3, 14, 3, 0, 0}) - utc({2027, 3, 14, 1, 0, 0}), 3600)
            << "no time-zone data for America/New_York";
    }
    void TearDown() override {
        if (m_saved) {
            setenv("TZ", m_saved->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    std::optional<std::string> m_saved;
};

TEST_F(NewYorkTime, CountdownsAndRollOversCountRealSecondsAcrossTheChanges) {
    struct Case {
        const char* name;
        int period;
        DateTimeParts kill;
        DateTimeParts pass;
        const char* next;      // after the pass
        const char* countdown; // after the pass
        const char* last;      // after the pass
    };
    // clang-format off
    const Case cases[] = {
        {"daily over spring forward", 1440, {2027, 3, 13, 10, 0, 0}, {2027, 3, 14, 10, 0, 0}, "11:00:00", "01时00分00秒", "10:00:00"},
        {"90 minutes over the gap", 90, {2027, 3, 14, 1, 0, 0}, {2027, 3, 14, 3, 0, 0}, "03:30:00", "00时30分00秒", "01:00:00"},
        {"90 minutes rolled over the gap", 90, {2027, 3, 14, 0, 0, 0}, {2027, 3, 14, 4, 0, 0}, "05:30:00", "01时30分00秒", "04:00:00"},
        {"weekly over spring forward", 10080, {2027, 3, 10, 12, 0, 0}, {2027, 3, 17, 12, 0, 0}, "13:00:00", "01时00分00秒", "12:00:00"},
        {"daily over fall back", 1440, {2027, 11, 6, 10, 0, 0}, {2027, 11, 7, 8, 0, 0}, "09:00:00", "01时00分00秒", "10:00:00"},
        {"daily rolled over fall back", 1440, {2027, 11, 5, 10, 0, 0}, {2027, 11, 7, 8, 0, 0}, "09:00:00", "01时00分00秒", "10:00:00"},
        {"90 minutes through the repeated hour", 90, {2027, 11, 7, 0, 30, 0}, {2027, 11, 7, 1, 30, 0}, "01:00:00", "00时30分00秒", "00:30:00"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TickRig rig(c.pass);
        const RowId id = addKilledRow(rig.table, c.period, 0, c.kill);
        rig.tick.onTick();
        EXPECT_EQ(rig.cell(id, kCountdownColumn), c.countdown);
        EXPECT_EQ(rig.cell(id, kNextTimeColumn), c.next);
        EXPECT_EQ(rig.cell(id, kLastTimeColumn), c.last);
    }
}

} // namespace
