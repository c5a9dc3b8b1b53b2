#include "schedule/bosstable.h"
#include "schedule/datetime.h"
#include "schedule/tick.h"
#include "tests/schedule/tickfakes.h"
#include "tests/support/fakeclock.h"

#include <gtest/gtest.h>

#include <array>
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

// Fails the test when a cell changes while the tick does not hold its lock.
class LockChecker final : public BossTable::Listener {
public:
    explicit LockChecker(const CountingLock& lock) : m_lock(lock) {}
    void rowsInserted(int, int) override {}
    void rowsRemoved(int, int) override {}
    void cellsChanged(int row, int, int) override {
        EXPECT_GT(m_lock.depth, 0) << "row " << row << " written outside the tick lock";
    }
    void headerChanged(int, int) override {}

private:
    const CountingLock& m_lock;
};

class TickTest : public ::testing::Test {
protected:
    RowId addRow(const std::string& last, const std::string& next, const std::string& period,
                 const std::string& delay = "0", bool use = true) {
        const int row = table.appendRow();
        table.setCheckState(row, use);
        table.setCellText(row, kPeriodColumn, period);
        table.setCellText(row, kDelayColumn, delay);
        table.setCellText(row, kLastTimeColumn, last);
        table.setCellText(row, kNextTimeColumn, next);
        return table.rowId(row);
    }
    void passAt(int h, int m, int s) {
        clock.set(h, m, s);
        tick.onTick();
    }
    std::string cell(RowId id, int column) const { return table.row(id).value().text[column]; }

    BossTable table;
    FakeClock clock;
    FakeSettings settings;
    RecordingAlarm alarm;
    CountingLock lock;
    Tick tick{table, clock, settings, alarm, lock};
};

TEST_F(TickTest, CountsDownWarnsAtTheLeadTimeAndRollsOver) {
    const RowId id = addRow("10:00:00", "10:30:00", "30");
    LockChecker checker(lock);
    table.setListener(&checker);

    passAt(10, 24, 59);
    EXPECT_EQ(cell(id, kCountdownColumn), "00时05分01秒");
    EXPECT_EQ(alarm.count, 0);
    passAt(10, 25, 0);
    EXPECT_EQ(cell(id, kCountdownColumn), "00时05分00秒");
    EXPECT_EQ(alarm.count, 1);
    passAt(10, 25, 1);
    passAt(10, 29, 59);
    EXPECT_EQ(alarm.count, 1);

    passAt(10, 30, 0);
    EXPECT_EQ(cell(id, kLastTimeColumn), "10:30:00");
    EXPECT_EQ(cell(id, kNextTimeColumn), "11:00:00");
    EXPECT_EQ(cell(id, kCountdownColumn), "00时00分00秒");
    passAt(10, 30, 1);
    EXPECT_EQ(cell(id, kCountdownColumn), "00时29分59秒");
    EXPECT_EQ(alarm.count, 1);

    // The next cycle warns again.
    passAt(10, 54, 59);
    EXPECT_EQ(alarm.count, 1);
    passAt(10, 55, 0);
    EXPECT_EQ(alarm.count, 2);
    table.setListener(nullptr);
}

TEST_F(TickTest, ARowFirstSeenExactlyAtTheLeadTimeSounds) {
    const RowId id = addRow("10:00:00", "10:30:00", "30");
    passAt(10, 25, 0);
    EXPECT_EQ(alarm.count, 1);
    EXPECT_EQ(cell(id, kCountdownColumn), "00时05分00秒");
}

TEST_F(TickTest, DelayPostponesWarningAndRollOverButNotTheNextTime) {
    const RowId id = addRow("10:00:00", "10:30:00", "30", "2");
    passAt(10, 26, 59);
    EXPECT_EQ(alarm.count, 0);
    passAt(10, 27, 0);
    EXPECT_EQ(alarm.count, 1);
    EXPECT_EQ(cell(id, kCountdownColumn), "00时05分00秒");
    passAt(10, 30, 0);
    EXPECT_EQ(cell(id, kNextTimeColumn), "10:30:00");
    EXPECT_EQ(cell(id, kCountdownColumn), "00时02分00秒");
    passAt(10, 32, 0);
    EXPECT_EQ(cell(id, kLastTimeColumn), "10:32:00");
    EXPECT_EQ(cell(id, kNextTimeColumn), "11:02:00");
    EXPECT_EQ(cell(id, kCountdownColumn), "00时00分00秒");
    EXPECT_EQ(alarm.count, 1);
}

