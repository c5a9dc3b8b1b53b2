// The grid's model over the boss table: notifications on the window thread only, row
// counts that always agree with what views were told, and the cell roles.

#include "models/bosstablemodel.h"
#include "models/rowlook.h"
#include "schedule/cycle.h"
#include "schedule/tick.h"
#include "tests/schedule/tickfakes.h"
#include "tests/support/timezone.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <thread>
#include <vector>

using namespace zorvane;
using schedule::BossTable;

namespace {

class InstantClock final : public schedule::Clock {
public:
    schedule::UtcSeconds instant() const override { return reading; }
    schedule::UtcSeconds reading = 0;
};

schedule::UtcSeconds at(const char* text) {
    return schedule::parseUtcText(text).value();
}

// A table with its model and a tick on a clock the test sets.
struct TickedTable {
    BossTable table;
    app::BossTableModel model{table};
    InstantClock clock;
    zorvane::testing::FakeSettings settings;
    zorvane::testing::RecordingAlarm alarm;
    zorvane::testing::CountingLock lock;
    schedule::Tick tick{table, clock, settings, alarm, lock};

    // Appends a row killed at `kill` whose cells are `cells`, its next time following `period`.
    schedule::RowId addKilledRow(std::vector<std::pair<int, std::string>> cells,
                                 const char* lastTime, schedule::UtcSeconds kill, int period) {
        const schedule::RowId id = table.rowId(table.appendRow());
        cells.emplace_back(schedule::kLastTimeColumn, lastTime);
        cells.emplace_back(schedule::kNextTimeColumn, schedule::nextTimeText(kill, period));
        table.setDatedCellTextsIf(id, {}, cells, kill);
        return id;
    }
};

} // namespace

class BossTableModelTest : public QObject {
    Q_OBJECT

private slots:
    // What the grid shows of one row through a cycle, pass by pass: the text made from the
    // seconds at each boundary, the phase, and whether views heard of the whole row (its
    // look may change) or only that counts moved.
    void countdownTextsAtThePhaseBoundaries() {
        struct Pass {
            const char* at;
            const char* text;
            schedule::RowPhase phase;
            bool wholeRow;
        };
        using schedule::RowPhase;
        const Pass passes[] = {
            {"2026-12-09T10:00:00Z", "00时30分00秒", RowPhase::Counting, true},
            {"2026-12-09T10:24:59Z", "00时05分01秒", RowPhase::Counting, false},
            {"2026-12-09T10:25:00Z", "00时05分00秒", RowPhase::Lead, true},
            {"2026-12-09T10:28:59Z", "00时01分01秒", RowPhase::Lead, false},
            {"2026-12-09T10:29:00Z", "00时01分00秒", RowPhase::Lead, true},
            {"2026-12-09T10:29:59Z", "00时00分01秒", RowPhase::Lead, false},
            {"2026-12-09T10:30:00Z", "00时00分00秒", RowPhase::Due, true},
            {"2026-12-09T10:30:01Z", "00时29分59秒", RowPhase::Counting, true},
            {"2026-12-09T10:30:02Z", "00时29分58秒", RowPhase::Counting, false},
        };
        const zorvane::testing::ScopedTimeZone berlin("Europe/Berlin");
        TickedTable ticked;
        auto& [table, model, clock, settings, alarm, lock, tick] = ticked;
        ticked.addKilledRow({{schedule::kPeriodColumn, "30"}}, "11:00:00",
                            at("2026-12-09T10:00:00Z"), 30);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QSignalSpy advanced(&model, &app::BossTableModel::countdownsAdvanced);
        for (const Pass& pass : passes) {
            changed.clear();
            advanced.clear();
            clock.reading = at(pass.at);
            tick.onTick();
            const QModelIndex countdown = model.index(0, schedule::kCountdownColumn);
            QVERIFY2(countdown.data().toString() == QString::fromUtf8(pass.text), pass.at);
            QVERIFY2(countdown.data(app::BossTableModel::RowPhaseRole).toInt() == int(pass.phase),
                     pass.at);
            QVERIFY2(changed.count() == (pass.wholeRow ? 1 : 0), pass.at);
            QVERIFY2(advanced.count() == (pass.wholeRow ? 0 : 1), pass.at);
            if (pass.wholeRow) {
                QCOMPARE(changed.at(0).at(0).value<QModelIndex>().column(), 0);
                QCOMPARE(changed.at(0).at(1).value<QModelIndex>().column(),
                         schedule::kColumnCount - 1);
            }
        }
        // What is saved is what was shown.
        QCOMPARE(table.rows()[0].text[schedule::kCountdownColumn], std::string("00时29分58秒"));
    }

