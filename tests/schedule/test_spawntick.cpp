// The tick over rows with spawn rules: fixed clock times of a server in another zone count
// down, warn, sound and move on without a kill; a window's end leaves the boss up beside
// the next cycle until a kill or a mark.

#include "schedule/bosstable.h"
#include "schedule/cycle.h"
#include "schedule/datetime.h"
#include "schedule/rowstatus.h"
#include "schedule/spawnrule.h"
#include "schedule/tableops.h"
#include "schedule/tick.h"
#include "tests/schedule/tickfakes.h"

#include "tests/support/timezone.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

using namespace zorvane::schedule;
using zorvane::testing::CountingLock;
using zorvane::testing::FakeSettings;
using zorvane::testing::RecordingAlarm;

namespace {

// A clock set by instants.
class InstantClock final : public Clock {
public:
    UtcSeconds instant() const override { return reading; }
    UtcSeconds reading = 0;
};

UtcSeconds at(const char* text) {
    return parseUtcText(text).value();
}

struct Rig {
    Rig() { tick = std::make_unique<Tick>(table, clock, settings, alarm, lock); }
    void passAt(const char* when) {
        clock.reading = at(when);
        tick->onTick();
    }
    BossRow row(RowId id) const { return table.row(id).value(); }

    BossTable table;
    InstantClock clock;
    FakeSettings settings;
    RecordingAlarm alarm;
    CountingLock lock;
    std::unique_ptr<Tick> tick;
};

struct Step {
    const char* when;
    const char* countdown;
    const char* next;
    SpawnPhase phase;
    const char* upSince; // "" when not up
    int alerts;          // alerts so far
};

TEST(SpawnTick, BeijingTimesWatchedFromBerlinCountWarnAndMoveOnWithoutAKill) {
    const zorvane::testing::ScopedTimeZone berlin("Europe/Berlin");
    Rig rig;
    const RowId id = rig.table.rowId(rig.table.appendRow());
    rig.table.setCheckState(1, true);
    rig.table.setCellTexts(id, {{kNameColumn, "世界BOSS"}});
    SpawnRule rule = *parseSpawnRule("at 12:00 20:00");
    rule.zone = *ServerZone::fromText("Asia/Shanghai");
    rig.table.setSpawnRule(id, rule);
    // clang-format off
    const Step steps[] = {
        // 11:54 in Beijing, 04:54 in Berlin: nobody killed last night's 20:00 boss.
        {"2026-12-09T03:54:00Z", "00时06分00秒", "05:00:00", SpawnPhase::Up, "2026-12-08T12:00:00Z", 0},
        {"2026-12-09T03:55:00Z", "00时05分00秒", "05:00:00", SpawnPhase::Up, "2026-12-08T12:00:00Z", 1},
        {"2026-12-09T03:59:59Z", "00时00分01秒", "05:00:00", SpawnPhase::Up, "2026-12-08T12:00:00Z", 1},
        // Noon in Beijing: it sounds and counts to 20:00 (13:00 in Berlin).
        {"2026-12-09T04:00:01Z", "07时59分59秒", "13:00:00", SpawnPhase::Up, "2026-12-09T04:00:00Z", 2},
        {"2026-12-09T04:00:02Z", "07时59分58秒", "13:00:00", SpawnPhase::Up, "2026-12-09T04:00:00Z", 2},
    };
    // clang-format on
    for (const Step& step : steps) {
        SCOPED_TRACE(step.when);
        rig.passAt(step.when);
        const BossRow row = rig.row(id);
        EXPECT_EQ(row.text[kCountdownColumn], step.countdown);
        EXPECT_EQ(row.text[kNextTimeColumn], step.next);
        ASSERT_TRUE(row.timing.spawnView);
        EXPECT_EQ(row.timing.spawnView->phase, step.phase);
        EXPECT_EQ(row.timing.spawnView->upSince ? utcText(*row.timing.spawnView->upSince) : "",
                  step.upSince);
        EXPECT_EQ(static_cast<int>(rig.alarm.alerts.size()), step.alerts);
    }
    ASSERT_EQ(rig.alarm.alerts.size(), 2u);
    EXPECT_EQ(rig.alarm.alerts[0].secondsLeft, 300);
    EXPECT_TRUE(rig.alarm.alerts[0].chime);
    EXPECT_EQ(rig.alarm.alerts[1].secondsLeft, -1);

    // A kill at 12:10 Beijing time takes the spawn; the count goes on to 20:00.
    rig.table.setDatedCellTextsIf(id, {}, {{kLastTimeColumn, "05:10:00"}},
                                  at("2026-12-09T04:10:00Z"));
    rig.passAt("2026-12-09T04:10:01Z");
    EXPECT_EQ(rig.row(id).timing.spawnView->phase, SpawnPhase::Waiting);
    EXPECT_EQ(rig.row(id).text[kLastTimeColumn], "05:10:00");
    EXPECT_EQ(rig.row(id).text[kCountdownColumn], "07时49分59秒");
}

TEST(SpawnTick, AWeeklyBossCountsDaysAndItsNextTimeIsWrittenOnce) {
    const zorvane::testing::ScopedTimeZone berlin("Europe/Berlin");
    Rig rig;
    const RowId id = rig.table.rowId(rig.table.appendRow());
    rig.table.setSpawnRule(id, *parseSpawnRule("at 21:00 on 6"));
    struct Listener final : BossTable::Listener {
        void rowsInserted(int, int) override {}
        void rowsRemoved(int, int) override {}
        void cellsChanged(int, int first, int last) override { note(first, last); }
        void headerChanged(int, int) override {}
        void cellBlockChanged(int, int, int first, int last) override { note(first, last); }
        void note(int first, int last) {
            if (first <= kNextTimeColumn && kNextTimeColumn <= last) {
                ++nextWrites;
            }
        }
        int nextWrites = 0;
    } listener;
    rig.table.setListener(&listener);
    // Wednesday 10:00 in Berlin; Saturday 21:00 is 3 days 11 hours away.
    rig.passAt("2026-12-09T09:00:00Z");
    EXPECT_EQ(rig.row(id).text[kCountdownColumn], "3天11时00分00秒");
    EXPECT_EQ(rig.row(id).text[kNextTimeColumn], "21:00:00");
    const std::string lastWritten = rig.row(id).text[kNextTimeColumn];
    rig.passAt("2026-12-09T09:00:01Z");
    rig.passAt("2026-12-09T09:00:02Z");
    // The next time is the same text: one pass wrote it, none since.
    EXPECT_EQ(listener.nextWrites, 1);
    rig.table.setListener(nullptr);
}

TEST(SpawnTick, AWindowsEndLeavesTheBossUpUntilAKillOrAMark) {
    const zorvane::testing::ScopedTimeZone berlin("Europe/Berlin");
    Rig rig;
    const RowId id = rig.table.rowId(rig.table.appendRow());
    const UtcSeconds kill = at("2026-12-09T08:00:00Z");
    rig.table.setDatedCellTextsIf(id, {},
                                  {{kPeriodColumn, "60"},
                                   {kDelayColumn, "30"},
                                   {kLastTimeColumn, "09:00:00"},
                                   {kNextTimeColumn, nextTimeText(kill, 60)}},
                                  kill);
    struct Case {
        const char* when;
        SpawnPhase phase;
        double fraction;
        const char* upSince;
    };
    const Case cases[] = {
        {"2026-12-09T08:30:00Z", SpawnPhase::Waiting, 0, ""},
        {"2026-12-09T09:15:00Z", SpawnPhase::WindowOpen, 0.5, ""},
        // The window ends at 09:30: the row rolls over and the boss is up since then.
        {"2026-12-09T09:30:00Z", SpawnPhase::Up, 0, "2026-12-09T09:30:00Z"},
        {"2026-12-09T10:00:00Z", SpawnPhase::Up, 0, "2026-12-09T09:30:00Z"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.when);
        rig.passAt(c.when);
        const SpawnView view = *rig.row(id).timing.spawnView;
        EXPECT_EQ(view.phase, c.phase);
        EXPECT_DOUBLE_EQ(view.fraction, c.fraction);
        EXPECT_EQ(view.upSince ? utcText(*view.upSince) : "", c.upSince);
    }
    EXPECT_EQ(rig.row(id).text[kLastTimeColumn], "10:30:00");
    // Killed by others: no kill time is invented, the last time stays.
    rig.table.setSpawnMarks(id, rig.row(id).timing.upSince, at("2026-12-09T10:05:00Z"));
    rig.passAt("2026-12-09T10:05:01Z");
    EXPECT_EQ(rig.row(id).timing.spawnView->phase, SpawnPhase::Waiting);
    EXPECT_EQ(rig.row(id).text[kLastTimeColumn], "10:30:00");
}

struct Heard {
    const char* when;
    AlertTopic topic;
    std::optional<int> lead;
    std::int64_t secondsLeft;
    bool chime;
    SpawnPhase phase;
    const char* about; // "" when the alert dates itself from the row
};

void expectHeard(const std::vector<Alert>& alerts, const std::vector<Heard>& heard) {
    ASSERT_EQ(alerts.size(), heard.size());
    for (std::size_t i = 0; i < heard.size(); ++i) {
        SCOPED_TRACE(heard[i].when);
        EXPECT_EQ(alerts[i].topic, heard[i].topic);
        EXPECT_EQ(alerts[i].leadMinutes, heard[i].lead);
        EXPECT_EQ(alerts[i].secondsLeft, heard[i].secondsLeft);
        EXPECT_EQ(alerts[i].chime, heard[i].chime);
        EXPECT_EQ(alerts[i].phase, heard[i].phase);
        EXPECT_EQ(alerts[i].aboutUtc ? utcText(*alerts[i].aboutUtc) : "", heard[i].about);
    }
}

// A window of 6:00 after a kill, 30 minutes wide: warned before it opens, as it opens,
// before its end and at it, then reminded once of a spawn nobody recorded.
TEST(SpawnAlerts, AWindowWarnsOpensEndsAndRemindsWithTheTrueTimeLeft) {
    const zorvane::testing::ScopedTimeZone berlin("Europe/Berlin");
    struct Row {
        const char* name;
        const char* rule;
        const char* killedAgain; // "" when nobody records the spawn
        std::vector<Heard> heard;
    };
    // clang-format off
    const Row rows[] = {
        {"黑龙", "after remind 3", "", {
            {"08:55:00", AlertTopic::WindowOpening, 5, 300, false, SpawnPhase::Waiting, "2026-12-09T09:00:00Z"},
            {"09:00:00", AlertTopic::WindowOpening, std::nullopt, 1800, false, SpawnPhase::WindowOpen, "2026-12-09T09:00:00Z"},
            {"09:25:00", AlertTopic::Countdown, 5, 300, true, SpawnPhase::WindowOpen, ""},
            {"09:30:00", AlertTopic::Countdown, std::nullopt, 0, false, SpawnPhase::Up, ""},
            {"09:33:00", AlertTopic::Unrecorded, std::nullopt, -180, true, SpawnPhase::Up, "2026-12-09T09:30:00Z"},
        }},
        // Killed a minute after the window's end: no reminder.
        {"赤兔", "after remind 3", "2026-12-09T09:31:00Z", {
            {"08:55:00", AlertTopic::WindowOpening, 5, 300, false, SpawnPhase::Waiting, "2026-12-09T09:00:00Z"},
            {"09:00:00", AlertTopic::WindowOpening, std::nullopt, 1800, false, SpawnPhase::WindowOpen, "2026-12-09T09:00:00Z"},
            {"09:25:00", AlertTopic::Countdown, 5, 300, true, SpawnPhase::WindowOpen, ""},
            {"09:30:00", AlertTopic::Countdown, std::nullopt, 0, false, SpawnPhase::Up, ""},
        }},
        // The rule without a reminder: the window's alerts only.
        {"白虎", "", "", {
            {"08:55:00", AlertTopic::WindowOpening, 5, 300, false, SpawnPhase::Waiting, "2026-12-09T09:00:00Z"},
            {"09:00:00", AlertTopic::WindowOpening, std::nullopt, 1800, false, SpawnPhase::WindowOpen, "2026-12-09T09:00:00Z"},
            {"09:25:00", AlertTopic::Countdown, 5, 300, true, SpawnPhase::WindowOpen, ""},
            {"09:30:00", AlertTopic::Countdown, std::nullopt, 0, false, SpawnPhase::Up, ""},
        }},
    };
    // clang-format on
    const char* passes[] = {"2026-12-09T08:54:00Z", "2026-12-09T08:55:00Z", "2026-12-09T08:59:59Z",
                            "2026-12-09T09:00:00Z", "2026-12-09T09:24:59Z", "2026-12-09T09:25:00Z",
                            "2026-12-09T09:30:00Z", "2026-12-09T09:31:30Z", "2026-12-09T09:32:59Z",
                            "2026-12-09T09:33:00Z", "2026-12-09T09:33:01Z", "2026-12-09T09:40:00Z"};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Rig rig;
        const RowId id = rig.table.rowId(rig.table.appendRow());
        rig.table.setCheckState(1, true);
        const UtcSeconds kill = at("2026-12-09T03:00:00Z");
        rig.table.setDatedCellTextsIf(id, {},
                                      {{kNameColumn, r.name},
                                       {kPeriodColumn, "360"},
                                       {kDelayColumn, "30"},
                                       {kLastTimeColumn, "04:00:00"},
                                       {kNextTimeColumn, nextTimeText(kill, 360)}},
                                      kill);
        rig.table.setSpawnRule(id, *parseSpawnRule(r.rule));
        for (const char* when : passes) {
            if (*r.killedAgain && at(when) > at(r.killedAgain) &&
                !rig.row(id).text[kLastTimeColumn].starts_with("10:31")) {
                rig.table.setDatedCellTextsIf(id, {}, {{kLastTimeColumn, "10:31:00"}},
                                              at(r.killedAgain));
            }
            rig.passAt(when);
        }
        expectHeard(rig.alarm.alerts, r.heard);
    }
}

