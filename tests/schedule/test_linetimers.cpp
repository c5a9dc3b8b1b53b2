// Timers per line and server: labels, lookup, kill / undo / clear, the collapsed row's line,
// and the pass that counts lines down, warns naming the line and rolls due lines over.

#include "schedule/bosstable.h"
#include "schedule/linepass.h"
#include "schedule/linetimers.h"
#include "schedule/tick.h"
#include "tests/schedule/tickfakes.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

using namespace zorvane::schedule;
using zorvane::testing::CountingLock;
using zorvane::testing::FakeSettings;
using zorvane::testing::RecordingAlarm;

namespace {

using Labels = std::vector<std::string>;

TEST(LineLabels, ReadsRangesAndNamesAndRefusesWhatCannotBeLines) {
    struct Case {
        const char* text;
        std::optional<Labels> labels;
    } cases[] = {
        {"1-3", Labels{"1", "2", "3"}},
        {" 1 - 2 , A ,3线", Labels{"1", "2", "A", "3线"}},
        {"7", Labels{"7"}},
        {"3-1", std::nullopt},    // backwards
        {"1-3, 2", std::nullopt}, // a line twice
        {"", std::nullopt},
        {"1,,2", std::nullopt},
        {"1-501", std::nullopt}, // more lines than a server may have
        {"a-3", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseLineLabels(c.text), c.labels) << c.text;
    }
    EXPECT_EQ(parseLineLabels("1-60")->size(), 60u);
}

TEST(LineLabels, WritesRunsOfNumbersAsRangesAndReadsThemBack) {
    const struct {
        Labels labels;
        const char* text;
    } cases[] = {
        {{"1", "2", "3", "5", "A"}, "1-3, 5, A"},
        {{"1", "2"}, "1, 2"},
        {{"07", "08", "09"}, "07, 08, 09"},
        {{"3线", "4线"}, "3线, 4线"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lineLabelsText(c.labels), c.text);
        EXPECT_EQ(parseLineLabels(c.text), c.labels) << c.text;
    }
}

TEST(LineLabels, NamesTheLineAndServerAsThePlayerReadsThem) {
    const struct {
        LineKey key;
        const char* title;
    } cases[] = {
        {{"", "3"}, "黑龙 3线"},
        {{"二区", "3"}, "黑龙 3线 @ 二区"},
        {{"", "3线"}, "黑龙 3线"},
        {{"一区", "A"}, "黑龙 A @ 一区"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lineTitle("黑龙", c.key), c.title);
    }
}

TEST(LineBoard, FindsTheLineAPlayerNamesOrSaysWhyNot) {
    LineBoard board;
    ASSERT_TRUE(board.setLines(1, {{}, {"1", "2", "3线"}}));
    ASSERT_TRUE(board.setLines(2, {{"一区", "二区"}, {"1", "2"}}));
    ASSERT_TRUE(board.setLines(3, {{"一区"}, {"A"}}));
    const struct {
        RowId row;
        const char* server;
        const char* line;
        LineLookup result;
        LineKey key;
    } cases[] = {
        {1, "", "2", LineLookup::Found, {"", "2"}},
        {1, "", "2线", LineLookup::Found, {"", "2"}},
        {1, "", "3", LineLookup::Found, {"", "3线"}},
        {1, "", " 3线 ", LineLookup::Found, {"", "3线"}},
        {1, "", "4", LineLookup::UnknownLine, {}},
        {1, "一区", "1", LineLookup::UnknownServer, {}},
        {2, "", "1", LineLookup::ServerNeeded, {}},
        {2, "二区", "2", LineLookup::Found, {"二区", "2"}},
        {2, "三区", "2", LineLookup::UnknownServer, {}},
        {3, "", "A", LineLookup::Found, {"一区", "A"}},
        {4, "", "1", LineLookup::NoLines, {}},
    };
    for (const auto& c : cases) {
        LineId found = 0;
        EXPECT_EQ(board.findLine(c.row, c.server, c.line, found), c.result)
            << c.row << " " << c.server << " " << c.line;
        if (c.result == LineLookup::Found) {
            EXPECT_EQ(board.timer(c.row, found)->key, c.key) << c.line;
        }
    }
}

TEST(LineBoard, KeepsTheTimersOfLinesThatStayAndRefusesBadSets) {
    LineBoard board;
    ASSERT_TRUE(board.setLines(1, {{"一区"}, {"1", "2"}}));
    const LineTimer second = board.timers(1)[1];
    ASSERT_TRUE(board.kill(1, second.id, 1000));
    ASSERT_TRUE(board.setLines(1, {{"一区", "二区"}, {"2", "3"}}));
    const std::vector<LineTimer> now = board.timers(1);
    ASSERT_EQ(now.size(), 4u);
    EXPECT_EQ(now[0].id, second.id);
    EXPECT_EQ(now[0].state.lastKill, 1000);
    EXPECT_FALSE(now[1].state.lastKill);
    EXPECT_EQ(now[2].key, (LineKey{"二区", "2"}));

    const BossLines refused[] = {
        {{}, {"1", "1"}},
        {{"一区", "一区"}, {"1"}},
        {{}, {""}},
        {{"一区"}, {}},
        {{}, Labels(kMaxLinesPerServer + 1, "x")},
    };
    for (const BossLines& lines : refused) {
        EXPECT_FALSE(board.setLines(1, lines));
        EXPECT_EQ(board.timers(1).size(), 4u);
    }
    EXPECT_TRUE(board.setLines(1, {}));
    EXPECT_FALSE(board.hasLines(1));
}

TEST(LineBoard, UndoAndClearPutTheLineBack) {
    LineBoard board;
    ASSERT_TRUE(board.setLines(1, {{}, {"1"}}));
    const LineId line = board.timers(1)[0].id;
    ASSERT_TRUE(board.kill(1, line, 100));
    ASSERT_TRUE(board.setMarks(1, line, 500, std::nullopt));
    const std::optional<LineState> before = board.kill(1, line, 900);
    ASSERT_TRUE(before);
    EXPECT_EQ(before->upSince, 500);
    EXPECT_FALSE(board.timer(1, line)->state.upSince); // a kill ends the spawn marks
    ASSERT_TRUE(board.restore(1, line, *before));
    EXPECT_EQ(board.timer(1, line)->state, *before);
    ASSERT_TRUE(board.clear(1, line));
    EXPECT_EQ(board.timer(1, line)->state, LineState{});
    EXPECT_FALSE(board.kill(1, line + 100, 5));
    EXPECT_FALSE(board.kill(2, line, 5));
}

TEST(LineBoard, TheCollapsedRowShowsTheUpLineThenTheSoonest) {
    const auto counting = [](std::int64_t remaining) {
        LineState state;
        state.lastKill = 1;
        state.remainingSeconds = remaining;
        return state;
    };
    const auto up = [](std::int64_t seconds) {
        LineState state;
        state.lastKill = 1;
        state.remainingSeconds = 10;
        state.view = SpawnView{};
        state.view->phase = SpawnPhase::Up;
        state.view->upSeconds = seconds;
        return state;
    };
    // Among the lines a filter lets through (`among`, by index; none given: all of them).
    const struct {
        std::vector<LineState> states;
        std::size_t shown;
        std::optional<std::vector<std::size_t>> among;
    } cases[] = {
        {{LineState{}, LineState{}}, 0, std::nullopt},
        {{LineState{}, counting(50), counting(20)}, 2, std::nullopt},
        {{counting(5), up(30), up(90)}, 2, std::nullopt},
        {{counting(20), counting(20)}, 0, std::nullopt},
        {{LineState{}, counting(50), counting(20)}, 1, std::vector<std::size_t>{0, 1}},
        {{counting(5), up(30), up(90)}, 0, std::vector<std::size_t>{0}},
        {{counting(5), up(30), up(90)}, 1, std::vector<std::size_t>{1, 0}},
    };
    for (const auto& c : cases) {
        LineBoard board;
        BossLines lines;
        for (std::size_t i = 0; i < c.states.size(); ++i) {
            lines.lines.push_back(std::to_string(i + 1));
        }
        ASSERT_TRUE(board.setLines(1, lines));
        const std::vector<LineTimer> timers = board.timers(1);
        for (std::size_t i = 0; i < timers.size(); ++i) {
            board.restore(1, timers[i].id, c.states[i]);
        }
        std::optional<LineTimer> shown = board.soonest(1);
        if (c.among) {
            std::vector<LineId> among;
            for (const std::size_t index : *c.among) {
                among.push_back(timers[index].id);
            }
            shown = board.soonest(1, among);
        }
        ASSERT_TRUE(shown) << c.shown;
        EXPECT_EQ(shown->id, timers[c.shown].id) << c.shown;
    }
    EXPECT_FALSE(LineBoard{}.soonest(1));
    // None of the lines given is the row's: nothing to show.
    LineBoard few;
    ASSERT_TRUE(few.setLines(1, BossLines{{}, {"1", "2"}}));
    EXPECT_FALSE(few.soonest(1, {}));
    EXPECT_FALSE(few.soonest(1, {few.timers(1).back().id + 100}));

    // Lines read at different passes are compared as counted now: the one read 40 s earlier
    // with 50 s left has 10 s left, fewer than the 20 s of the one read just now.
    LineBoard board;
    ASSERT_TRUE(board.setLines(1, BossLines{{}, {"1", "2"}}));
    const std::vector<LineTimer> timers = board.timers(1);
    board.setCountNow(100);
    ASSERT_TRUE(board.setPassResult(1, timers[0].id, std::nullopt, counting(50)));
    board.setCountNow(140);
    ASSERT_TRUE(board.setPassResult(1, timers[1].id, std::nullopt, counting(20)));
    const std::optional<LineTimer> shown = board.soonest(1);
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->id, timers[0].id);
    EXPECT_EQ(shown->state.remainingSeconds, 10);
}