    void dueDayAndNextTimeTip_data() {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QString>("zone");
        QTest::addColumn<QString>("pass");
        QTest::addColumn<QString>("day");
        QTest::addColumn<QString>("tip");
        // Wednesday 2026-12-09.
        QTest::newRow("Beijing noon, tonight in Berlin")
            << "at 12:00 20:00"
            << "Asia/Shanghai"
            << "2026-12-09T10:00:00Z"
            << ""
            << "下次刷新：今天 13:00:00\n服务器时间（Asia/Shanghai）：周三 12月9日 20:00:00";
        QTest::newRow("Beijing noon, tomorrow in Berlin")
            << "at 12:00 20:00"
            << "Asia/Shanghai"
            << "2026-12-09T13:30:00Z"
            << "明天"
            << "下次刷新：周四 12月10日 05:00:00\n服务器时间（Asia/Shanghai）：周四 12月10日 "
               "12:00:00";
        QTest::newRow("weekly on Saturday") << "at 21:00 on 6"
                                            << ""
                                            << "2026-12-09T09:00:00Z"
                                            << "周六"
                                            << "下次刷新：周六 12月12日 21:00:00";
        QTest::newRow("fixed offset, next week")
            << "at 21:00 on 3"
            << "UTC+09:00"
            << "2026-12-09T13:00:00Z"
            << "12月16日"
            << "下次刷新：周三 12月16日 13:00:00\n服务器时间（UTC+09:00）：周三 12月16日 21:00:00";
    }

    void dueDayAndNextTimeTip() {
        QFETCH(QString, rule);
        QFETCH(QString, zone);
        QFETCH(QString, pass);
        QFETCH(QString, day);
        QFETCH(QString, tip);
        const zorvane::testing::ScopedTimeZone berlin("Europe/Berlin");
        BossTable table;
        app::BossTableModel model(table);
        const schedule::RowId id = table.rowId(table.appendRow());
        schedule::SpawnRule spawn = *schedule::parseSpawnRule(rule.toStdString());
        spawn.zone = *schedule::ServerZone::fromText(zone.toStdString());
        table.setSpawnRule(id, spawn);
        InstantClock clock;
        zorvane::testing::FakeSettings settings;
        zorvane::testing::RecordingAlarm alarm;
        zorvane::testing::CountingLock lock;
        schedule::Tick tick(table, clock, settings, alarm, lock);
        clock.reading = at(pass.toUtf8().constData());
        tick.onTick();
        const QModelIndex countdown = model.index(0, schedule::kCountdownColumn);
        QCOMPARE(countdown.data(app::BossTableModel::DueDayRole).toString(), day);
        QCOMPARE(model.index(0, schedule::kNextTimeColumn).data(Qt::ToolTipRole).toString(), tip);
    }

    // A window after a kill: both ends in the tooltip.
    void aWindowShowsBothEnds() {
        const zorvane::testing::ScopedTimeZone berlin("Europe/Berlin");
        TickedTable ticked;
        auto& [table, model, clock, settings, alarm, lock, tick] = ticked;
        ticked.addKilledRow({{schedule::kPeriodColumn, "120"}, {schedule::kDelayColumn, "90"}},
                            "21:00:00", at("2026-12-09T20:00:00Z"), 120);
        clock.reading = at("2026-12-09T20:30:00Z");
        tick.onTick();
        QCOMPARE(model.index(0, schedule::kNextTimeColumn).data(Qt::ToolTipRole).toString(),
                 QStringLiteral("刷新窗口：今天 23:00:00 至 周四 12月10日 00:30:00"));
        QCOMPARE(model.index(0, schedule::kCountdownColumn)
                     .data(app::BossTableModel::DueDayRole)
                     .toString(),
                 QStringLiteral("明天"));
    }

