// One tick pass over tables of 10, 100 and 1000 counting rows, a few of them due: rows
// loaded as texts (dated by their first pass) and rows recorded with their instants.

#include "schedule/bosstable.h"
#include "schedule/cycle.h"
#include "schedule/datetime.h"
#include "schedule/serverzone.h"
#include "schedule/spawnrule.h"
#include "schedule/tick.h"
#include "tests/support/fakeclock.h"

#include <benchmark/benchmark.h>

#include <mutex>
#include <string>
#include <vector>

using namespace zorvane::schedule;

namespace {

class FixedSettings final : public Settings {
public:
    std::string warnMinutesText() const override { return "5"; }
    std::string soundPathText() const override { return ""; }
};

class CountingAlarm final : public AlarmSink {
public:
    void alert(const Alert& alert) override { count += alert.chime ? 1 : 0; }
    long count = 0;
};

class MutexLock final : public TickLock {
public:
    void lock() override { m_mutex.lock(); }
    void unlock() override { m_mutex.unlock(); }

private:
    std::recursive_mutex m_mutex;
};

std::string clockText(int secondsOfDay) {
    return clockTimeText(makeDateTime(
        {2026, 12, 8, secondsOfDay / 3600, secondsOfDay / 60 % 60, secondsOfDay % 60}));
}

void tickPass(benchmark::State& state) {
    const int rows = static_cast<int>(state.range(0));
    BossTable table;
    for (int i = 0; i < rows; ++i) {
        const int row = table.appendRow();
        table.setCheckState(row, i % 2 == 0);
        const int next = 10 * 3600 + 20 * 60 + 1 + (i * 37) % 3600;
        table.setCellTexts(table.rowId(row), {{kNumberColumn, std::to_string(row)},
                                              {kNameColumn, "BOSS"},
                                              {kPeriodColumn, "60"},
                                              {kDelayColumn, i % 5 == 0 ? "2" : "0"},
                                              {kLastTimeColumn, clockText(next - 3600)},
                                              {kNextTimeColumn, clockText(next)}});
    }
    zorvane::testing::FakeClock clock(10, 20, 0);
    FixedSettings settings;
    CountingAlarm alarm;
    MutexLock lock;
    Tick tick(table, clock, settings, alarm, lock);
    // The first pass reads every row's last time once; the figure is the pass the
    // running program makes every second after that.
    tick.onTick();
    clock.advance(1);
    std::size_t rowsRead = 0;
    for (auto _ : state) {
        tick.onTick();
        rowsRead += tick.rowsReadLastPass();
        // A second later on each pass, as in the running program.
        clock.advance(1);
    }
    state.counters["alarms"] = static_cast<double>(alarm.count);
    // The pass's time over this is its cost per row read: flat while the work is linear.
    state.counters["rowsReadPerPass"] =
        static_cast<double>(rowsRead) / static_cast<double>(state.iterations());
}

// Daily, weekly and 90-minute bosses killed at spread instants; one row in 60 is due on
// every pass, so roll-overs (with their kill-log calls) are part of the figure.
void datedTickPass(benchmark::State& state) {
    const int rows = static_cast<int>(state.range(0));
    BossTable table;
    zorvane::testing::FakeClock clock(10, 20, 0);
    const UtcSeconds start = clock.instant();
    const int periods[] = {90, 1440, 10080};
    for (int i = 0; i < rows; ++i) {
        const int row = table.appendRow();
        table.setCheckState(row, i % 2 == 0);
        const int period = periods[i % 3];
        // Due within the next hour, one row a minute apart.
        const UtcSeconds killed = start - period * 60LL + 60LL * (i % 60) + 1;
        table.setDatedCellTextsIf(table.rowId(row), {},
                                  {{kNumberColumn, std::to_string(row)},
                                   {kNameColumn, "BOSS"},
                                   {kPeriodColumn, std::to_string(period)},
                                   {kDelayColumn, i % 5 == 0 ? "2" : ""},
                                   {kLastTimeColumn, clockTimeText(toLocal(killed))},
                                   {kNextTimeColumn, nextTimeText(killed, period)}},
                                  killed);
    }
    FixedSettings settings;
    CountingAlarm alarm;
    MutexLock lock;
    class CountingKillLog final : public KillLog {
    public:
        void recordKill(const KillRecord&) override { ++count; }
        long count = 0;
    } log;
    Tick tick(table, clock, settings, alarm, lock);
    tick.setKillLog(&log);
    tick.onTick();
    clock.advance(1);
    for (auto _ : state) {
        tick.onTick();
        clock.advance(1);
    }
    state.counters["alarms"] = static_cast<double>(alarm.count);
    state.counters["rollOvers"] = static_cast<double>(log.count);
}

// 2,400 rows under mixed rules, as a large guild's table might hold: windows after a
// kill, plain cycles, 12:00 and 20:00 Beijing time, Saturday 21:00 in Berlin and noon at
// UTC+09:00. "nextTextsWritten" counts the rows whose next time a pass rewrote: only rows
// whose spawn or cycle moved get a new text.
void spawnRulesTickPass(benchmark::State& state) {
    const int rows = static_cast<int>(state.range(0));
    BossTable table;
    zorvane::testing::FakeClock clock(10, 20, 0);
    const UtcSeconds start = clock.instant();
    SpawnRule beijing = *parseSpawnRule("at 12:00 20:00");
    beijing.zone = *ServerZone::fromText("Asia/Shanghai");
    SpawnRule saturday = *parseSpawnRule("at 21:00 on 6");
    saturday.zone = *ServerZone::fromText("Europe/Berlin");
    SpawnRule tokyo = *parseSpawnRule("at 12:00 restart kill");
    tokyo.zone = *ServerZone::fromText("UTC+09:00");
    const SpawnRule* const fixed[] = {&beijing, &saturday, &tokyo};
    for (int i = 0; i < rows; ++i) {
        const int row = table.appendRow();
        const RowId id = table.rowId(row);
        table.setCheckState(row, i % 2 == 0);
        const int period = i % 2 == 0 ? 90 : 1440;
        const UtcSeconds killed = start - period * 60LL + 60LL * (i % 60) + 1;
        table.setDatedCellTextsIf(id, {},
                                  {{kNumberColumn, std::to_string(row)},
                                   {kNameColumn, "BOSS"},
                                   {kPeriodColumn, std::to_string(period)},
                                   {kDelayColumn, i % 3 == 1 ? "30" : ""},
                                   {kLastTimeColumn, clockTimeText(toLocal(killed))},
                                   {kNextTimeColumn, nextTimeText(killed, period)}},
                                  killed);
        if (i % 3 == 2) {
            table.setSpawnRule(id, *fixed[(i / 3) % 3]);
        }
    }
    FixedSettings settings;
    CountingAlarm alarm;
    MutexLock lock;
    Tick tick(table, clock, settings, alarm, lock);
    tick.onTick();
    clock.advance(1);
    for (auto _ : state) {
        tick.onTick();
        clock.advance(1);
    }
    // One more pass, its next times compared with those before it.
    std::vector<std::string> before;
    for (const BossRow& row : table.rows()) {
        before.push_back(row.text[kNextTimeColumn]);
    }
    tick.onTick();
    int written = 0;
    const std::vector<BossRow> after = table.rows();
    for (std::size_t i = 0; i < after.size(); ++i) {
        written += after[i].text[kNextTimeColumn] != before[i] ? 1 : 0;
    }
    state.counters["alarms"] = static_cast<double>(alarm.count);
    state.counters["nextTextsWritten"] = written;
}

} // namespace

BENCHMARK(spawnRulesTickPass)->Arg(2400)->Unit(benchmark::kMicrosecond);
// Each pass moves the clock on a second, and what a pass reads depends on where the clock
// stands in the rows' cycles (the first hour reads more than the later ones): every size runs
// the same simulated hour, or a larger table, given fewer passes, would be timed on a costlier
// stretch of the clock and look superlinear.
constexpr int kPassesPerRun = 3600;
BENCHMARK(tickPass)
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Iterations(kPassesPerRun)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(datedTickPass)
    ->Arg(1000)
    ->Arg(100000)
    ->Iterations(kPassesPerRun)
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