TEST_F(TickTest, ASkippedWarningSecondStillSoundsOnce) {
    addRow("10:00:00", "10:30:00", "30");
    passAt(10, 24, 59);
    passAt(10, 25, 1);
    EXPECT_EQ(alarm.count, 1);
    passAt(10, 25, 2);
    passAt(10, 28, 0);
    EXPECT_EQ(alarm.count, 1);
}

TEST_F(TickTest, UncheckedRowCountsAndRollsOverButNeverSounds) {
    const RowId id = addRow("10:00:00", "10:30:00", "30", "0", false);
    passAt(10, 24, 59);
    passAt(10, 25, 0);
    passAt(10, 30, 0);
    EXPECT_EQ(cell(id, kNextTimeColumn), "11:00:00");
    settings.warn = "0";
    passAt(10, 59, 59);
    passAt(11, 0, 0);
    EXPECT_EQ(alarm.count, 0);
    EXPECT_EQ(cell(id, kNextTimeColumn), "11:30:00");
}

TEST_F(TickTest, WarningMinutesThatAreNoNumberWarnOnTheRollOverPass) {
    for (const std::string warn : {"", "abc"}) {
        SCOPED_TRACE("warning minutes '" + warn + "'");
        BossTable rows;
        RecordingAlarm sink;
        Tick pass(rows, clock, settings, sink, lock);
        settings.warn = warn;
        const RowId id = rows.rowId(rows.appendRow());
        rows.setCellTexts(
            id,
            {{kPeriodColumn, "30"}, {kLastTimeColumn, "10:00:00"}, {kNextTimeColumn, "10:30:00"}});
        rows.setCheckState(rows.rowIndex(id), true);
        clock.set(10, 25, 0);
        pass.onTick();
        clock.set(10, 29, 59);
        pass.onTick();
        EXPECT_EQ(sink.count, 0);
        // The due second itself is skipped: the roll-over pass still sounds.
        clock.set(10, 30, 1);
        pass.onTick();
        EXPECT_EQ(sink.count, 1);
        // The new cycle starts where the old one became due, not when a pass noticed.
        EXPECT_EQ(rows.row(id)->text[kLastTimeColumn], "10:30:00");
        clock.set(10, 30, 2);
        pass.onTick();
        EXPECT_EQ(sink.count, 1);
    }
}

TEST_F(TickTest, WarningMinutesAreReadOnEveryPass) {
    addRow("10:00:00", "10:30:00", "30");
    settings.warn = "５"; // full-width digit, as typed with a Chinese input method
    passAt(10, 24, 59);
    settings.warn = "10";
    passAt(10, 19, 59);
    passAt(10, 20, 0);
    EXPECT_EQ(alarm.count, 1);
    settings.warn = "５";
    passAt(10, 25, 0);
    EXPECT_EQ(alarm.count, 1) << "a cycle warns once";
}

TEST_F(TickTest, ARowAlreadyInsideTheLeadTimeWaitsForItsNextCycle) {
    const RowId id = addRow("10:00:00", "10:30:00", "30");
    passAt(10, 26, 0);
    passAt(10, 27, 0);
    passAt(10, 30, 0);
    EXPECT_EQ(alarm.count, 0);
    EXPECT_EQ(cell(id, kNextTimeColumn), "11:00:00");
    // The tick was stopped until well inside the new cycle's lead time.
    passAt(10, 56, 0);
    EXPECT_EQ(alarm.count, 1);
}

