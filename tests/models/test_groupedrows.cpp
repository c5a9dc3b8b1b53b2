// The grid's rows over the sorted table: group headers, folds and the filter, and that a
// boss row keeps pointing at its boss through every change while a header never does.

#include "models/bosstablemodel.h"
#include "models/gridproxy.h"
#include "models/groupedrows.h"
#include "models/rowfilter.h"
#include "schedule/cycle.h"
#include "schedule/linepass.h"
#include "schedule/tick.h"
#include "tests/schedule/tickfakes.h"
#include "tests/support/timezone.h"

#include <QAbstractItemModelTester>
#include <QTest>

#include <memory>
#include <vector>

using namespace zorvane;
using app::GroupedRows;

namespace {

class InstantClock final : public schedule::Clock {
public:
    schedule::UtcSeconds instant() const override { return reading; }
    schedule::UtcSeconds reading = 0;
};

constexpr schedule::UtcSeconds kNow = 1'765'270'800; // 2025-12-09T09:00:00Z

struct Boss {
    const char* name;
    const char* group;
    int minutesLeft; // of a 60-minute period; -1: never killed (no count)
};

// A table of bosses counted once at kNow, under the sorted view and the grouped rows.
struct GroupedTable {
    schedule::BossTable table;
    app::BossTableModel model{table};
    app::GridProxy sorted;
    GroupedRows rows;
    InstantClock clock;
    zorvane::testing::FakeSettings settings;
    zorvane::testing::RecordingAlarm alarm;
    zorvane::testing::CountingLock lock;
    schedule::Tick tick{table, clock, settings, alarm, lock};
    std::unique_ptr<QAbstractItemModelTester> tester;

    explicit GroupedTable(const std::vector<Boss>& bosses) {
        sorted.setSourceModel(&model);
        rows.setSourceModel(&sorted);
        tester = std::make_unique<QAbstractItemModelTester>(
            &rows, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QHash<QString, QString> groups;
        for (const Boss& boss : bosses) {
            add(boss);
            if (*boss.group != '\0') {
                groups.insert(QString::fromUtf8(boss.name), QString::fromUtf8(boss.group));
            }
        }
        rows.setGroups(groups);
        clock.reading = kNow;
        tick.onTick();
    }

    void add(const Boss& boss) {
        const schedule::RowId id = table.rowId(table.appendRow());
        std::vector<std::pair<int, std::string>> cells = {{schedule::kNameColumn, boss.name},
                                                          {schedule::kPeriodColumn, "60"}};
        if (boss.minutesLeft < 0) {
            table.setCellTexts(id, cells);
            return;
        }
        const schedule::UtcSeconds kill = kNow - 60LL * (60 - boss.minutesLeft);
        cells.emplace_back(schedule::kLastTimeColumn, schedule::nextTimeText(kill, 0));
        cells.emplace_back(schedule::kNextTimeColumn, schedule::nextTimeText(kill, 60));
        table.setDatedCellTextsIf(id, {}, cells, kill);
    }

    // The name column as the grid shows it, row by row.
    QStringList shown() const {
        QStringList names;
        for (int row = 0; row < rows.rowCount(); ++row) {
            names << rows.index(row, schedule::kNameColumn).data().toString();
        }
        return names;
    }
};

const std::vector<Boss> kBosses = {
    {"黑龙", "野外", 50}, {"赤炎", "", 5},   {"雷霆", "世界", 30},
    {"冰霜", "野外", 8},  {"Golem", "", -1}, {"影魔", "世界", 2},
};

} // namespace

class GroupedRowsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { m_zone = std::make_unique<zorvane::testing::ScopedTimeZone>("UTC"); }
    void cleanupTestCase() { m_zone.reset(); }