    void rowsAddedAndRemovedOnTheWindowThreadAreAnnounced() {
        BossTable table;
        app::BossTableModel model(table);
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);

        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.columnCount(), 8);
        table.appendRow();
        table.appendRow();
        table.appendRow();
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(inserted.count(), 3);
        QCOMPARE(inserted.at(2).at(1).toInt(), 2);
        QCOMPARE(inserted.at(2).at(2).toInt(), 2);

        table.setCellText(3, schedule::kNameColumn, "third");
        table.deleteRow(2);
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(removed.count(), 1);
        QCOMPARE(removed.at(0).at(1).toInt(), 1);
        QCOMPARE(model.data(model.index(1, schedule::kNameColumn)).toString(),
                 QStringLiteral("third"));
        QCOMPARE(reset.count(), 0);
    }

    void changesFromAnotherThreadArriveQueuedOnTheWindowThread() {
        BossTable table;
        app::BossTableModel model(table);
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        table.appendRow();
        table.appendRow();
        const schedule::RowId second = table.rowId(2);

        int changes = 0;
        bool allOnWindowThread = true;
        QModelIndex changed;
        connect(
            &model, &QAbstractItemModel::dataChanged, &model,
            [&](const QModelIndex& topLeft, const QModelIndex&) {
                ++changes;
                changed = topLeft;
                allOnWindowThread = allOnWindowThread && QThread::currentThread() == model.thread();
            },
            Qt::DirectConnection);

        std::thread worker([&] {
            table.setCellTexts(second, {{schedule::kLastTimeColumn, "10:30:00"},
                                        {schedule::kCountdownColumn, "00时29分59秒"}});
        });
        worker.join();
        QCOMPARE(changes, 0);
        QTRY_COMPARE(changes, 1);
        QVERIFY(allOnWindowThread);
        QCOMPARE(changed.row(), 1);
        QCOMPARE(model.data(model.index(1, schedule::kCountdownColumn)).toString(),
                 QStringLiteral("00时29分59秒"));

        // Rows added and removed elsewhere: the model keeps its count until it has
        // read the table again on its own thread.
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        std::thread structural([&] {
            table.appendRow();
            table.appendRow();
            table.deleteRow(1);
        });
        structural.join();
        QCOMPARE(model.rowCount(), 2);
        QTRY_VERIFY(reset.count() >= 1);
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.data(model.index(0, schedule::kLastTimeColumn)).toString(),
                 QStringLiteral("10:30:00"));

        // A cell notice for a row that has gone meanwhile is dropped, not misapplied.
        std::thread late([&] { table.setCellText(table.rowId(3), 2, "x"); });
        late.join();
        table.deleteRow(3);
        changes = 0;
        QTest::qWait(20);
        QCOMPARE(changes, 0);
        QCOMPARE(model.rowCount(), 2);
    }

    // A tick pass from the worker reaches the window thread as one change covering the
    // rows it wrote, clipped to the rows the model still has.
    void aPassFromAnotherThreadArrivesAsOneChange() {
        BossTable table;
        app::BossTableModel model(table);
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        table.appendRows(std::vector<schedule::BossRow>(50));
        const std::vector<schedule::RowId> ids = table.rowIds();

        struct Case {
            int deletedBeforeDelivery;
            int expectedLastRow; // model row, -1 when nothing is left to announce
        };
        // Deletions add up from case to case.
        const Case cases[] = {{0, 49}, {10, 39}, {35, 4}, {5, -1}};
        for (const Case& c : cases) {
            QList<QPair<QModelIndex, QModelIndex>> changes;
            bool allOnWindowThread = true;
            const auto connection = connect(
                &model, &QAbstractItemModel::dataChanged, &model,
                [&](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                    changes.append({topLeft, bottomRight});
                    allOnWindowThread =
                        allOnWindowThread && QThread::currentThread() == model.thread();
                },
                Qt::DirectConnection);
            std::thread worker([&] {
                schedule::CellBlock block;
                for (const schedule::RowId id : table.rowIds()) {
                    table.setCellTexts(id, {{schedule::kCountdownColumn, "00时01分00秒"}}, &block);
                }
                table.notifyCells(block);
            });
            worker.join();
            const int before = model.rowCount();
            for (int i = 0; i < c.deletedBeforeDelivery; ++i) {
                table.deleteRow(table.rowCount() - 1);
            }
            QCOMPARE(model.rowCount(), before - c.deletedBeforeDelivery);
            if (c.expectedLastRow < 0) {
                QTest::qWait(20);
                QCOMPARE(changes.size(), 0);
                disconnect(connection);
                continue;
            }
            QTRY_COMPARE(changes.size(), 1);
            QTest::qWait(10);
            QCOMPARE(changes.size(), 1);
            QVERIFY(allOnWindowThread);
            QCOMPARE(changes[0].first, model.index(0, 0));
            QCOMPARE(changes[0].second, model.index(c.expectedLastRow, schedule::kColumnCount - 1));
            disconnect(connection);
        }
        QVERIFY(!table.row(ids[0]));
    }

    void loadingManyRowsIsOneInsertion() {
        BossTable table;
        app::BossTableModel model(table);
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        std::vector<schedule::BossRow> rows(1000);
        rows[999].text[schedule::kNameColumn] = "last";
        table.appendRows(std::move(rows));
        QCOMPARE(model.rowCount(), 1000);
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(inserted.at(0).at(1).toInt(), 0);
        QCOMPARE(inserted.at(0).at(2).toInt(), 999);
        QCOMPARE(changed.count(), 0);
        QCOMPARE(reset.count(), 0);
        QCOMPARE(model.data(model.index(999, schedule::kNameColumn)).toString(),
                 QStringLiteral("last"));
    }

    void cellsHaveTheirRolesAndFlags() {
        BossTable table;
        table.setHeaderText(0, "使用");
        app::BossTableModel model(table);
        table.appendRow();
        table.setCellText(1, schedule::kPeriodColumn, "30");

        QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("使用"));
        QVERIFY(model.flags(model.index(0, 0)) & Qt::ItemIsUserCheckable);
        QVERIFY(!(model.flags(model.index(0, 0)) & Qt::ItemIsEditable));
        for (int column = 1; column < 8; ++column) {
            QVERIFY(model.flags(model.index(0, column)) & Qt::ItemIsEditable);
            QVERIFY(!(model.flags(model.index(0, column)) & Qt::ItemIsUserCheckable));
        }
        QVERIFY(!model.data(model.index(0, 0)).isValid());
        QCOMPARE(model.data(model.index(0, 0), Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
        QVERIFY(!model.data(model.index(0, 3), Qt::CheckStateRole).isValid());

        QVERIFY(model.setData(model.index(0, 0), Qt::Checked, Qt::CheckStateRole));
        QVERIFY(table.checkState(1));
        QVERIFY(!model.setData(model.index(0, 0), QStringLiteral("x"), Qt::EditRole));
        QVERIFY(model.setData(model.index(0, 3), QStringLiteral("４５分"), Qt::EditRole));
        QCOMPARE(table.cellText(1, 3), std::string("４５分"));

        QSignalSpy headers(&model, &QAbstractItemModel::headerDataChanged);
        QCOMPARE(model.data(model.index(0, 3), Qt::TextAlignmentRole).toInt(),
                 int(Qt::AlignLeft | Qt::AlignVCenter));
        model.setAlignment(Qt::AlignCenter);
        QCOMPARE(model.data(model.index(0, 3), Qt::TextAlignmentRole).toInt(),
                 int(Qt::AlignCenter));
        QCOMPARE(model.headerData(3, Qt::Horizontal, Qt::TextAlignmentRole).toInt(),
                 int(Qt::AlignCenter));
        QCOMPARE(headers.count(), 1);
        table.appendRow();
        QCOMPARE(model.data(model.index(1, 5), Qt::TextAlignmentRole).toInt(),
                 int(Qt::AlignCenter));
    }
};

QTEST_MAIN(BossTableModelTest)
#include "test_bosstablemodel.moc"