TEST_F(TickTest, AnEditStartsANewCycle) {
    const RowId id = addRow("10:00:00", "10:30:00", "30");
    passAt(10, 25, 0);
    EXPECT_EQ(alarm.count, 1);
    // The boss was killed again: a later next time warns again.
    table.setCellTexts(id, {{kLastTimeColumn, "10:10:00"}, {kNextTimeColumn, "10:40:00"}});
    passAt(10, 26, 0);
    passAt(10, 35, 0);
    EXPECT_EQ(alarm.count, 2);
    // Edited to a time already inside the lead time: silent for that cycle.
    table.setCellTexts(id, {{kLastTimeColumn, "10:08:00"}, {kNextTimeColumn, "10:38:00"}});
    passAt(10, 35, 1);
    passAt(10, 37, 0);
    EXPECT_EQ(alarm.count, 2);
    // A delay typed in moves the due time out again.
    table.setCellText(id, kDelayColumn, "10");
    passAt(10, 37, 1);
    passAt(10, 43, 0);
    EXPECT_EQ(alarm.count, 3);
}

TEST_F(TickTest, PeriodZeroRollsOverOnEveryPassAndSoundsAtMostOnce) {
    const RowId id = addRow("10:00:00", "10:00:10", "0");
    settings.warn = "0";
    passAt(10, 0, 9);
    EXPECT_EQ(cell(id, kCountdownColumn), "00时00分01秒");
    for (int s = 10; s < 16; ++s) {
        passAt(10, 0, s);
        const std::string now = "10:00:" + std::to_string(s);
        EXPECT_EQ(cell(id, kLastTimeColumn), now);
        EXPECT_EQ(cell(id, kNextTimeColumn), now);
    }
    EXPECT_EQ(cell(id, kCountdownColumn), "00时00分-1秒");
    EXPECT_EQ(alarm.count, 1);
}

TEST_F(TickTest, RowsWithoutBothTimesAreLeftAlone) {
    const RowId noLast = addRow("", "10:30:00", "30");
    const RowId noNext = addRow("10:00:00", "", "30");
    table.setCellText(noLast, kCountdownColumn, "00时07分00秒");
    table.setCellText(noNext, kCountdownColumn, "old");
    settings.warn = "0";
    passAt(10, 30, 0);
    passAt(11, 0, 0);
    EXPECT_EQ(cell(noLast, kCountdownColumn), "00时07分00秒");
    EXPECT_EQ(cell(noLast, kLastTimeColumn), "");
    EXPECT_EQ(cell(noNext, kCountdownColumn), "old");
    EXPECT_EQ(cell(noNext, kNextTimeColumn), "");
    EXPECT_EQ(alarm.count, 0);
}

TEST_F(TickTest, RowsDeletedDuringAPassAreSkippedAndNoOtherRowIsWritten) {
    const RowId first = addRow("10:00:00", "10:30:00", "30");
    const RowId second = addRow("10:00:00", "10:40:00", "40");
    const RowId third = addRow("10:05:00", "10:50:00", "45");
    const RowId fourth = addRow("10:00:00", "10:35:00", "35");
    LockChecker checker(lock);
    table.setListener(&checker);
    // The alarm of the first row deletes that row and the one after it; a row
    // appended meanwhile waits for the next pass.
    int appended = 0;
    alarm.onSound = [&] {
        table.deleteRow(table.rowIndex(first));
        table.deleteRow(table.rowIndex(second));
        appended = table.appendRow();
        table.setCellTexts(table.rowId(appended),
                           {{kLastTimeColumn, "10:00:00"}, {kNextTimeColumn, "10:30:00"}});
        alarm.onSound = nullptr;
    };
    passAt(10, 25, 0);
    table.setListener(nullptr);

    EXPECT_EQ(alarm.count, 1);
    EXPECT_FALSE(table.row(first));
    EXPECT_FALSE(table.row(second));
    ASSERT_EQ(table.rowCount(), 4);
    EXPECT_EQ(cell(third, kCountdownColumn), "00时25分00秒");
    EXPECT_EQ(cell(third, kLastTimeColumn), "10:05:00");
    EXPECT_EQ(cell(fourth, kCountdownColumn), "00时10分00秒");
    EXPECT_EQ(cell(fourth, kNextTimeColumn), "10:35:00");
    EXPECT_EQ(table.cellText(appended, kCountdownColumn), "");
    passAt(10, 25, 1);
    EXPECT_EQ(table.cellText(appended, kCountdownColumn), "00时04分59秒");
}

