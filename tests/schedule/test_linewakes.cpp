// The line pass on its wake queue: what it sounds and shows equals a pass reading every line
// every second, it reads only the lines whose moment came or that changed, and lines have
// the window's warnings and the reminder of an unrecorded spawn as rows do.

#include "schedule/bosstable.h"
#include "schedule/linepass.h"
#include "schedule/linetimers.h"
#include "schedule/spawnrule.h"
#include "tests/schedule/tickfakes.h"
#include "tests/support/timezone.h"

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace zorvane::schedule;
using zorvane::testing::RecordingAlarm;
using zorvane::testing::ScopedTimeZone;

namespace {

class RecordingLog final : public KillLog {
public:
    void recordKill(const KillRecord& record) override { kills.push_back(record); }
    std::vector<KillRecord> kills;
};

using zorvane::testing::numberText;

std::string describe(const LineTimer& timer) {
    const LineState& s = timer.state;
    std::string text = std::to_string(timer.id) + " " + timer.key.server + "/" + timer.key.line +
                       " last " + numberText(s.lastKill) + " up " + numberText(s.upSince) +
                       " missed " + numberText(s.missedAt) + " left " +
                       numberText(s.remainingSeconds) + " phase " +
                       std::to_string(static_cast<int>(s.phase));
    if (s.view) {
        text += zorvane::testing::viewText(*s.view);
    }
    return text;
}

std::string alertText(const Alert& a) {
    return std::to_string(a.rowId) + "#" + std::to_string(a.rowNumber) + " " + a.boss + " " +
           a.server + "/" + a.line + " line " + std::to_string(a.lineId) + " left " +
           std::to_string(a.secondsLeft) + " lead " +
           (a.leadMinutes ? std::to_string(*a.leadMinutes) : "-") + (a.chime ? " chime" : "") +
           " topic " + std::to_string(static_cast<int>(a.topic)) + " phase " +
           std::to_string(static_cast<int>(a.phase)) + " about " + numberText(a.aboutUtc) +
           " after " + std::to_string(a.minutesAfter);
}

std::string killText(const KillRecord& k) {
    return k.boss + " " + k.server + "/" + k.line + " " + std::to_string(k.utcSeconds);
}

// The bosses every scenario starts from, with the lines killed at the start (seconds before
// it): short and long cycles, a window with a reminder, own lead times, fixed times, an
// unchecked boss, lines on two servers and on none.
struct Boss {
    const char* name;
    const char* period;
    const char* delay;
    bool use;
    std::optional<std::vector<int>> own;
    const char* rule;
    BossLines lines;
    std::vector<std::pair<std::size_t, std::int64_t>> killedAgo; // timer index, seconds
};

const std::vector<Boss>& bosses() {
    static const std::vector<Boss> list{
        {"黑龙",
         "3",
         "0",
         true,
         std::nullopt,
         "",
         {{"一区", "二区"}, {"1", "2", "3"}},
         {{0, 30}, {4, 100}, {5, 170}}},
        {"窗口",
         "20",
         "10",
         true,
         std::nullopt,
         "after remind 2",
         {{}, {"A", "B"}},
         {{0, 600}, {1, 1500}}},
        {"长",
         "90",
         "0",
         true,
         std::vector<int>{30, 2},
         "",
         {{"一区"}, {"1", "2"}},
         {{0, 1200}, {1, 4000}}},
        {"定时",
         "0",
         "0",
         true,
         std::nullopt,
         "at 10:20 11:05:30 remind 3",
         {{}, {"1", "2"}},
         {{0, 60}}},
        {"静", "25", "5", false, std::nullopt, "", {{}, {"1", "2"}}, {{0, 100}}},
    };
    return list;
}

// Two identical tables and boards, one passed as the program passes it, the other made to
// read every line every pass (each line is marked again before each pass, as an edit would).
struct TwinRig {
    struct Side {
        Side() { pass.setKillLog(&log); }
        BossTable table;
        LineBoard board;
        RecordingAlarm alarm;
        RecordingLog log;
        LinePass pass{table, board, alarm};
        long long warn = 5;
        std::vector<int> extra{10};
        std::vector<RowId> rows;
        // Undo: the state each line had before its last kill.
        std::vector<std::pair<LineId, LineState>> undo;
    };
    Side queued;
    Side everyLine;

