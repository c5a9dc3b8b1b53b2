// The grid over 8 bosses with lines on 5 servers, 60 lines each (2,400 timers): loading
// config.ini and lines.json into the grid until it has painted, a kill on a line from the
// double click until the grid has painted it, and the filter finding lines, painted. One
// frame at 60 Hz is 16.7 ms.

#include "schedule/linepass.h"
#include "services/configwriter.h"
#include "services/killpath.h"
#include "services/linebook.h"
#include "services/session.h"
#include "tests/support/fakeclock.h"
#include "widgets/bossgrid.h"
#include "widgets/gridcontroller.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <memory>
#include <string>

using namespace zorvane;

namespace {

class NoAlarm final : public schedule::AlarmSink {
public:
    void alert(const schedule::Alert&) override {}
};

class NoMessages final : public schedule::MessageSink {
public:
    void showMessage(const text::Message&) override {}
};

constexpr const char* kServers[] = {"一区", "二区", "三区", "四区", "五区"};
constexpr const char* kBosses[] = {"黑龙", "赤炎魔王", "冰霜巨龙", "雷霆之主",
                                   "影魔", "石像鬼",   "深渊领主", "海妖"};

zorvane::testing::FakeClock& clock() {
    static auto* made = new zorvane::testing::FakeClock(10, 0, 0);
    return *made;
}

// config.ini and lines.json of the 8 bosses, half their lines killed over the last two hours.
const QTemporaryDir& files() {
    static QTemporaryDir* made = [] {
        auto* dir = new QTemporaryDir;
        app::Session session(app::SessionSetup{clock(), dir->path().toStdString()});
        session.finishLoad();
        std::vector<schedule::BossRow> rows;
        for (const char* boss : kBosses) {
            schedule::BossRow row;
            row.use = true;
            row.text[schedule::kNameColumn] = boss;
            row.text[schedule::kPeriodColumn] = "120";
            rows.push_back(std::move(row));
        }
        session.table().appendRows(std::move(rows));
        const std::optional<std::vector<std::string>> labels = schedule::parseLineLabels("1-60");
        const schedule::UtcSeconds now = clock().instant();
        int n = 0;
        for (const schedule::BossRow& row : session.table().rows()) {
            QString error;
            session.lines().setLines(
                row.id,
                schedule::BossLines{
                    std::vector<std::string>(std::begin(kServers), std::end(kServers)), *labels},
                error);
            for (const schedule::LineTimer& timer : session.lines().board().timers(row.id)) {
                if (++n % 2 == 0) {
                    session.lines().board().kill(row.id, timer.id, now - (n * 53) % 7200);
                }
            }
        }
        session.lines().save();
        session.lines().flush();
        session.writer().saveTable(session.table());
        session.writer().flush();
        return dir;
    }();
    return *made;
}

// The window's grid over a session that read the files: the controller, its view and the
// lines counted once by the line pass.
struct Window {
    app::Session session{app::SessionSetup{clock(), files().path().toStdString()}};
    app::BossGrid view;
    QLineEdit warnMinutes{QStringLiteral("5")};
    NoMessages messages;
    NoAlarm alarm;
    std::unique_ptr<app::GridController> controller;

    Window() {
        session.finishLoad();
        schedule::LinePass(session.table(), session.lines().board(), alarm)
            .afterPass(clock().instant(), 5, {});
        controller =
            std::make_unique<app::GridController>(session.table(), view, clock(), session.kills(),
                                                  session.writer(), messages, warnMinutes);
        controller->setupColumns();
        controller->setLines(&session.lines());
        controller->setSortState(app::GridProxy::SortState::Ascending);
        view.resize(792, 440);
        view.show();
        view.viewport()->repaint();
    }
};

// From reading config.ini and lines.json to the grid painted, sorted by time left.
void loadAndPaint(benchmark::State& state) {
    files();
    for (auto _ : state) {
        Window window;
        benchmark::DoNotOptimize(window.view.model()->rowCount());
    }
}
BENCHMARK(loadAndPaint)->Unit(benchmark::kMillisecond);

Window& window() {
    static Window* made = [] {
        auto* w = new Window;
        w->controller->rows().setExpanded(QString::fromUtf8(kBosses[0]), true);
        w->view.viewport()->repaint();
        return w;
    }();
    return *made;
}

// A double click on a line row until the grid has painted the kill (and its new order).
void killOnALine(benchmark::State& state) {
    Window& w = window();
    const QAbstractItemModel& rows = *w.view.model();
    for (auto _ : state) {
        // The killed line moves down its boss's lines: find the first line on screen again.
        state.PauseTiming();
        QModelIndex line;
        for (int row = 0; row < rows.rowCount() && !line.isValid(); ++row) {
            const QModelIndex at = rows.index(row, schedule::kCountdownColumn);
            if (at.data(app::GroupedRows::NodeKindRole).toInt() ==
                static_cast<int>(app::GroupedRows::NodeKind::Line)) {
                line = at;
            }
        }
        w.view.scrollTo(line);
        w.view.viewport()->repaint();
        state.ResumeTiming();
        QTest::mouseDClick(w.view.viewport(), Qt::LeftButton, {}, w.view.visualRect(line).center());
        w.view.viewport()->repaint();
    }
    if (w.controller->undoStack().count() == 0) {
        state.SkipWithError("no kill was recorded");
    }
}
BENCHMARK(killOnALine)->Unit(benchmark::kMillisecond);

// Typing a line and a server (10 lines of 2,400) and clearing it again, each painted.
void filterALine(benchmark::State& state) {
    Window& w = window();
    for (auto _ : state) {
        w.controller->setFilter(QStringLiteral("3线 二区"));
        w.view.viewport()->repaint();
        w.controller->setFilter(QString());
        w.view.viewport()->repaint();
    }
    state.counters["answers"] =
        benchmark::Counter(2.0 * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(filterALine)->Unit(benchmark::kMillisecond);

// A state word over every line, matched again as on each countdown pass.
void stateWordOnAPass(benchmark::State& state) {
    Window& w = window();
    w.controller->setFilter(QStringLiteral("<10m"));
    for (auto _ : state) {
        w.controller->rows().recheckTimes();
        w.view.viewport()->repaint();
    }
    w.controller->setFilter(QString());
}
BENCHMARK(stateWordOnAPass)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