TEST_F(TickTest, AKillRecordedWhileAPassRollsTheRowOverIsKept) {
    const RowId id = addRow("10:00:00", "10:30:00", "30");
    // The window thread records a kill after the pass has read the row, just before the
    // pass writes the roll-over.
    clock.onRead([&](int reading) {
        if (reading == 2) {
            table.setCellTexts(id, {{kLastTimeColumn, "10:29:59"}, {kNextTimeColumn, "10:59:59"}});
        }
    });
    passAt(10, 30, 0);
    EXPECT_EQ(clock.readings(), 2);
    EXPECT_EQ(cell(id, kLastTimeColumn), "10:29:59");
    EXPECT_EQ(cell(id, kNextTimeColumn), "10:59:59");
    clock.onRead(nullptr);
    passAt(10, 30, 1);
    EXPECT_EQ(cell(id, kCountdownColumn), "00时29分58秒");
}

TEST_F(TickTest, AnEmptyTableIsANoOp) {
    passAt(10, 25, 0);
    EXPECT_EQ(table.rowCount(), 1);
    EXPECT_EQ(alarm.count, 0);
    EXPECT_EQ(lock.depth, 0);
}

} // namespace

// However many rows a pass writes, the listener hears of them once, at the end of the pass.
TEST_F(TickTest, APassTellsTheListenerOnce) {
    class BlockCounter final : public BossTable::Listener {
    public:
        void rowsInserted(int, int) override {}
        void rowsRemoved(int, int) override {}
        void cellsChanged(int, int, int) override { ++cells; }
        void headerChanged(int, int) override {}
        void cellBlockChanged(int firstRow, int lastRow, int firstColumn, int lastColumn) override {
            blocks.push_back({firstRow, lastRow, firstColumn, lastColumn});
        }
        void countdownsMoved() override { ++moved; }
        int cells = 0;
        int moved = 0;
        std::vector<std::array<int, 4>> blocks;
    };
    for (int i = 0; i < 20; ++i) {
        addRow("10:00:00", i == 7 ? "10:20:00" : "10:40:00", i == 7 ? "20" : "40");
    }
    addRow("", "", "30"); // left alone: no time to count from
    BlockCounter counter;
    table.setListener(&counter);

    // Row 8 rolls over, the others get their first count: every row's look is new.
    passAt(10, 20, 0);
    ASSERT_EQ(counter.blocks.size(), 1u);
    EXPECT_EQ(counter.blocks[0], (std::array<int, 4>{1, 20, kUseColumn, kCountdownColumn}));
    EXPECT_EQ(counter.moved, 0);
    // Row 8 leaves its due look; the other counts only move on, told once for all.
    passAt(10, 20, 1);
    ASSERT_EQ(counter.blocks.size(), 2u);
    EXPECT_EQ(counter.blocks[1], (std::array<int, 4>{8, 8, kUseColumn, kCountdownColumn}));
    EXPECT_EQ(counter.moved, 1);
    passAt(10, 20, 2);
    EXPECT_EQ(counter.blocks.size(), 2u);
    EXPECT_EQ(counter.moved, 2);
    EXPECT_EQ(table.cellText(1, kCountdownColumn), "00时19分58秒");
    EXPECT_EQ(counter.cells, 0);
    table.setListener(nullptr);

    table.deleteRow(21);
    for (int i = 20; i >= 1; --i) {
        table.deleteRow(i);
    }
    table.setListener(&counter);
    passAt(10, 20, 3); // nothing written, nothing told
    EXPECT_EQ(counter.blocks.size(), 2u);
    EXPECT_EQ(counter.moved, 2);
    table.setListener(nullptr);
}

// What one alert announced: the lead minutes (0 for due), the seconds left, the chime.
struct Announced {
    int lead;
    std::int64_t secondsLeft;
    bool chime;
    bool operator==(const Announced&) const = default;
};

void PrintTo(const Announced& a, std::ostream* os) {
    *os << "{lead " << a.lead << ", left " << a.secondsLeft << (a.chime ? ", chime}" : "}");
}

