// One tick pass over tables of 10 to 100,000 counting rows, a few of them due.

#include "schedule/bosstable.h"
#include "schedule/datetime.h"
#include "schedule/tick.h"

#include <benchmark/benchmark.h>

#include <mutex>
#include <string>

using namespace zorvane::schedule;

namespace {

class SteppingClock final : public Clock {
public:
    DateTime now() const override { return time; }
    DateTime time = makeDateTime({2026, 12, 8, 10, 20, 0});
};

class FixedSettings final : public Settings {
public:
    std::string warnMinutesText() const override { return "5"; }
    std::string soundPathText() const override { return ""; }
};

class CountingAlarm final : public AlarmSink {
public:
    void soundAlarm() override { ++count; }
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
    SteppingClock clock;
    FixedSettings settings;
    CountingAlarm alarm;
    MutexLock lock;
    Tick tick(table, clock, settings, alarm, lock);
    for (auto _ : state) {
        tick.onTick();
        // A second later on each pass, as in the running program.
        clock.time += 1.0 / 86400.0;
    }
    state.counters["alarms"] = static_cast<double>(alarm.count);
}

} // namespace

BENCHMARK(tickPass)
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