class RecordingLog final : public KillLog {
public:
    void recordKill(const KillRecord& record) override { kills.push_back(record); }
    std::vector<KillRecord> kills;
};

struct Rig {
    Rig() {
        const int index = table.appendRow();
        table.setCellText(index, kNameColumn, "黑龙");
        table.setCellText(index, kPeriodColumn, "60");
        table.setCellText(index, kDelayColumn, "0");
        table.setCheckState(index, true);
        row = table.rowId(index);
        board.setLines(row, {{"一区", "二区"}, {"1", "2", "3"}});
        pass.setKillLog(&log);
        settings.warn = "5";
    }
    LineId line(const char* server, const char* label) const {
        LineId id = 0;
        board.findLine(row, server, label, id);
        return id;
    }
    void passAt(UtcSeconds now) { pass.afterPass(now, 5, {10}); }

    BossTable table;
    LineBoard board;
    RecordingAlarm alarm;
    RecordingLog log;
    FakeSettings settings;
    LinePass pass{table, board, alarm};
    RowId row = 0;
};

constexpr UtcSeconds kKill = 1'765'000'000;

TEST(LinePass, WarnsAndSoundsEachKilledLineNamingItAndRollsItOver) {
    struct Alerted {
        std::int64_t after; // seconds after the kill the pass runs
        std::optional<int> lead;
        bool chime;
    };
    const struct {
        const char* name;
        bool use;
        std::vector<std::int64_t> passes;
        std::vector<Alerted> alerts;
    } cases[] = {
        {"each lead time once, then due",
         true,
         {0, 49 * 60, 50 * 60, 50 * 60 + 1, 55 * 60, 56 * 60, 60 * 60},
         {{50 * 60, 10, false}, {55 * 60, 5, true}, {60 * 60, std::nullopt, false}}},
        {"a late pass announces each lead time it went past, once",
         true,
         {0, 57 * 60, 58 * 60},
         {{57 * 60, 5, true}, {57 * 60, 10, false}}},
        {"first seen inside a lead time: only one it is exactly at", true, {56 * 60}, {}},
        {"a stale due moment does not sound", true, {0, 30 * 60, 62 * 60}, {}},
        {"an unchecked row stays silent", false, {0, 50 * 60, 55 * 60, 60 * 60}, {}},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.table.setCheckState(1, c.use);
        const LineId killed = rig.line("二区", "2");
        rig.board.kill(rig.row, killed, kKill);
        for (const std::int64_t after : c.passes) {
            rig.passAt(kKill + after);
        }
        ASSERT_EQ(rig.alarm.alerts.size(), c.alerts.size()) << c.name;
        for (std::size_t i = 0; i < c.alerts.size(); ++i) {
            const Alert& alert = rig.alarm.alerts[i];
            EXPECT_EQ(alert.secondsLeft, 60 * 60 - c.alerts[i].after) << c.name;
            EXPECT_EQ(alert.leadMinutes, c.alerts[i].lead) << c.name;
            EXPECT_EQ(alert.chime, c.alerts[i].chime) << c.name;
            EXPECT_EQ(alert.lineId, killed) << c.name;
            EXPECT_EQ(alert.boss, "黑龙");
            EXPECT_EQ(alert.server, "二区");
            EXPECT_EQ(alert.line, "2");
        }
        // Past the due moment the line counts its next cycle from where the last ended,
        // up since then, and the roll-over is in the log with its line.
        const std::int64_t lastPass = c.passes.back();
        const LineState state = rig.board.timer(rig.row, killed)->state;
        if (lastPass >= 60 * 60) {
            EXPECT_EQ(state.lastKill, kKill + 60 * 60) << c.name;
            EXPECT_EQ(state.upSince, kKill + 60 * 60) << c.name;
            ASSERT_EQ(rig.log.kills.size(), 1u) << c.name;
            EXPECT_EQ(rig.log.kills[0].line, "2");
            EXPECT_EQ(rig.log.kills[0].server, "二区");
            EXPECT_EQ(rig.log.kills[0].source, KillSource::RollOver);
        } else {
            EXPECT_EQ(state.lastKill, kKill) << c.name;
            EXPECT_EQ(state.remainingSeconds, 60 * 60 - lastPass) << c.name;
        }
        // No other line counted or sounded.
        for (const LineTimer& other : rig.board.timers(rig.row)) {
            if (other.id != killed) {
                EXPECT_FALSE(other.state.remainingSeconds) << c.name;
                EXPECT_EQ(other.state.phase, RowPhase::Idle) << c.name;
            }
        }
    }
}