    // What the grid lists for groups, folds, sorting and the filter.
    void rowsFollowGroupsFoldsSortAndFilter_data() {
        QTest::addColumn<bool>("grouped");
        QTest::addColumn<QStringList>("folded");
        QTest::addColumn<int>("sort");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("expected");
        const auto names = [](const char* text) {
            return QString::fromUtf8(text).split(QLatin1Char('|'));
        };
        QTest::newRow("no groups: the table's rows")
            << false << QStringList() << 0 << QString() << names("黑龙|赤炎|雷霆|冰霜|Golem|影魔");
        QTest::newRow("groups in the table's order, ungrouped last")
            << true << QStringList() << 0 << QString()
            << names("▼ 野外（2）|黑龙|冰霜|▼ 世界（2）|雷霆|影魔|▼ 未分组（2）|赤炎|Golem");
        QTest::newRow("sorted within groups; uncounted last")
            << true << QStringList() << 1 << QString()
            << names("▼ 野外（2）|冰霜|黑龙|▼ 世界（2）|影魔|雷霆|▼ 未分组（2）|赤炎|Golem");
        QTest::newRow("folded group and folded ungrouped")
            << true << QStringList{QStringLiteral("野外"), QString()} << 0 << QString()
            << names("▶ 野外（2）|▼ 世界（2）|雷霆|影魔|▶ 未分组（2）");
        QTest::newRow("by name, without groups")
            << false << QStringList() << 0 << QStringLiteral("golem") << names("Golem");
        QTest::newRow("by group name") << true << QStringList() << 0 << QStringLiteral("世界")
                                       << names("▼ 世界（2）|雷霆|影魔");
        QTest::newRow("by state: within 10 minutes")
            << true << QStringList() << 0 << QStringLiteral("10分钟内")
            << names("▼ 野外（1）|冰霜|▼ 世界（1）|影魔|▼ 未分组（1）|赤炎");
        QTest::newRow("state and group words together")
            << true << QStringList() << 1 << QStringLiteral("<10m 野外")
            << names("▼ 野外（1）|冰霜");
        QTest::newRow("a folded group still counts its matches")
            << true << QStringList{QStringLiteral("世界")} << 0 << QStringLiteral("<3m")
            << names("▶ 世界（1）");
        QTest::newRow("nothing matches")
            << true << QStringList() << 0 << QStringLiteral("不存在") << QStringList();
    }

    void rowsFollowGroupsFoldsSortAndFilter() {
        QFETCH(bool, grouped);
        QFETCH(QStringList, folded);
        QFETCH(int, sort);
        QFETCH(QString, filter);
        QFETCH(QStringList, expected);
        std::vector<Boss> bosses = kBosses;
        if (!grouped) {
            for (Boss& boss : bosses) {
                boss.group = "";
            }
        }
        GroupedTable t(bosses);
        t.rows.setFoldedGroups(folded);
        t.sorted.setSortState(app::GridProxy::sortStateFromInt(sort));
        t.rows.setFilter(filter);
        QCOMPARE(t.shown(), expected);
        QCOMPARE(t.rows.grouped(), grouped);
        // A header is never a boss: it maps to no row of the table.
        for (int row = 0; row < t.rows.rowCount(); ++row) {
            const QModelIndex index = t.rows.index(row, schedule::kNameColumn);
            const bool header = index.data(GroupedRows::NodeKindRole).toInt() ==
                                static_cast<int>(GroupedRows::NodeKind::Group);
            QCOMPARE(t.rows.mapToSource(index).isValid(), !header);
            QCOMPARE(bool(t.rows.flags(index) & Qt::ItemIsSelectable), !header);
        }
    }

    // A header shows the soonest boss's time left in the countdown column.
    void aHeaderSummarisesItsSoonestBoss() {
        GroupedTable t(kBosses);
        QCOMPARE(t.rows.index(0, schedule::kCountdownColumn).data().toString(),
                 QStringLiteral("00时08分00秒"));
        QCOMPARE(t.rows.index(3, schedule::kCountdownColumn).data().toString(),
                 QStringLiteral("00时02分00秒"));
        // The ungrouped header: Golem is not counted, 赤炎 is.
        QCOMPARE(t.rows.index(6, schedule::kCountdownColumn).data().toString(),
                 QStringLiteral("00时05分00秒"));
    }