// A fixed spawn at noon in Beijing: sounded as it comes, reminded of three minutes later;
// a program started later than that does not remind of it.
TEST(SpawnAlerts, AFixedSpawnNobodyRecordedIsRemindedOfOnce) {
    const zorvane::testing::ScopedTimeZone berlin("Europe/Berlin");
    struct Case {
        const char* first; // the first pass of the program
        std::vector<Heard> heard;
    };
    // clang-format off
    const Case cases[] = {
        {"2026-12-09T03:50:00Z", {
            {"04:00:01", AlertTopic::Countdown, std::nullopt, -1, false, SpawnPhase::Up, ""},
            {"04:03:00", AlertTopic::Unrecorded, std::nullopt, -180, true, SpawnPhase::Up, "2026-12-09T04:00:00Z"},
        }},
        {"2026-12-09T04:05:00Z", {}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.first);
        Rig rig;
        const RowId id = rig.table.rowId(rig.table.appendRow());
        rig.table.setCheckState(1, true);
        rig.table.setCellTexts(id, {{kNameColumn, "世界BOSS"}});
        SpawnRule rule = *parseSpawnRule("at 12:00 remind 3");
        rule.zone = *ServerZone::fromText("Asia/Shanghai");
        rig.table.setSpawnRule(id, rule);
        rig.passAt(c.first);
        for (const char* when :
             {"2026-12-09T04:00:01Z", "2026-12-09T04:02:59Z", "2026-12-09T04:03:00Z",
              "2026-12-09T04:03:30Z", "2026-12-09T04:05:01Z", "2026-12-09T04:10:00Z"}) {
            if (at(when) > at(c.first)) {
                rig.passAt(when);
            }
        }
        expectHeard(rig.alarm.alerts, c.heard);
    }
}

} // namespace