    template <typename Action> void both(Action&& action) {
        action(queued);
        action(everyLine);
    }
    void fill(UtcSeconds start) {
        both([start](Side& side) {
            for (const Boss& boss : bosses()) {
                const int index = side.table.appendRow();
                const RowId id = side.table.rowId(index);
                side.table.setCellTexts(id, {{kNameColumn, boss.name},
                                             {kPeriodColumn, boss.period},
                                             {kDelayColumn, boss.delay}});
                side.table.setCheckState(index, boss.use);
                if (boss.own) {
                    side.table.setLeadMinutes(id, boss.own);
                }
                if (*boss.rule != '\0') {
                    side.table.setSpawnRule(id, *parseSpawnRule(boss.rule));
                }
                side.board.setLines(id, boss.lines);
                const std::vector<LineTimer> timers = side.board.timers(id);
                for (const auto& [at, ago] : boss.killedAgo) {
                    side.board.kill(id, timers[at].id, start - ago);
                }
                side.rows.push_back(id);
            }
        });
    }
    void passAt(UtcSeconds now) {
        for (const RowId row : everyLine.rows) {
            for (const LineTimer& timer : everyLine.board.timers(row)) {
                everyLine.board.setMarks(row, timer.id, timer.state.upSince, timer.state.missedAt);
            }
        }
        both([now](Side& side) { side.pass.afterPass(now, side.warn, side.extra); });
    }
};

TEST(LineWakes, SoundsCountsAndShowsWhatAPassOverEveryLineDoes) {
    enum class Event {
        Kill,
        Undo,
        Clear,
        Missed,
        Lines,
        Rule,
        OwnLeads,
        Warn,
        Extra,
        Uncheck,
        ClockJump,
        Zone,
    };
    struct At {
        int second;
        Event event;
        std::size_t boss = 0; // index into bosses()
        std::size_t line = 0; // timer index
        std::int64_t by = 0;  // ClockJump: seconds; Warn: minutes
    };
    struct Case {
        const char* name;
        std::vector<At> events;
    };
    const std::vector<Case> cases{
        {"untouched", {}},
        {"kills, an undo, a cleared and a marked line",
         {{400, Event::Kill, 0, 1},
          {401, Event::Kill, 2, 1},
          {700, Event::Undo, 2, 1},
          {900, Event::Clear, 0, 0},
          {1300, Event::Missed, 1, 0},
          {2500, Event::Kill, 1, 1}}},
        {"lines, a rule and own lead times edited",
         {{200, Event::Lines, 0},
          {600, Event::Rule, 1},
          {1000, Event::OwnLeads, 0},
          {1800, Event::Uncheck, 2}}},
        {"warning minutes and lead times changed mid-cycle",
         {{300, Event::Warn, 0, 0, 12}, {1100, Event::Extra}, {1900, Event::Warn, 0, 0, 1}}},
        {"clock set back and forward",
         {{600, Event::ClockJump, 0, 0, -900},
          {1400, Event::ClockJump, 0, 0, 3 * 3600},
          {1500, Event::ClockJump, 0, 0, -30}}},
        {"the computer's zone changes", {{300, Event::Zone}, {2000, Event::Kill, 0, 2}}},
    };
    const ScopedTimeZone berlin("Europe/Berlin");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<ScopedTimeZone> zone;
        TwinRig rig;
        const UtcSeconds start = parseUtcText("2026-12-07T09:00:00Z").value();
        rig.fill(start);
        std::int64_t shift = 0;
        std::size_t event = 0;
        for (int second = 0; second <= 3600; ++second) {
            const UtcSeconds now = start + second + shift;
            for (; event < c.events.size() && c.events[event].second == second; ++event) {
                const At& at = c.events[event];
                const auto lineOf = [&](TwinRig::Side& side) {
                    return side.board.timers(side.rows[at.boss])[at.line].id;
                };
                switch (at.event) {
                case Event::Kill:
                    rig.both([&](TwinRig::Side& side) {
                        const LineId line = lineOf(side);
                        side.undo.emplace_back(line,
                                               *side.board.kill(side.rows[at.boss], line, now));
                    });
                    break;
                case Event::Undo:
                    rig.both([&](TwinRig::Side& side) {
                        ASSERT_FALSE(side.undo.empty());
                        side.board.restore(side.rows[at.boss], side.undo.back().first,
                                           side.undo.back().second);
                        side.undo.pop_back();
                    });
                    break;
                case Event::Clear:
                    rig.both([&](TwinRig::Side& side) {
                        side.board.clear(side.rows[at.boss], lineOf(side));
                    });
                    break;
                case Event::Missed:
                    rig.both([&](TwinRig::Side& side) {
                        const LineId line = lineOf(side);
                        side.board.setMarks(
                            side.rows[at.boss], line,
                            side.board.timer(side.rows[at.boss], line)->state.upSince, now);
                    });
                    break;
                case Event::Lines:
                    rig.both([&](TwinRig::Side& side) {
                        // Line 2 goes, line 4 comes, on a third server too.
                        side.board.setLines(side.rows[at.boss],
                                            {{"一区", "二区", "三区"}, {"1", "3", "4"}});
                    });
                    break;
                case Event::Rule:
                    rig.both([&](TwinRig::Side& side) {
                        side.table.setSpawnRule(side.rows[at.boss], *parseSpawnRule("after"));
                    });
                    break;
                case Event::OwnLeads:
                    rig.both([&](TwinRig::Side& side) {
                        side.table.setLeadMinutes(side.rows[at.boss], std::vector<int>{2, 1});
                    });
                    break;
                case Event::Warn:
                    rig.both([&](TwinRig::Side& side) { side.warn = at.by; });
                    break;
                case Event::Extra:
                    rig.both([&](TwinRig::Side& side) { side.extra = {25, 3}; });
                    break;
                case Event::Uncheck:
                    rig.both([&](TwinRig::Side& side) {
                        side.table.setCheckState(side.table.rowIndex(side.rows[at.boss]), false);
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
            for (std::size_t b = 0; b < rig.queued.rows.size(); ++b) {
                const std::vector<LineTimer> queued = rig.queued.board.timers(rig.queued.rows[b]);
                const std::vector<LineTimer> every =
                    rig.everyLine.board.timers(rig.everyLine.rows[b]);
                ASSERT_EQ(queued.size(), every.size());
                for (std::size_t i = 0; i < queued.size(); ++i) {
                    ASSERT_EQ(describe(queued[i]), describe(every[i])) << "second " << second;
                }
            }
            ASSERT_EQ(rig.queued.alarm.alerts.size(), rig.everyLine.alarm.alerts.size())
                << "second " << second;
        }
        std::vector<std::string> queuedAlerts;
        std::vector<std::string> everyAlerts;
        for (const Alert& a : rig.queued.alarm.alerts) {
            queuedAlerts.push_back(alertText(a));
        }
        for (const Alert& a : rig.everyLine.alarm.alerts) {
            everyAlerts.push_back(alertText(a));
        }
        EXPECT_EQ(queuedAlerts, everyAlerts);
        EXPECT_FALSE(queuedAlerts.empty());
        std::vector<std::string> queuedKills;
        std::vector<std::string> everyKills;
        for (const KillRecord& k : rig.queued.log.kills) {
            queuedKills.push_back(killText(k));
        }
        for (const KillRecord& k : rig.everyLine.log.kills) {
            everyKills.push_back(killText(k));
        }
        EXPECT_EQ(queuedKills, everyKills);
    }
}

TEST(LineWakes, APassReadsOnlyTheLinesWhoseMomentCameOrThatChanged) {
    BossTable table;
    LineBoard board;
    RecordingAlarm alarm;
    LinePass pass{table, board, alarm};
    const UtcSeconds start = 1'765'000'000;
    std::vector<RowId> rows;
    for (const char* name : {"黑龙", "青龙"}) {
        const int index = table.appendRow();
        const RowId id = table.rowId(index);
        table.setCellTexts(id, {{kNameColumn, name}, {kPeriodColumn, "60"}, {kDelayColumn, "0"}});
        table.setCheckState(index, true);
        board.setLines(id, {{"一区", "二区"}, *parseLineLabels("1-250")});
        rows.push_back(id);
    }
    constexpr std::size_t kLines = 2 * 2 * 250;
    // Killed together; every hundredth line of each boss a minute later.
    for (const RowId id : rows) {
        const std::vector<LineTimer> timers = board.timers(id);
        for (std::size_t i = 0; i < timers.size(); ++i) {
            board.kill(id, timers[i].id, i % 100 == 0 ? start - 540 : start - 600);
        }
    }
    const LineId one = board.timers(rows[1])[7].id;
    struct Step {
        const char* what;
        std::int64_t advance;
        std::function<void()> change;
        std::size_t reads;
    };
    UtcSeconds now = start;
    const std::vector<Step> steps{
        {"the first pass reads every line", 0, nullptr, kLines},
        {"a quiet second reads none", 1, nullptr, 0},
        {"a killed line is read alone", 1, [&] { board.kill(rows[1], one, now); }, 1},
        {"its next quiet second reads none", 1, nullptr, 0},
        {"the lines killed later reach their 50-minute lead time", 57, nullptr, 10},
        {"the line killed again reaches it", 542, nullptr, 1},
        {"lines reaching the warning minutes together are read together", 2098, nullptr,
         kLines - 10 - 1},
        {"and then left alone", 1, nullptr, 0},
        {"a boss's edited period reads its lines only", 1,
         [&] { table.setCellText(table.rowIndex(rows[0]), kPeriodColumn, "61"); }, kLines / 2},
        {"the clock set back reads every line", -5, nullptr, kLines},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        now += step.advance;
        if (step.change) {
            step.change();
        }
        pass.afterPass(now, 5, {50});
        EXPECT_EQ(pass.linesReadLastPass(), step.reads);
    }
}

// A line's window is warned of before it opens and as it opens, and a spawn nobody recorded
// on a line is reminded of, each naming the line, as a row's would be.
TEST(LineWakes, LinesWarnOfTheirWindowAndRemindOfAnUnrecordedSpawn) {
    BossTable table;
    LineBoard board;
    RecordingAlarm alarm;
    LinePass pass{table, board, alarm};
    const int index = table.appendRow();
    const RowId row = table.rowId(index);
    table.setCellTexts(row, {{kNameColumn, "青龙"}, {kPeriodColumn, "30"}, {kDelayColumn, "10"}});
    table.setCheckState(index, true);
    table.setSpawnRule(row, *parseSpawnRule("after remind 3"));
    board.setLines(row, {{"一区"}, {"1", "2"}});
    const LineId line = board.timers(row)[1].id;
    const UtcSeconds kill = 1'765'000'000;
    board.kill(row, line, kill);
    // Every second from the kill to past the reminder of the spawn at the window's end.
    for (UtcSeconds now = kill; now <= kill + 40 * 60 + 5 * 60; ++now) {
        pass.afterPass(now, 5, {});
    }
    const struct {
        AlertTopic topic;
        std::optional<int> lead;
        std::int64_t secondsLeft;
        std::int64_t about; // seconds after the kill
    } expected[] = {
        {AlertTopic::WindowOpening, 5, 5 * 60, 30 * 60},             // 5 minutes before it opens
        {AlertTopic::WindowOpening, std::nullopt, 10 * 60, 30 * 60}, // it opens
        {AlertTopic::Countdown, 5, 5 * 60, 40 * 60},                 // the warning minutes
        {AlertTopic::Countdown, std::nullopt, 0, 40 * 60},           // due: up
        {AlertTopic::Unrecorded, std::nullopt, -3 * 60, 40 * 60},    // nobody recorded it
    };
    ASSERT_EQ(alarm.alerts.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        const Alert& alert = alarm.alerts[i];
        EXPECT_EQ(alert.topic, expected[i].topic);
        EXPECT_EQ(alert.leadMinutes, expected[i].lead);
        EXPECT_EQ(alert.secondsLeft, expected[i].secondsLeft);
        EXPECT_EQ(alert.aboutUtc, kill + expected[i].about);
        EXPECT_EQ(alert.lineId, line);
        EXPECT_EQ(alertTitle(alert), "青龙 2线 @ 一区");
    }
    EXPECT_EQ(alarm.alerts.back().minutesAfter, 3);
    EXPECT_TRUE(alarm.alerts.back().chime);
}

} // namespace