    // The cursor and selection stay on their boss while rows around it come and go: folds,
    // a new group, the sort, the filter, a deletion above it. One on a header stays on it.
    void aBossRowKeepsItsBossThroughChanges() {
        GroupedTable t(kBosses);
        const auto rowOf = [&t](const char* name) {
            for (int row = 0; row < t.rows.rowCount(); ++row) {
                if (t.rows.index(row, schedule::kNameColumn).data().toString() ==
                    QString::fromUtf8(name)) {
                    return row;
                }
            }
            return -1;
        };
        QPersistentModelIndex boss(t.rows.index(rowOf("影魔"), schedule::kLastTimeColumn));
        QPersistentModelIndex header(t.rows.index(rowOf("▼ 世界（2）"), schedule::kNameColumn));
        const auto check = [&](const char* step, const char* headerText) {
            QVERIFY2(boss.isValid(), step);
            QVERIFY2(boss.column() == schedule::kLastTimeColumn, step);
            QVERIFY2(t.rows.index(boss.row(), schedule::kNameColumn).data().toString() ==
                         QStringLiteral("影魔"),
                     step);
            QVERIFY2(header.isValid(), step);
            QVERIFY2(header.data().toString() == QString::fromUtf8(headerText), step);
        };
        t.rows.setFolded(QStringLiteral("野外"), true);
        check("fold above", "▼ 世界（2）");
        t.sorted.setSortState(app::GridProxy::SortState::Ascending);
        check("sort", "▼ 世界（2）");
        t.rows.setFilter(QStringLiteral("影"));
        check("filter", "▼ 世界（1）");
        t.rows.setFilter({});
        t.rows.setGroups({{QStringLiteral("影魔"), QStringLiteral("世界")},
                          {QStringLiteral("雷霆"), QStringLiteral("世界")},
                          {QStringLiteral("黑龙"), QStringLiteral("新")}});
        check("groups changed", "▼ 世界（2）");
        t.table.deleteRow(1);
        check("a row above deleted", "▼ 世界（2）");
        t.rows.setFolded(QStringLiteral("世界"), true);
        QVERIFY(!boss.isValid());
        QCOMPARE(header.data().toString(), QStringLiteral("▶ 世界（2）"));
        QVERIFY(t.rows.toggleFolded(header));
        QCOMPARE(header.data().toString(), QStringLiteral("▼ 世界（2）"));
        QVERIFY(!t.rows.toggleFolded(t.rows.index(header.row() + 1, 0)));
    }

    // A state filter follows the countdowns as they move on.
    void aStateFilterFollowsTheCountdowns() {
        GroupedTable t(kBosses);
        t.rows.setFilter(QStringLiteral("<3m"));
        QCOMPARE(t.shown(), QString::fromUtf8("▼ 世界（1）|影魔").split(QLatin1Char('|')));
        // 影魔 became due (up, still shown); 赤炎 came within three minutes.
        t.clock.reading = kNow + 4 * 60;
        t.tick.onTick();
        t.rows.recheckTimes();
        QCOMPARE(t.shown(),
                 QString::fromUtf8("▼ 世界（1）|影魔|▼ 未分组（1）|赤炎").split(QLatin1Char('|')));
    }