namespace {

// The listing without a tick: a fixed-times row lists its next spawn on the player's clock
// and whether the last one was taken.
TEST(SpawnStatus, FixedTimesRowsListTheirNextSpawnOnThePlayersClock) {
    const zorvane::testing::ScopedTimeZone berlin("Europe/Berlin");
    struct Case {
        const char* kill; // "" for none
        const char* now;
        const char* next;
        std::int64_t remaining;
        SpawnPhase phase;
    };
    const Case cases[] = {
        {"", "2026-12-09T05:00:00Z", "13:00:00", 25200, SpawnPhase::Up},
        {"2026-12-09T04:30:00Z", "2026-12-09T05:00:00Z", "13:00:00", 25200, SpawnPhase::Waiting},
        {"2026-12-09T04:30:00Z", "2026-12-09T12:00:00Z", "05:00:00", 57600, SpawnPhase::Up},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.kill) + " " + c.now);
        BossRow row;
        row.timing.spawn = *parseSpawnRule("at 12:00 20:00");
        row.timing.spawn.zone = *ServerZone::fromText("Asia/Shanghai");
        if (*c.kill) {
            row.timing.lastUtc = at(c.kill);
            row.text[kLastTimeColumn] = clockTimeText(toLocal(at(c.kill)));
        }
        const std::vector<RowStatus> statuses = rowStatuses({row}, at(c.now));
        ASSERT_EQ(statuses.size(), 1u);
        EXPECT_EQ(statuses[0].nextTime, c.next);
        EXPECT_EQ(statuses[0].remaining, c.remaining);
        EXPECT_EQ(statuses[0].spawn.phase, c.phase);
    }
}

} // namespace