TEST(LinePass, PhasesAndTheCollapsedLineFollowTheCounts) {
    Rig rig;
    rig.board.kill(rig.row, rig.line("一区", "1"), kKill);
    rig.board.kill(rig.row, rig.line("二区", "3"), kKill + 20 * 60);
    const struct {
        std::int64_t after;
        RowPhase first;
        RowPhase second;
        LineKey shown;
    } steps[] = {
        {10 * 60, RowPhase::Counting, RowPhase::Counting, {"一区", "1"}},
        {56 * 60, RowPhase::Lead, RowPhase::Counting, {"一区", "1"}},
        {60 * 60, RowPhase::Due, RowPhase::Counting, {"一区", "1"}}, // up now
        {76 * 60, RowPhase::Counting, RowPhase::Lead, {"一区", "1"}},
    };
    for (const auto& step : steps) {
        rig.passAt(kKill + step.after);
        EXPECT_EQ(rig.board.timer(rig.row, rig.line("一区", "1"))->state.phase, step.first)
            << step.after;
        EXPECT_EQ(rig.board.timer(rig.row, rig.line("二区", "3"))->state.phase, step.second)
            << step.after;
        EXPECT_EQ(rig.board.soonest(rig.row)->key, step.shown) << step.after;
    }
    // A kill on the up line ends its spawn: the other line is now the soonest.
    rig.board.kill(rig.row, rig.line("一区", "1"), kKill + 77 * 60);
    rig.passAt(kKill + 77 * 60);
    EXPECT_EQ(rig.board.soonest(rig.row)->key, (LineKey{"二区", "3"}));
}

