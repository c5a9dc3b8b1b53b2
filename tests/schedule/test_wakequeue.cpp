// The queue of moments the tick wakes for, and the tick that reads only the rows whose
// moment came: it must sound, count and show exactly what a pass over every row does.

#include "schedule/bosstable.h"
#include "schedule/cycle.h"
#include "schedule/spawnrule.h"
#include "schedule/tick.h"
#include "schedule/wakequeue.h"
#include "tests/schedule/tickfakes.h"
#include "tests/support/fakeclock.h"
#include "tests/support/timezone.h"
#include "text/numbers.h"

#include <gtest/gtest.h>

#include <memory>
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

WakeKey row(std::uint64_t id) {
    return {kRowWakes, id};
}

TEST(WakeQueue, KeepsOneMomentPerKeyAndPopsWhatIsDueEarliestFirst) {
    enum class Op { Schedule, NoLaterThan, Cancel, Pop };
    struct Step {
        Op op;
        WakeKey key;
        UtcSeconds at;
        std::vector<WakeKey> popped; // Pop only
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::size_t left;
    };
    const WakeKey other{1, 2}; // another source's id 2 is not row 2
    const std::vector<Case> cases{
        {"nothing due before its moment",
         {{Op::Schedule, row(1), 10, {}}, {Op::Pop, {}, 9, {}}, {Op::Pop, {}, 10, {row(1)}}},
         0},
        {"earliest first, a moment moved later replaces the earlier",
         {{Op::Schedule, row(1), 10, {}},
          {Op::Schedule, row(2), 5, {}},
          {Op::Schedule, row(2), 20, {}},
          {Op::Pop, {}, 30, {row(1), row(2)}}},
         0},
        {"no later than keeps the earlier of the two",
         {{Op::Schedule, row(1), 10, {}},
          {Op::NoLaterThan, row(1), 15, {}},
          {Op::NoLaterThan, row(3), 15, {}},
          {Op::Pop, {}, 10, {row(1)}},
          {Op::NoLaterThan, row(3), 12, {}},
          {Op::Pop, {}, 12, {row(3)}}},
         0},
        {"a cancelled key never wakes, a deleted row's again later does",
         {{Op::Schedule, row(1), 10, {}},
          {Op::Cancel, row(1), 0, {}},
          {Op::Cancel, row(7), 0, {}},
          {Op::Pop, {}, 100, {}},
          {Op::Schedule, row(1), 50, {}},
          {Op::Pop, {}, 100, {row(1)}}},
         0},
        {"sources keep their ids apart",
         {{Op::Schedule, row(2), 10, {}},
          {Op::Schedule, other, 10, {}},
          {Op::Cancel, row(2), 0, {}},
          {Op::Pop, {}, 10, {other}}},
         0},
        {"a clock set back pops nothing until the moments come again",
         {{Op::Schedule, row(1), 1000, {}},
          {Op::Schedule, row(2), 400, {}},
          {Op::Pop, {}, 300, {}},
          {Op::Pop, {}, 500, {row(2)}}},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WakeQueue queue;
        for (const Step& step : c.steps) {
            switch (step.op) {
            case Op::Schedule:
                queue.schedule(step.key, step.at);
                break;
            case Op::NoLaterThan:
                queue.scheduleNoLaterThan(step.key, step.at);
                break;
            case Op::Cancel:
                queue.cancel(step.key);
                break;
            case Op::Pop:
                EXPECT_EQ(queue.popDue(step.at), step.popped) << "at " << step.at;
                break;
            }
        }
        EXPECT_EQ(queue.size(), c.left);
    }
}

TEST(WakeQueue, ThousandsOfKeysAtOneMomentAllWakeTogetherOnce) {
    WakeQueue queue;
    constexpr std::uint64_t kKeys = 5000;
    for (std::uint64_t id = kKeys; id >= 1; --id) {
        queue.schedule(row(id), 1000);
    }
    queue.schedule(row(kKeys + 1), 1001);
    EXPECT_EQ(queue.next(), 1000);
    EXPECT_TRUE(queue.popDue(999).empty());
    const std::vector<WakeKey> due = queue.popDue(1000);
    ASSERT_EQ(due.size(), kKeys);
    for (std::uint64_t i = 0; i < kKeys; ++i) {
        EXPECT_EQ(due[i], row(i + 1));
    }
    EXPECT_TRUE(queue.popDue(1000).empty());
    EXPECT_EQ(queue.size(), 1u);
    EXPECT_EQ(queue.momentOf(row(kKeys + 1)), 1001);
}

// Two identical tables, one ticked as the program ticks it, the other made to read every
// row every pass (each row is touched before each pass, as an edit would).
struct TwinRig {
    // What a pass tells the table's listener: its block of whole rows and that counts moved.
    class PassNotices final : public BossTable::Listener {
    public:
        void rowsInserted(int, int) override {}
        void rowsRemoved(int, int) override {}
        void cellsChanged(int, int, int) override {}
        void headerChanged(int, int) override {}
        void cellBlockChanged(int firstRow, int lastRow, int firstColumn, int lastColumn) override {
            told.push_back("rows " + std::to_string(firstRow) + "-" + std::to_string(lastRow) +
                           " columns " + std::to_string(firstColumn) + "-" +
                           std::to_string(lastColumn));
        }
        void countdownsMoved() override { told.emplace_back("moved"); }
        std::vector<std::string> told;
    };
    struct Side {
        Side() { table.setListener(&notices); }
        ~Side() { table.setListener(nullptr); }
        PassNotices notices;
        BossTable table;
        FakeClock clock;
        FakeSettings settings;
        RecordingAlarm alarm;
        CountingLock lock;
        Tick tick{table, clock, settings, alarm, lock};
    };
    Side queued;
    Side everyRow;

    template <typename Action> void both(Action&& action) {
        action(queued);
        action(everyRow);
    }
    void passAt(UtcSeconds now) {
        both([now](Side& side) { side.clock.setInstant(now); });
        for (int i = 1; i < everyRow.table.rowCount(); ++i) {
            everyRow.table.setCheckState(i, everyRow.table.checkState(i));
        }
        both([](Side& side) { side.notices.told.clear(); });
        queued.tick.onTick();
        everyRow.tick.onTick();
    }
};

std::string describe(const BossRow& row) {
    const RowTiming& t = row.timing;
    std::string text = std::to_string(row.id) + (row.use ? " on" : " off");
    for (const std::string& cell : row.text) {
        text += " |" + cell;
    }
    const auto number = [](const std::optional<std::int64_t>& value) {
        return value ? std::to_string(*value) : std::string("-");
    };
    text += " left " + number(t.remainingSeconds) + " phase " +
            std::to_string(static_cast<int>(t.phase)) + " last " + number(t.lastUtc) + " up " +
            number(t.upSince) + " missed " + number(t.missedAt);
    if (t.spawnView) {
        text += zorvane::testing::viewText(*t.spawnView);
    }
    return text;
}

std::string alertText(const Alert& a) {
    return std::to_string(a.rowId) + "#" + std::to_string(a.rowNumber) + " " + a.boss + " left " +
           std::to_string(a.secondsLeft) + " lead " +
           (a.leadMinutes ? std::to_string(*a.leadMinutes) : "-") + (a.chime ? " chime" : "") +
           " topic " + std::to_string(static_cast<int>(a.topic)) + " phase " +
           std::to_string(static_cast<int>(a.phase));
}

// The rows every scenario starts from: short and long cycles, windows, a fixed-times rule
// with a reminder, own lead times, an unchecked row, a row counted from its texts and a
// row with nothing to count.
void fillRows(BossTable& table, UtcSeconds start) {
    struct Row {
        const char* name;
        const char* period;
        const char* delay;
        std::int64_t killedAgo; // seconds before the start; < 0: no times
        bool use;
        std::optional<std::vector<int>> own;
        const char* rule;
    };
    const std::vector<Row> rows{
        {"short", "3", "0", 30, true, std::nullopt, ""},
        {"window", "20", "10", 600, true, std::nullopt, ""},
        {"long", "90", "0", 1200, true, std::vector<int>{30, 2}, ""},
        {"quiet", "25", "5", 100, false, std::nullopt, ""},
        {"fixed", "0", "0", 0, true, std::nullopt, "at 10:20 11:05:30 remind 3"},
        {"missed", "10", "0", 3000, true, std::nullopt, ""},
        {"empty", "30", "0", -1, true, std::nullopt, ""},
        {"window up", "15", "20", 1500, true, std::vector<int>{}, "after remind 2"},
    };
    for (const Row& r : rows) {
        const int index = table.appendRow();
        const RowId id = table.rowId(index);
        table.setCellTexts(
            id, {{kNameColumn, r.name}, {kPeriodColumn, r.period}, {kDelayColumn, r.delay}});
        table.setCheckState(index, r.use);
        if (r.killedAgo >= 0) {
            const UtcSeconds killed = start - r.killedAgo;
            table.setDatedCellTextsIf(
                id, {},
                {{kLastTimeColumn, clockTimeText(toLocal(killed))},
                 {kNextTimeColumn, nextTimeText(killed, zorvane::text::textToInteger(r.period))}},
                killed);
        }
        if (r.own) {
            table.setLeadMinutes(id, r.own);
        }
        if (*r.rule != '\0') {
            table.setSpawnRule(id, *parseSpawnRule(r.rule));
        }
    }
}

TEST(QueuedTick, SoundsCountsAndShowsWhatAPassOverEveryRowDoes) {
    enum class Event { Kill, Delete, Warn, ClockJump, Zone, OwnLeads, Missed, Uncheck, Clear };
    struct At {
        int second;
        Event event;
        int row = 0;         // data row
        std::int64_t by = 0; // ClockJump: seconds; Warn: minutes
    };
    struct Case {
        const char* name;
        std::vector<At> events;
    };
    const std::vector<Case> cases{
        {"untouched", {}},
        {"kills, a deletion, a cleared and an unchecked row",
         {{400, Event::Kill, 2},
          {401, Event::Kill, 5},
          {900, Event::Delete, 1},
          {1500, Event::Clear, 3},
          {1800, Event::Uncheck, 1},
          {2500, Event::Kill, 1}}},
        {"warning minutes and own lead times changed mid-cycle",
         {{200, Event::Warn, 0, 12}, {700, Event::OwnLeads, 2}, {1900, Event::Warn, 0, 1}}},
        {"clock set back and forward",
         {{600, Event::ClockJump, 0, -900},
          {1400, Event::ClockJump, 0, 3 * 3600},
          {1500, Event::ClockJump, 0, -30}}},
        {"the computer's zone changes", {{300, Event::Zone}, {2000, Event::Kill, 2}}},
        {"a spawn marked as taken by others", {{100, Event::Missed, 8}, {1300, Event::Missed, 6}}},
    };
    const ScopedTimeZone berlin("Europe/Berlin");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<ScopedTimeZone> zone;
        TwinRig rig;
        const UtcSeconds start = parseUtcText("2026-12-07T09:00:00Z").value();
        rig.both([&](TwinRig::Side& side) { fillRows(side.table, start); });
        std::int64_t shift = 0;
        std::size_t event = 0;
        for (int second = 0; second <= 3600; ++second) {
            const UtcSeconds now = start + second + shift;
            for (; event < c.events.size() && c.events[event].second == second; ++event) {
                const At& at = c.events[event];
                const auto idOf = [&](TwinRig::Side& side) { return side.table.rowId(at.row); };
                switch (at.event) {
                case Event::Kill:
                    rig.both([&](TwinRig::Side& side) {
                        side.table.setDatedCellTextsIf(
                            idOf(side), {},
                            {{kLastTimeColumn, clockTimeText(toLocal(now))},
                             {kNextTimeColumn,
                              nextTimeText(now, side.table.timing(at.row)->periodMinutes)}},
                            now);
                    });
                    break;
                case Event::Delete:
                    rig.both([&](TwinRig::Side& side) { side.table.deleteRow(at.row); });
                    break;
                case Event::Clear:
                    rig.both([&](TwinRig::Side& side) {
                        side.table.setCellTexts(idOf(side),
                                                {{kLastTimeColumn, ""}, {kNextTimeColumn, ""}});
                    });
                    break;
                case Event::Uncheck:
                    rig.both([&](TwinRig::Side& side) { side.table.setCheckState(at.row, false); });
                    break;
                case Event::Warn:
                    rig.both(
                        [&](TwinRig::Side& side) { side.settings.warn = std::to_string(at.by); });
                    break;
                case Event::OwnLeads:
                    rig.both([&](TwinRig::Side& side) {
                        side.table.setLeadMinutes(idOf(side), std::vector<int>{25, 8, 1});
                    });
                    break;
                case Event::Missed:
                    rig.both([&](TwinRig::Side& side) {
                        side.table.setSpawnMarks(idOf(side), side.table.timing(at.row)->upSince,
                                                 now);
                    });
                    break;
                case Event::ClockJump:
                    shift += at.by;
                    break;
                case Event::Zone:
                    zone = std::make_unique<ScopedTimeZone>("America/New_York");
                    break;
                }
            }
            rig.passAt(start + second + shift);
            const std::vector<BossRow> queued = rig.queued.table.rows();
            const std::vector<BossRow> everyRow = rig.everyRow.table.rows();
            ASSERT_EQ(queued.size(), everyRow.size());
            for (std::size_t i = 0; i < queued.size(); ++i) {
                ASSERT_EQ(describe(queued[i]), describe(everyRow[i])) << "second " << second;
            }
            ASSERT_EQ(rig.queued.alarm.alerts.size(), rig.everyRow.alarm.alerts.size())
                << "second " << second;
            ASSERT_EQ(rig.queued.notices.told, rig.everyRow.notices.told) << "second " << second;
        }
        std::vector<std::string> queuedAlerts;
        std::vector<std::string> everyRowAlerts;
        for (const Alert& a : rig.queued.alarm.alerts) {
            queuedAlerts.push_back(alertText(a));
        }
        for (const Alert& a : rig.everyRow.alarm.alerts) {
            everyRowAlerts.push_back(alertText(a));
        }
        EXPECT_EQ(queuedAlerts, everyRowAlerts);
        EXPECT_FALSE(queuedAlerts.empty());
    }
}

