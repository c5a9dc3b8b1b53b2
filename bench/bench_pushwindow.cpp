// The window thread while 50 alerts fire at once and go to two push targets: the longest
// time the window's event loop is held up (a 1 ms timer on it measures the gaps), from the
// alerts leaving the tick's thread until a real local server has every post and the
// statuses are back in the window. The posts themselves run in zorvane-push.

#include "push/pushsettings.h"
#include "schedule/bosstable.h"
#include "schedule/clock.h"
#include "services/alertdispatch.h"
#include "services/preferences.h"
#include "services/pushlink.h"
#include "tests/net/localservers.h"
#include "tests/support/tempdir.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>

using namespace zorvane;

namespace {

constexpr int kAlerts = 50;
constexpr int kTargets = 2;

void windowThreadWithFiftyAlerts(benchmark::State& state) {
    testing::LocalHttpServer server;
    std::atomic<int> posts{0};
    server.server().Post(".*", [&posts](const httplib::Request&, httplib::Response& response) {
        ++posts;
        response.status = 200;
    });
    server.start();
    const testing::TempDir dir;
    push::PushSettings settings;
    for (const auto& [kind, path] : {std::pair{push::TargetKind::Ntfy, "/bench_topic"},
                                     std::pair{push::TargetKind::Json, "/hook"}}) {
        push::PushTarget target;
        target.id = push::newTargetId();
        target.kind = kind;
        target.url = server.base() + path;
        settings.targets.push_back(target);
    }
    if (!push::writePushSettings(dir.path() / "push.json", settings)) {
        state.SkipWithError("push.json cannot be written");
        return;
    }
    app::PushLink link(ZORVANE_PUSH_HELPER, dir.path() / "push.json");
    link.reload();
    link.flush();

    schedule::BossTable table;
    std::vector<schedule::RowId> rows;
    for (int i = 0; i < kAlerts; ++i) {
        const int row = table.appendRow();
        (void)table.setCellText(row, schedule::kNameColumn, "boss " + std::to_string(i));
        (void)table.setCellText(row, schedule::kPeriodColumn, "60");
        rows.push_back(table.rowId(row));
    }
    const schedule::SystemClock clock;
    app::Preferences preferences(QString::fromStdString((dir.path() / "p.ini").string()));
    app::AlertDispatch dispatch(preferences, nullptr);
    dispatch.setPush(&link, table, clock);

    // What every target has done with its alerts so far: posted, given up, dropped or left
    // to another relay. A round ends when each has done it with all of the round's alerts and
    // holds none waiting, as its status tells the window.
    const auto settled = [&link](int expected) {
        if (static_cast<int>(link.statuses().size()) != kTargets) {
            return false;
        }
        for (const auto& [id, status] : link.statuses()) {
            if (status.waiting != 0 ||
                status.delivered + status.failed + status.dropped + status.relayed < expected) {
                return false;
            }
        }
        return true;
    };
    std::int64_t longest = 0;
    int round = 0;
    int endedByStatuses = 0;
    for (auto _ : state) {
        ++round;
        const int expected = kAlerts * round;
        QElapsedTimer gap;
        QTimer probe;
        probe.setTimerType(Qt::PreciseTimer);
        probe.setInterval(1);
        QEventLoop loop;
        std::int64_t roundLongest = 0;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            roundLongest = std::max<std::int64_t>(roundLongest, gap.nsecsElapsed() / 1000);
            gap.restart();
            if (settled(expected)) {
                loop.quit();
            }
        });
        // ntfy takes ten posts at once, then one every 3 s: 50 alerts take some two minutes.
        QTimer::singleShot(300000, &loop, &QEventLoop::quit);
        gap.start();
        probe.start();
        std::thread tick([&] {
            for (int i = 0; i < kAlerts; ++i) {
                schedule::Alert alert;
                alert.rowId = rows[static_cast<std::size_t>(i)];
                alert.boss = "boss " + std::to_string(i);
                alert.leadMinutes = 5;
                // A new instant every round, so no alert is a repeat of one already posted.
                alert.secondsLeft = 300 + round * 3600;
                dispatch.alert(alert);
            }
        });
        loop.exec();
        tick.join();
        endedByStatuses += settled(expected) ? 1 : 0;
        // The timer's own millisecond is not a block.
        longest = std::max(longest, roundLongest - 1000);
    }
    state.counters["longest_block_us"] = static_cast<double>(longest);
    state.counters["posts"] = static_cast<double>(posts.load());
    // Rounds that ended because every target's status said all was done (not by the limit).
    state.counters["rounds_ended_by_statuses"] = endedByStatuses;
}

} // namespace

BENCHMARK(windowThreadWithFiftyAlerts)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