// The window repaints counts it is told moved: a pass over lines that count tells the
// table's listener once, whether or not any row of the table counts.
TEST(LinePass, TellsTheTableThatLineCountsMoved) {
    struct CountingListener final : BossTable::Listener {
        void rowsInserted(int, int) override {}
        void rowsRemoved(int, int) override {}
        void cellsChanged(int, int, int) override {}
        void headerChanged(int, int) override {}
        void countdownsMoved() override { ++moved; }
        int moved = 0;
    } listener;
    Rig rig;
    rig.table.setListener(&listener);
    const struct {
        const char* what;
        std::function<void()> before;
        int told;
    } steps[] = {
        {"no line killed", [] {}, 0},
        {"one line counting", [&] { rig.board.kill(rig.row, rig.line("二区", "2"), kKill); }, 1},
        {"a pass that reads no line, one still counting", [] {}, 1},
        {"its lines gone", [&] { rig.board.setLines(rig.row, {}); }, 0},
    };
    for (const auto& step : steps) {
        listener.moved = 0;
        step.before();
        rig.passAt(kKill + 60);
        EXPECT_EQ(listener.moved, step.told) << step.what;
    }
    rig.table.setListener(nullptr);
}

TEST(LinePass, AKillRecordedDuringThePassIsNeverOverwrittenByItsRollOver) {
    Rig rig;
    const LineId line = rig.line("一区", "1");
    rig.board.kill(rig.row, line, kKill);
    LineState result;
    result.lastKill = kKill + 3600;
    rig.board.kill(rig.row, line, kKill + 3500); // the player recorded a newer kill
    EXPECT_FALSE(rig.board.setPassResult(rig.row, line, kKill, result));
    EXPECT_EQ(rig.board.timer(rig.row, line)->state.lastKill, kKill + 3500);
}

class HookCount final : public TickHook {
public:
    void afterPass(UtcSeconds now, long long warnMinutes, const std::vector<int>& extra) override {
        calls.push_back({now, warnMinutes, extra});
    }
    struct Call {
        UtcSeconds now;
        long long warn;
        std::vector<int> extra;
    };
    std::vector<Call> calls;
};

TEST(LinePass, TheTickRunsItsHookAfterEachPassWithThePassReadings) {
    BossTable table;
    table.appendRow();
    const FrozenClock clock(kKill);
    FakeSettings settings;
    settings.warn = "7";
    settings.extra = {15};
    RecordingAlarm alarm;
    CountingLock lock;
    Tick tick(table, clock, settings, alarm, lock);
    HookCount hook;
    tick.setHook(&hook);
    tick.onTick();
    tick.onTick();
    ASSERT_EQ(hook.calls.size(), 2u);
    EXPECT_EQ(hook.calls[1].now, kKill);
    EXPECT_EQ(hook.calls[1].warn, 7);
    EXPECT_EQ(hook.calls[1].extra, std::vector<int>{15});
    EXPECT_EQ(lock.depth, 0); // the hook runs outside the tick's lock
}

} // namespace