TEST(QueuedTick, APassReadsOnlyTheRowsWhoseMomentCameOrThatChanged) {
    BossTable table;
    FakeClock clock(10, 0, 0);
    FakeSettings settings;
    RecordingAlarm alarm;
    CountingLock lock;
    Tick tick{table, clock, settings, alarm, lock};
    constexpr int kRows = 3000;
    const UtcSeconds start = clock.instant();
    std::vector<BossRow> rows(kRows);
    for (int i = 0; i < kRows; ++i) {
        rows[static_cast<std::size_t>(i)].use = true;
        rows[static_cast<std::size_t>(i)].text[kPeriodColumn] = "60";
        rows[static_cast<std::size_t>(i)].text[kDelayColumn] = "0";
        // Killed together; every hundredth a minute later.
        const UtcSeconds killed = i % 100 == 0 ? start - 540 : start - 600;
        rows[static_cast<std::size_t>(i)].text[kLastTimeColumn] = clockTimeText(toLocal(killed));
        rows[static_cast<std::size_t>(i)].text[kNextTimeColumn] = nextTimeText(killed, 60);
        rows[static_cast<std::size_t>(i)].timing.lastUtc = killed;
    }
    table.appendRows(std::move(rows));
    struct Step {
        const char* what;
        std::int64_t advance;
        int edit; // a data row to touch first, 0: none
        std::size_t reads;
    };
    const std::vector<Step> steps{
        {"the first pass reads every row", 0, 0, kRows},
        {"a quiet second reads none", 1, 0, 0},
        {"an edited row is read alone", 1, 5, 1},
        {"rows reaching their lead time together are read together", 2698, 0, kRows - 30},
        {"and then left alone", 1, 0, 0},
        {"the rows killed later reach it later", 59, 0, 30},
        {"the clock set back reads every row", -5, 0, kRows},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        clock.advance(step.advance);
        if (step.edit != 0) {
            table.setCheckState(step.edit, true);
        }
        tick.onTick();
        EXPECT_EQ(tick.rowsReadLastPass(), step.reads);
    }
}

} // namespace