namespace {

class CountingStore final : public TableStore {
public:
    void saveTable(const BossTable&) override { ++saves; }
    void rewriteTable(const BossTable&) override { ++saves; }
    int saves = 0;
};

class KeptKills final : public KillLog {
public:
    void recordKill(const KillRecord& record) override { records.push_back(record); }
    std::vector<KillRecord> records;
};

// A maintenance restart at 06:00 UTC re-anchors each row by its rule.
TEST(SpawnRestart, EveryRowStartsAgainAsItsRuleSays) {
    const zorvane::testing::ScopedTimeZone berlin("Europe/Berlin");
    const UtcSeconds restart = at("2026-12-09T06:00:00Z");
    const UtcSeconds killed = at("2026-12-09T01:00:00Z");
    struct Case {
        const char* rule;
        const char* zone;
        std::optional<const char*> lastKill; // afterwards
        SpawnPhase phase;                    // ten minutes after the restart
        std::int64_t secondsLeft;
    };
    const Case cases[] = {
        {"", "", "2026-12-09T01:00:00Z", SpawnPhase::Up, 0},
        {"after restart kill", "", "2026-12-09T06:00:00Z", SpawnPhase::Waiting, 3000},
        {"after restart spawn 30", "", "2026-12-09T05:30:00Z", SpawnPhase::Waiting, 1200},
        {"at 12:00 20:00 restart kill", "Asia/Shanghai", "2026-12-09T01:00:00Z",
         SpawnPhase::Waiting, 21000},
        {"at 12:00 20:00", "Asia/Shanghai", "2026-12-09T01:00:00Z", SpawnPhase::Up, 21000},
    };
    BossTable table;
    for (const Case& c : cases) {
        const RowId id = table.rowId(table.appendRow());
        table.setDatedCellTextsIf(id, {},
                                  {{kNameColumn, c.rule},
                                   {kPeriodColumn, "60"},
                                   {kLastTimeColumn, clockTimeText(toLocal(killed))},
                                   {kNextTimeColumn, nextTimeText(killed, 60)}},
                                  killed);
        SpawnRule rule = *parseSpawnRule(c.rule);
        rule.zone = *ServerZone::fromText(c.zone);
        table.setSpawnRule(id, rule);
    }
    CountingStore store;
    KeptKills kills;
    const std::vector<RowId> moved = restartServer(table, restart, store, &kills);
    EXPECT_EQ(moved.size(), 3u);
    EXPECT_EQ(store.saves, 1);
    // Only the restart counted as a kill goes into the history.
    ASSERT_EQ(kills.records.size(), 1u);
    EXPECT_EQ(kills.records[0].utcSeconds, restart);
    EXPECT_EQ(kills.records[0].source, KillSource::Restart);
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(cases[i].rule);
        const BossRow row = *table.row(table.rowId(i + 1));
        EXPECT_EQ(utcText(*row.timing.lastUtc), *cases[i].lastKill);
        EXPECT_EQ(row.text[kLastTimeColumn], clockTimeText(toLocal(*row.timing.lastUtc)));
        const SpawnView view = spawnView(row.timing.spawn, spawnFactsOf(row.timing), restart + 600);
        EXPECT_EQ(view.phase, cases[i].phase);
        EXPECT_EQ(view.secondsLeft, cases[i].secondsLeft);
    }
    // A restart that moves nothing saves nothing.
    BossTable plain;
    plain.appendRow();
    EXPECT_TRUE(restartServer(plain, restart, store, &kills).empty());
    EXPECT_EQ(store.saves, 1);
}

