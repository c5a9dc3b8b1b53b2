// One tick pass over tables of 10, 100 and 1000 counting rows, a few of them due: rows
// loaded as texts (dated by their first pass) and rows recorded with their instants.

#include "schedule/bosstable.h"
#include "schedule/cycle.h"
#include "schedule/datetime.h"
#include "schedule/tick.h"
#include "tests/support/fakeclock.h"

#include <benchmark/benchmark.h>

#include <mutex>
#include <string>

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
    for (auto _ : state) {
        tick.onTick();
        // A second later on each pass, as in the running program.
        clock.advance(1);
    }
    state.counters["alarms"] = static_cast<double>(alarm.count);
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

} // namespace

BENCHMARK(tickPass)->Arg(10)->Arg(100)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(
    benchmark::kMicrosecond);
BENCHMARK(datedTickPass)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
