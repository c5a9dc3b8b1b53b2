// The grid's filter at 2,400 rows (5 servers x 8 bosses x 60 lines, one row each, in three
// groups), counted and sorted by time left: typing a word into the filter until the grid
// on screen has painted the result, a state word followed on a countdown pass, and a fold.
// One frame at 60 Hz is 16.7 ms.

#include "models/bosstablemodel.h"
#include "models/gridproxy.h"
#include "models/groupedrows.h"
#include "schedule/bosstable.h"
#include "schedule/cycle.h"
#include "schedule/tick.h"
#include "tests/support/fakeclock.h"
#include "widgets/bossgrid.h"

#include <benchmark/benchmark.h>

#include <QApplication>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

using namespace zorvane;

namespace {

class FixedSettings final : public schedule::Settings {
public:
    std::string warnMinutesText() const override { return "5"; }
    std::string soundPathText() const override { return ""; }
};

class NoAlarm final : public schedule::AlarmSink {
public:
    void alert(const schedule::Alert&) override {}
};

class MutexLock final : public schedule::TickLock {
public:
    void lock() override { m_mutex.lock(); }
    void unlock() override { m_mutex.unlock(); }

private:
    std::recursive_mutex m_mutex;
};

constexpr const char* kServers[] = {"一区", "二区", "三区", "四区", "五区"};
constexpr const char* kBosses[] = {"黑龙", "赤炎魔王", "冰霜巨龙", "雷霆之主",
                                   "影魔", "石像鬼",   "深渊领主", "海妖"};
constexpr const char* kGroups[] = {"野外", "世界", "活动"};

// The table, counted once, under the grid as the window builds it.
struct Grid {
    schedule::BossTable table;
    zorvane::testing::FakeClock clock{10, 0, 0};
    FixedSettings settings;
    NoAlarm alarm;
    MutexLock lock;
    schedule::Tick tick{table, clock, settings, alarm, lock};
    app::BossTableModel model{table};
    app::GridProxy sorted;
    app::GroupedRows rows;
    app::BossGrid view;

    Grid() {
        QHash<QString, QString> groups;
        std::vector<schedule::BossRow> made;
        int n = 0;
        for (const char* server : kServers) {
            for (std::size_t b = 0; b < std::size(kBosses); ++b) {
                for (int line = 1; line <= 60; ++line, ++n) {
                    schedule::BossRow row;
                    row.use = true;
                    const std::string name =
                        std::string(kBosses[b]) + "-" + std::to_string(line) + "线@" + server;
                    row.text[schedule::kNumberColumn] = std::to_string(n + 1);
                    row.text[schedule::kNameColumn] = name;
                    row.text[schedule::kPeriodColumn] = "120";
                    made.push_back(std::move(row));
                    groups.insert(QString::fromStdString(name),
                                  QString::fromUtf8(kGroups[b % std::size(kGroups)]));
                }
            }
        }
        table.appendRows(std::move(made));
        const schedule::UtcSeconds now = clock.instant();
        for (int row = 1; row < table.rowCount(); ++row) {
            // Kills spread over the last two hours: every few rows one is near due.
            const schedule::UtcSeconds kill = now - (row * 53) % 7200;
            table.setDatedCellTextsIf(
                table.rowId(row), {},
                {{schedule::kLastTimeColumn, schedule::nextTimeText(kill, 0)},
                 {schedule::kNextTimeColumn, schedule::nextTimeText(kill, 120)}},
                kill);
        }
        tick.onTick();
        sorted.setSourceModel(&model);
        sorted.setSortState(app::GridProxy::SortState::Ascending);
        rows.setSourceModel(&sorted);
        rows.setGroups(groups);
        view.setModel(&rows);
        view.resize(792, 440);
        view.show();
        QApplication::processEvents();
    }

    // What the player sees: the grid painted with the filter's result.
    void filterAndPaint(const QString& text) {
        rows.setFilter(text);
        view.viewport()->repaint();
    }
};

Grid& grid() {
    static Grid* made = new Grid;
    return *made;
}

// Typing `word` and clearing it again, each painted: two answers per iteration.
void answer(benchmark::State& state, const QString& word) {
    Grid& g = grid();
    for (auto _ : state) {
        g.filterAndPaint(word);
        g.filterAndPaint(QString());
    }
    state.counters["answers"] =
        benchmark::Counter(2.0 * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// A boss's name: 300 rows of 2,400.
void filterByName(benchmark::State& state) {
    answer(state, QStringLiteral("黑龙"));
}
BENCHMARK(filterByName)->Unit(benchmark::kMillisecond);

// A line and a server: 8 rows.
void filterByLineAndServer(benchmark::State& state) {
    answer(state, QStringLiteral("-3线@二区"));
}
BENCHMARK(filterByLineAndServer)->Unit(benchmark::kMillisecond);

// A state word held while the countdowns move on: each countdown pass matches again.
void stateWordOnEveryPass(benchmark::State& state) {
    Grid& g = grid();
    g.filterAndPaint(QStringLiteral("10分钟内"));
    for (auto _ : state) {
        g.clock.advance(1);
        g.tick.onTick();
        QApplication::processEvents();
        g.rows.recheckTimes();
        g.view.viewport()->repaint();
    }
    g.filterAndPaint(QString());
}
BENCHMARK(stateWordOnEveryPass)->Unit(benchmark::kMillisecond);

// Folding and unfolding the largest group.
void foldAGroup(benchmark::State& state) {
    Grid& g = grid();
    for (auto _ : state) {
        g.rows.setFolded(QStringLiteral("野外"), true);
        g.view.viewport()->repaint();
        g.rows.setFolded(QStringLiteral("野外"), false);
        g.view.viewport()->repaint();
    }
}
BENCHMARK(foldAGroup)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