    // A boss's lines under it: folded to its soonest line, sorted by time left with the
    // bosses, found by whole label, server and state with only the matching lines shown.
    void linesUnderTheirBoss_data() {
        QTest::addColumn<bool>("expanded");
        QTest::addColumn<int>("sort");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("expected");
        QTest::newRow("folded: the soonest line")
            << false << 0 << QString() << QStringLiteral("▶ 黑龙 13线 @ 二区|赤炎");
        QTest::newRow("unfolded in the board's order")
            << true << 0 << QString()
            << QStringLiteral("▼ 黑龙|└ 1线 @ 一区|└ 3线 @ 一区|└ 13线 @ 一区|└ 1线 @ 二区|"
                              "└ 3线 @ 二区|└ 13线 @ 二区|赤炎");
        QTest::newRow("ascending: the boss by its soonest line, uncounted lines last")
            << true << 1 << QString()
            << QStringLiteral("▼ 黑龙|└ 13线 @ 二区|└ 3线 @ 一区|└ 1线 @ 一区|└ 13线 @ 一区|"
                              "└ 1线 @ 二区|└ 3线 @ 二区|赤炎");
        QTest::newRow("descending")
            << true << 2 << QString()
            << QStringLiteral("赤炎|▼ 黑龙|└ 3线 @ 一区|└ 13线 @ 二区|└ 1线 @ 一区|└ 13线 @ 一区|"
                              "└ 1线 @ 二区|└ 3线 @ 二区");
        QTest::newRow("a whole label: 3线 is not 13线")
            << false << 0 << QStringLiteral("3线")
            << QStringLiteral("▼ 黑龙|└ 3线 @ 一区|└ 3线 @ 二区");
        QTest::newRow("a bare number") << false << 0 << QStringLiteral("13")
                                       << QStringLiteral("▼ 黑龙|└ 13线 @ 一区|└ 13线 @ 二区");
        QTest::newRow("a state word")
            << false << 0 << QStringLiteral("<3m") << QStringLiteral("▼ 黑龙|└ 13线 @ 二区");
        QTest::newRow("a state word for lines and rows")
            << false << 0 << QStringLiteral("<6m") << QStringLiteral("▼ 黑龙|└ 13线 @ 二区|赤炎");
        QTest::newRow("the boss's name: all lines, folded")
            << false << 0 << QStringLiteral("黑龙") << QStringLiteral("▶ 黑龙 13线 @ 二区");
        QTest::newRow("name and server")
            << true << 0 << QStringLiteral("黑龙 二区")
            << QStringLiteral("▼ 黑龙|└ 1线 @ 二区|└ 3线 @ 二区|└ 13线 @ 二区");
        QTest::newRow("no line matches") << false << 0 << QStringLiteral("9线") << QString();
    }

    void linesUnderTheirBoss() {
        QFETCH(bool, expanded);
        QFETCH(int, sort);
        QFETCH(QString, filter);
        QFETCH(QString, expected);
        GroupedTable t({{"黑龙", "", -1}, {"赤炎", "", 5}});
        schedule::LineBoard board;
        const schedule::RowId dragon = t.table.rowId(1);
        QVERIFY(board.setLines(dragon, schedule::BossLines{{"一区", "二区"}, {"1", "3", "13"}}));
        for (const schedule::LineTimer& timer : board.timers(dragon)) {
            // 3线 @ 一区 has 10 minutes left of 60, 13线 @ 二区 two.
            if (timer.key == schedule::LineKey{"一区", "3"}) {
                board.kill(dragon, timer.id, kNow - 50 * 60);
            } else if (timer.key == schedule::LineKey{"二区", "13"}) {
                board.kill(dragon, timer.id, kNow - 58 * 60);
            }
        }
        schedule::LinePass(t.table, board, t.alarm).afterPass(kNow, 5, {});
        t.sorted.setLineBoard(&board);
        t.rows.setLineBoard(&board);
        t.sorted.setSortState(app::GridProxy::sortStateFromInt(sort));
        t.rows.setExpanded(QStringLiteral("黑龙"), expanded);
        t.rows.setFilter(filter);
        QCOMPARE(t.shown().join(QLatin1Char('|')), expected);

        for (int row = 0; row < t.rows.rowCount(); ++row) {
            const QModelIndex last = t.rows.index(row, schedule::kLastTimeColumn);
            const auto kind =
                static_cast<GroupedRows::NodeKind>(last.data(GroupedRows::NodeKindRole).toInt());
            const bool hasLines = last.data(GroupedRows::HasLinesRole).toBool();
            // Neither a line nor a boss with lines takes a typed time, and a line reaches no
            // table row.
            QCOMPARE(bool(last.flags() & Qt::ItemIsEditable),
                     kind == GroupedRows::NodeKind::Boss && !hasLines);
            QCOMPARE(t.rows.mapToSource(last).isValid(), kind == GroupedRows::NodeKind::Boss);
            if (kind == GroupedRows::NodeKind::Line) {
                QCOMPARE(last.data(GroupedRows::BossRowIdRole).value<schedule::RowId>(), dragon);
                QVERIFY(!t.rows.toggleExpanded(last));
            }
        }
    }

