// Saving and loading the boss table file, and one tick's worth of countdowns.

#include "config/configfiles.h"
#include "schedule/timetext.h"
#include "tests/support/fakeclock.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <unistd.h>

using namespace zorvane;
using schedule::BossTable;

namespace {

void fill(BossTable& table, int rows) {
    for (int i = 0; i < rows; ++i) {
        const int row = table.appendRow();
        table.setCheckState(row, i % 3 == 0);
        table.setCellText(row, schedule::kNumberColumn, std::to_string(row));
        table.setCellText(row, schedule::kNameColumn, "首领" + std::to_string(row));
        table.setCellText(row, schedule::kPeriodColumn, std::to_string(30 + i % 120));
        table.setCellText(row, schedule::kDelayColumn, std::to_string(i % 7));
        table.setCellText(row, schedule::kLastTimeColumn, "23:10:00");
        table.setCellText(row, schedule::kNextTimeColumn, i % 2 ? "23:40:00" : "01:10:00");
    }
}

std::filesystem::path benchDir() {
    const auto dir =
        std::filesystem::temp_directory_path() / ("zorvane-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return dir;
}

void BM_SaveTable(benchmark::State& state) {
    BossTable table;
    fill(table, static_cast<int>(state.range(0)));
    const auto dir = benchDir();
    std::filesystem::remove(config::tableFilePath(dir));
    if (!config::saveTable(table, dir)) {
        state.SkipWithError("save failed");
        return;
    }
    for (auto _ : state) {
        if (!config::saveTable(table, dir)) {
            state.SkipWithError("save failed");
        }
    }
    std::filesystem::remove_all(dir);
}

void BM_LoadTable(benchmark::State& state) {
    BossTable source;
    fill(source, static_cast<int>(state.range(0)));
    const auto dir = benchDir();
    std::filesystem::remove(config::tableFilePath(dir));
    if (!config::saveTable(source, dir)) {
        state.SkipWithError("save failed");
        return;
    }
    for (auto _ : state) {
        BossTable table;
        config::loadTable(table, dir);
        benchmark::DoNotOptimize(table.rowCount());
    }
    std::filesystem::remove_all(dir);
}

void BM_RemainingSecondsSweep(benchmark::State& state) {
    BossTable table;
    fill(table, 1000);
    const testing::FakeClock clock(0, 30, 0);
    for (auto _ : state) {
        long long sum = 0;
        for (const schedule::BossRow& row : table.rows()) {
            sum += schedule::remainingSeconds(row.text[schedule::kLastTimeColumn],
                                              row.text[schedule::kNextTimeColumn], 30, 2, clock);
        }
        benchmark::DoNotOptimize(sum);
    }
}

} // namespace

// Growth from 1,000 to 100,000 rows shows whether loading and saving stay linear.
BENCHMARK(BM_SaveTable)
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadTable)
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RemainingSecondsSweep)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
