// Opening the history window, widgets included, for a boss with 100,000 recorded kills.

#include "history/killhistory.h"
#include "widgets/historydialog.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

using namespace zorvane;
namespace fs = std::filesystem;

namespace {

void openHistoryDialog(benchmark::State& state) {
    const fs::path dir =
        fs::temp_directory_path() / ("zorvane-bench-dialog-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    {
        history::SqliteKillLog log(dir / "history.sqlite");
        std::int64_t utc = 1'700'000'000;
        for (int i = 0; i < 100'000; ++i) {
            utc += 3600 + (i * 7919) % 600;
            log.recordKill({"深渊领主", utc, 60, 5, schedule::KillSource::DoubleClick, ""});
        }
        log.flush();
        for (auto _ : state) {
            app::HistoryDialog dialog(log, {"深渊领主", 60, 5});
            benchmark::DoNotOptimize(dialog.killTable());
        }
    }
    fs::remove_all(dir);
}
BENCHMARK(openHistoryDialog)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