    // A board whose lines come and go after it was set: the rows follow each change, also
    // from none to some and back, with or without a filter.
    void linesThatComeAndGo_data() {
        QTest::addColumn<bool>("before"); // 黑龙 has lines when the board is set
        QTest::addColumn<bool>("after");  // and when the lines change
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("expected");
        const QString plain = QStringLiteral("黑龙|赤炎");
        const QString lines = QStringLiteral("▼ 黑龙|└ 1线 @ 一区|└ 3线 @ 一区|赤炎");
        QTest::newRow("none, then none") << false << false << QString() << plain;
        QTest::newRow("none, then some") << false << true << QString() << lines;
        QTest::newRow("some, then none") << true << false << QString() << plain;
        QTest::newRow("some, then some") << true << true << QString() << lines;
        QTest::newRow("none, then some, filtered by line")
            << false << true << QStringLiteral("3线") << QStringLiteral("▼ 黑龙|└ 3线 @ 一区");
        QTest::newRow("some, then none, filtered by time")
            << true << false << QStringLiteral("<6m") << QStringLiteral("赤炎");
    }

    void linesThatComeAndGo() {
        QFETCH(bool, before);
        QFETCH(bool, after);
        QFETCH(QString, filter);
        QFETCH(QString, expected);
        GroupedTable t({{"黑龙", "", -1}, {"赤炎", "", 5}});
        const schedule::RowId dragon = t.table.rowId(1);
        const schedule::BossLines dragonLines{{"一区"}, {"1", "3"}};
        schedule::LineBoard board;
        if (before) {
            QVERIFY(board.setLines(dragon, dragonLines));
        }
        t.rows.setLineBoard(&board);
        t.rows.setExpanded(QStringLiteral("黑龙"), true);
        t.rows.setFilter(filter);
        if (after) {
            QVERIFY(board.setLines(dragon, dragonLines));
        } else {
            board.removeRow(dragon);
        }
        t.rows.linesChanged();
        QCOMPARE(t.shown().join(QLatin1Char('|')), expected);
        QCOMPARE(t.rows.showsLines(), after);
    }

    // The filter's words against one row's facts.
    void filterWords() {
        struct Case {
            const char* filter;
            app::RowFacts row;
            bool matches;
        };
        const app::RowFacts dragon{
            QStringLiteral("黑龙"), QStringLiteral("野外"), {QStringLiteral("3线")}, 9 * 60, false};
        const app::RowFacts golem{QStringLiteral("Golem"), {}, {}, std::nullopt, false};
        const app::RowFacts up{QStringLiteral("影魔"), {}, {}, 20 * 60, true};
        app::RowFacts line = dragon;
        line.exact = {QStringLiteral("13"), QStringLiteral("13线")};
        const Case cases[] = {
            {"13线", line, true},       {"13", line, true},
            {"1", line, false},         {"3线", {QStringLiteral("x"), {}, {}, {}, false}, false},
            {"", golem, true},          {"   ", golem, true},
            {"gOLe", golem, true},      {"龙 野外", dragon, true},
            {"龙 世界", dragon, false}, {"3线", dragon, true},
            {"10分钟内", dragon, true}, {"10 分钟内", dragon, true},
            {"9分钟内", dragon, true},  {"8分钟内", dragon, false},
            {"<10m", dragon, true},     {"<10M", dragon, true},
            {"<1h", dragon, true},      {"<5m", dragon, false},
            {"<5m", golem, false},      {"<5m", up, true},
            {"已刷新", up, true},       {"已刷新", dragon, false},
            {"已刷新 影", up, true},    {"UP", up, true},
            {"up", dragon, false},      {"<5x", golem, false},
        };
        for (const Case& c : cases) {
            const app::RowFilter filter(QString::fromUtf8(c.filter));
            QVERIFY2(filter.matches(c.row) == c.matches,
                     qPrintable(QString::fromUtf8(c.filter) + QLatin1String(" / ") + c.row.name));
        }
        QVERIFY(!app::RowFilter(QStringLiteral("黑龙")).readsTime());
        QVERIFY(app::RowFilter(QStringLiteral("黑龙 <3m")).readsTime());
    }

private:
    std::unique_ptr<zorvane::testing::ScopedTimeZone> m_zone;
};

QTEST_GUILESS_MAIN(GroupedRowsTest)
#include "test_groupedrows.moc"