// A restart told by the room may come late or again: it moves only the rows it is given
// that nothing newer has moved since, and moves them once.
TEST(SpawnRestart, ARestartFromTheRoomLeavesRowsWithAnythingNewer) {
    const zorvane::testing::ScopedTimeZone berlin("Europe/Berlin");
    const UtcSeconds restart = at("2026-12-09T06:00:00Z");
    struct Case {
        const char* name;
        const char* rule;
        const char* kill;
        std::optional<const char*> upSince;
        bool taken; // offered to the restart at all
        const char* lastKillAfter;
    };
    const Case cases[] = {
        {"before", "after restart kill", "2026-12-09T01:00:00Z", std::nullopt, true,
         "2026-12-09T06:00:00Z"},
        {"killed since", "after restart kill", "2026-12-09T06:30:00Z", std::nullopt, true,
         "2026-12-09T06:30:00Z"},
        {"killed at it", "after restart kill", "2026-12-09T06:00:00Z", std::nullopt, true,
         "2026-12-09T06:00:00Z"},
        {"up since", "after restart kill", "2026-12-09T01:00:00Z", "2026-12-09T06:10:00Z", true,
         "2026-12-09T01:00:00Z"},
        {"up before", "after restart kill", "2026-12-09T01:00:00Z", "2026-12-09T05:00:00Z", true,
         "2026-12-09T06:00:00Z"},
        {"not shared", "after restart kill", "2026-12-09T01:00:00Z", std::nullopt, false,
         "2026-12-09T01:00:00Z"},
        {"spawn after", "after restart spawn 30", "2026-12-09T01:00:00Z", std::nullopt, true,
         "2026-12-09T05:30:00Z"},
    };
    BossTable table;
    for (const Case& c : cases) {
        const RowId id = table.rowId(table.appendRow());
        const UtcSeconds killed = at(c.kill);
        table.setDatedCellTextsIf(id, {},
                                  {{kNameColumn, c.name},
                                   {kPeriodColumn, "60"},
                                   {kLastTimeColumn, clockTimeText(toLocal(killed))},
                                   {kNextTimeColumn, nextTimeText(killed, 60)}},
                                  killed);
        table.setSpawnRule(id, *parseSpawnRule(c.rule));
        if (c.upSince) {
            table.setSpawnMarks(id, at(*c.upSince), std::nullopt);
        }
    }
    const auto takes = [&](const BossRow& row) {
        for (const Case& c : cases) {
            if (row.text[kNameColumn] == c.name) {
                return c.taken;
            }
        }
        return false;
    };
    CountingStore store;
    KeptKills kills;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        const std::vector<RowId> moved =
            restartServer(table, restart, store, &kills, RestartReach::NothingSince, takes);
        // The second time it is the same restart again: nothing moves, nothing is saved.
        EXPECT_EQ(moved.size(), round == 0 ? 3u : 0u);
        EXPECT_EQ(store.saves, 1);
        EXPECT_EQ(kills.records.size(), 2u);
        for (std::size_t i = 0; i < std::size(cases); ++i) {
            SCOPED_TRACE(cases[i].name);
            const BossRow row = *table.row(table.rowId(static_cast<int>(i) + 1));
            EXPECT_EQ(utcText(*row.timing.lastUtc), cases[i].lastKillAfter);
        }
    }
}

} // namespace