TEST_F(TickTest, LeadTimesAnnounceEveryCheckedRowOncePerCycle) {
    constexpr int kDue = 0;
    struct Case {
        const char* name;
        std::string period;
        bool use;
        std::vector<int> extra;
        int changeAtMinute; // when `extraAfter` replaces `extra`; 0: never
        std::vector<int> extraAfter;
        std::vector<Announced> expected;
        std::optional<std::vector<int>> own = std::nullopt; // the row's own list
        bool changeOwn = false; // `extraAfter` becomes the row's own list instead
    };
    const std::vector<Case> cases{
        {"global",
         "30",
         true,
         {10, 1},
         0,
         {},
         {{10, 600, false}, {5, 300, true}, {1, 60, false}, {kDue, 0, false}}},
        {"same as the warning minutes", "30", true, {5}, 0, {}, {{5, 300, true}, {kDue, 0, false}}},
        {"at or above the period",
         "30",
         true,
         {30, 45, 29},
         0,
         {},
         {{29, 1740, false}, {5, 300, true}, {kDue, 0, false}}},
        {"unchecked row", "30", false, {10, 1}, 0, {}, {}},
        {"added mid-cycle, one already passed",
         "30",
         true,
         {},
         21,
         {10, 2},
         {{5, 300, true}, {2, 120, false}, {kDue, 0, false}}},
        {"removed mid-cycle", "30", true, {10, 1}, 15, {}, {{5, 300, true}, {kDue, 0, false}}},
        {"the row's own list instead of the global one",
         "30",
         true,
         {10, 1},
         0,
         {},
         {{15, 900, false}, {5, 300, true}, {kDue, 0, false}},
         std::vector<int>{15}},
        {"an own empty list keeps only the warning minutes",
         "30",
         true,
         {10, 1},
         0,
         {},
         {{5, 300, true}, {kDue, 0, false}},
         std::vector<int>{}},
        {"own lead times at or above the period",
         "30",
         true,
         {},
         0,
         {},
         {{5, 300, true}, {3, 180, false}, {kDue, 0, false}},
         std::vector<int>{30, 40, 3}},
        {"own list changed mid-cycle: once per lead time",
         "30",
         true,
         {},
         21,
         {10, 2},
         {{10, 600, false}, {5, 300, true}, {2, 120, false}, {kDue, 0, false}},
         std::vector<int>{10},
         true},
        {"own list given mid-cycle replaces the global one",
         "30",
         true,
         {10, 1},
         22,
         {1, 3},
         {{10, 600, false}, {5, 300, true}, {3, 180, false}, {1, 60, false}, {kDue, 0, false}},
         std::nullopt,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BossTable rows;
        FakeClock passClock;
        FakeSettings passSettings;
        RecordingAlarm sink;
        CountingLock passLock;
        Tick pass{rows, passClock, passSettings, sink, passLock};
        rows.appendRow();
        const int row = rows.appendRow();
        const RowId id = rows.rowId(row);
        rows.setCheckState(row, c.use);
        rows.setCellText(id, kNameColumn, " 火龙 ");
        rows.setCellText(id, kPeriodColumn, c.period);
        rows.setCellText(id, kDelayColumn, "0");
        rows.setCellText(id, kLastTimeColumn, "10:00:00");
        rows.setCellText(id, kNextTimeColumn, "10:30:00");
        passSettings.extra = c.extra;
        rows.setLeadMinutes(id, c.own);
        for (int second = 0; second <= 30 * 60 + 5; ++second) {
            if (c.changeAtMinute != 0 && second == c.changeAtMinute * 60) {
                if (c.changeOwn) {
                    rows.setLeadMinutes(id, c.extraAfter);
                } else {
                    passSettings.extra = c.extraAfter;
                }
            }
            passClock.set(10, second / 60, second % 60);
            pass.onTick();
        }
        std::vector<Announced> got;
        for (const Alert& a : sink.alerts) {
            got.push_back({a.leadMinutes.value_or(kDue), a.secondsLeft, a.chime});
            EXPECT_EQ(a.rowId, id);
            EXPECT_EQ(a.boss, "火龙");
            EXPECT_EQ(a.rowNumber, row);
            EXPECT_EQ(a.due(), !a.leadMinutes.has_value());
        }
        EXPECT_EQ(got, c.expected);
    }
}
