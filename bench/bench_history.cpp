// The kill history: what recording a kill costs the thread that records it, what a
// stored kill costs in all, and the queries the history window runs for a boss with
// 100,000 recorded kills.

#include "history/killhistory.h"
#include "schedule/bosstable.h"
#include "schedule/tableops.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <unistd.h>

using namespace zorvane;
namespace fs = std::filesystem;

namespace {

// A database in a fresh directory under the system's temporary directory.
class BenchDir {
public:
    explicit BenchDir(const std::string& name)
        : m_path(fs::temp_directory_path() /
                 ("zorvane-bench-" + name + "-" + std::to_string(::getpid()))) {
        fs::remove_all(m_path);
        fs::create_directories(m_path);
    }
    ~BenchDir() {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    fs::path file() const { return m_path / "history.sqlite"; }

private:
    fs::path m_path;
};

class FixedClock final : public schedule::Clock {
public:
    schedule::UtcSeconds instant() const override {
        return schedule::toUtc(schedule::makeDateTime({2026, 12, 8, 21, 5, 9}));
    }
};

// The table's own file is measured in bench_config; here only the kill itself counts.
class NoStore final : public schedule::TableStore {
public:
    void saveTable(const schedule::BossTable&) override {}
    void rewriteTable(const schedule::BossTable&) override {}
};

schedule::KillRecord killAt(std::int64_t utc) {
    return {"深渊领主", utc, 60, 5, schedule::KillSource::DoubleClick, ""};
}

// The double click's table update plus the hand-over to the history, as the window
// thread does it.
void recordKill(benchmark::State& state) {
    BenchDir dir("record");
    history::SqliteKillLog log(dir.file());
    schedule::BossTable table;
    FixedClock clock;
    NoStore store;
    schedule::onAddClicked(table, clock);
    std::int64_t utc = 1'800'000'000;
    for (auto _ : state) {
        if (!schedule::onGridDoubleClick(table, 1, schedule::kLastTimeColumn, clock, store)) {
            state.SkipWithError("no kill recorded");
            break;
        }
        log.recordKill(killAt(++utc));
    }
    log.flush();
    state.counters["stored"] = static_cast<double>(log.recordCount("深渊领主"));
}
BENCHMARK(recordKill);

// One kill recorded and committed to the database before returning.
void recordKillStored(benchmark::State& state) {
    BenchDir dir("stored");
    history::SqliteKillLog log(dir.file());
    std::int64_t utc = 1'800'000'000;
    for (auto _ : state) {
        log.recordKill(killAt(++utc));
        log.flush();
    }
}
BENCHMARK(recordKillStored)->Unit(benchmark::kMicrosecond);

// What the history window asks when it opens for a boss with 100,000 kills among
// 200,000 records.
void historyWindowQueries(benchmark::State& state) {
    BenchDir dir("queries");
    history::SqliteKillLog log(dir.file());
    std::int64_t utc = 1'700'000'000;
    for (int i = 0; i < 100'000; ++i) {
        utc += 3600 + (i * 7919) % 600;
        log.recordKill(killAt(utc));
        log.recordKill({"冰霜巨龙", utc + 17, 30, 0, schedule::KillSource::RollOver, ""});
    }
    log.flush();
    for (auto _ : state) {
        benchmark::DoNotOptimize(log.recordCount("深渊领主"));
        benchmark::DoNotOptimize(log.killIntervals("深渊领主"));
        benchmark::DoNotOptimize(log.recentKills("深渊领主", 200));
    }
}
BENCHMARK(historyWindowQueries)->Unit(benchmark::kMillisecond);

// Opening a database of 200,000 records (the integrity check runs at every start).
void openLargeDatabase(benchmark::State& state) {
    BenchDir dir("open");
    {
        history::SqliteKillLog log(dir.file());
        for (int i = 0; i < 200'000; ++i) {
            log.recordKill(killAt(1'700'000'000 + std::int64_t{3600} * i));
        }
    }
    for (auto _ : state) {
        history::SqliteKillLog log(dir.file());
        benchmark::DoNotOptimize(log.isOpen());
    }
}
BENCHMARK(openLargeDatabase)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
