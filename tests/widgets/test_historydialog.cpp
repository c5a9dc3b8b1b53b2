#include "history/killhistory.h"
#include "history/killtexts.h"
#include "periodic/globals.h"
#include "services/session.h"
#include "tests/support/fakeclock.h"
#include "tests/support/tempdir.h"
#include "text/codec.h"
#include "widgets/bossgrid.h"
#include "widgets/gridcontroller.h"
#include "widgets/historydialog.h"
#include "widgets/mainwindow.h"
#include "widgets/rowmenu.h"
#include "widgets/writenotice.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <filesystem>
#include <memory>

using namespace zorvane;
namespace fs = std::filesystem;
using schedule::KillRecord;
using schedule::KillSource;

namespace {

constexpr std::int64_t kBase = 1'800'000'000;

void saveRender(QWidget* widget, const QString& name) {
    const QByteArray renderDir = qgetenv("ZORVANE_RENDER_DIR");
    if (!renderDir.isEmpty()) {
        widget->grab().save(QString::fromLocal8Bit(renderDir) + "/" + name);
    }
}

void log(app::Session& session, std::int64_t at, KillSource source) {
    session.history().recordKill({"黑龙", at, 480, 240, source, ""});
}

QString cell(QTableWidget* table, int row, int column) {
    const QTableWidgetItem* item = table->item(row, column);
    return item ? item->text() : QString();
}

} // namespace

class HistoryDialogTest : public QObject {
    Q_OBJECT

private slots:
    void showsLatestKillsIntervalsAndPeriod() {
        testing::TempDir dir;
        history::SqliteKillLog log(dir.path() / "history.sqlite");
        log.recordKill({"赤炎魔王", kBase, 60, 5, KillSource::DoubleClick, ""});
        log.recordKill({"赤炎魔王", kBase + 3900, 60, 5, KillSource::RollOver, ""});
        log.recordKill({"赤炎魔王", kBase + 4200, 60, 5, KillSource::Typed, ""});
        log.recordKill({"赤炎魔王", kBase + 8100, 60, 5, KillSource::Remote, "小明"});
        schedule::KillRecord onLine{"赤炎魔王", kBase + 8200, 60, 5, KillSource::Remote, "小红"};
        onLine.server = "二区";
        onLine.line = "3";
        log.recordKill(onLine);
        onLine.server.clear();
        onLine.line = "A";
        onLine.utcSeconds = kBase + 8300;
        log.recordKill(onLine);
        log.recordKill({"冰霜巨龙", kBase + 100, 30, 0, KillSource::DoubleClick, ""});

        app::HistoryDialog dialog(log, {"赤炎魔王", 60, 5});
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(!dialog.isModal());

        QTableWidget* table = dialog.killTable();
        QCOMPARE(table->rowCount(), 6);
        // Kills on lines name their line and server; the row's own name none.
        const struct {
            int row;
            QString line;
        } lines[] = {{0, QStringLiteral("A")},
                     {1, QStringLiteral("3线 @ 二区")},
                     {2, QString()},
                     {5, QString()}};
        for (const auto& l : lines) {
            QCOMPARE(cell(table, l.row, 5), l.line);
        }
        QCOMPARE(cell(table, 1, 4), QStringLiteral("小红"));
        QCOMPARE(cell(table, 2, 0), QString::fromStdString(history::localTimeText(kBase + 8100)));
        QCOMPARE(cell(table, 2, 1), QStringLiteral("远程"));
        QCOMPARE(cell(table, 2, 4), QStringLiteral("小明"));
        QCOMPARE(cell(table, 3, 1), QStringLiteral("输入"));
        QCOMPARE(cell(table, 4, 1), QStringLiteral("自动轮换"));
        QCOMPARE(cell(table, 5, 0), QString::fromStdString(history::localTimeText(kBase)));
        QCOMPARE(cell(table, 5, 2), QStringLiteral("60"));
        QCOMPARE(cell(table, 5, 3), QStringLiteral("5"));

        // Kills at 0, 4200 and 8100 s: intervals 70 and 65 minutes, the roll-over and the kills
        // on lines left out.
        QCOMPARE(
            dialog.intervalLabel()->text(),
            QStringLiteral("击杀间隔 2 个：最短 1时05分00秒，中位 1时07分30秒，最长 1时10分00秒"));
        QCOMPARE(dialog.comparisonLabel()->text(),
                 QStringLiteral("中位间隔比配置的周期加延迟（1时05分00秒）长 2分30秒。"));
        saveRender(&dialog, QStringLiteral("history-dialog.png"));

        app::HistoryDialog lone(log, {"冰霜巨龙", 30, 0});
        QCOMPARE(lone.killTable()->rowCount(), 1);
        QVERIFY(lone.intervalLabel()->text().contains(QStringLiteral("至少要有两次击杀")));
        QVERIFY(lone.comparisonLabel()->text().isEmpty());
    }

    void exportWritesTheChosenFile() {
        testing::TempDir dir;
        history::SqliteKillLog log(dir.path() / "history.sqlite");
        log.recordKill({"A/B:怪", kBase, 60, 0, KillSource::DoubleClick, ""});
        log.recordKill({"A/B:怪", kBase + 3600, 60, 0, KillSource::DoubleClick, ""});
        app::HistoryDialog dialog(log, {"A/B:怪", 60, 0});
        dialog.setExportDirectory(QString::fromStdString(dir.path().string()));

        struct Case {
            const char* name;
            QString answer; // what the save dialog returns
            bool written;
            const char* status;
        };
        const QString target = QString::fromStdString((dir.path() / "导出.csv").string());
        const QString unwritable =
            QString::fromStdString((dir.path() / "no-such-dir" / "x.csv").string());
        const Case cases[] = {
            {"cancelled", QString(), false, ""},
            {"chosen", target, true, "已导出到 "},
            {"unwritable", unwritable, false, "导出失败："},
        };
        for (const Case& c : cases) {
            QString suggested;
            dialog.setFileDialog(
                [&](QWidget*, const QString&, const QString& proposal, const QString&) {
                    suggested = proposal;
                    return c.answer;
                });
            dialog.statusLabel()->clear();
            dialog.exportButton()->click();
            QVERIFY2(suggested.endsWith(QStringLiteral("A_B_怪-历史记录.csv")), c.name);
            const QString status = dialog.statusLabel()->text();
            QVERIFY2(*c.status ? status.startsWith(QString::fromUtf8(c.status)) : status.isEmpty(),
                     c.name);
            if (c.written) {
                const std::string csv = testing::readBytes(fs::path(c.answer.toStdString()));
                QVERIFY2(csv.rfind("\xEF\xBB\xBF", 0) == 0, c.name);
                QCOMPARE(std::count(csv.begin(), csv.end(), '\n'), 3L);
                QVERIFY(csv.find("A/B:怪,") != std::string::npos);
            }
        }
        QVERIFY(!fs::exists(dir.path() / "no-such-dir"));
    }

    // Enough usual intervals propose a window; one click makes it the row's, as if typed.
    void aProposedWindowIsAdoptedByTheRow() {
        testing::TempDir dir;
        periodic::AppGlobals globals;
        const testing::FakeClock clock{schedule::DateTimeParts{2027, 1, 15, 21, 5, 9}};
        app::Session session(app::SessionSetup::window(globals, clock, dir.path().string()));
        app::MainWindow window(session);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.addButton()->click();
        session.table().setCellText(1, schedule::kNameColumn, "黑龙");
        session.table().setCellText(1, schedule::kPeriodColumn, "480");
        session.table().setCellText(1, schedule::kDelayColumn, "240");
        session.table().setCellText(1, schedule::kLastTimeColumn, "20:00:00");
        session.table().setCellText(1, schedule::kNextTimeColumn, "04:00:00");
        // Intervals 8 h 05, 9 h, 11 h 50, 10 h, 9 h 30 and one of 20 h (a missed kill); an
        // undone kill and a roll-over count for nothing.
        std::int64_t at = kBase;
        log(session, at, KillSource::DoubleClick);
        for (const std::int64_t minutes : {485, 540, 710, 600, 570, 1200}) {
            at += minutes * 60;
            log(session, at, KillSource::Typed);
            log(session, at + 1800, KillSource::RollOver);
        }
        const KillRecord undone{"黑龙", at + 7200, 480, 240, KillSource::Typed, ""};
        session.history().recordKill(undone);
        session.history().setUndone(undone, true);
        QVERIFY(session.history().flush());

        app::HistoryDialog* dialog = window.openHistory(session.table().rowId(1));
        QVERIFY(dialog);
        QCOMPARE(dialog->proposalLabel()->text(),
                 QStringLiteral("按 5 个击杀间隔，刷新窗口为 8时05分00秒 – 11时50分00秒；"
                                "本行为 8时00分00秒 – 12时00分00秒"));
        QVERIFY(dialog->adoptButton()->isVisible());
        QVERIFY(dialog->adoptButton()->isEnabled());
        saveRender(dialog, QStringLiteral("history-proposal.png"));
        dialog->adoptButton()->click();
        QCOMPARE(session.table().cellText(1, schedule::kPeriodColumn), std::string("485"));
        QCOMPARE(session.table().cellText(1, schedule::kDelayColumn), std::string("225"));
        // The next time follows the new period, as after a typed one.
        QCOMPARE(session.table().cellText(1, schedule::kNextTimeColumn), std::string("04:05:00"));
        QVERIFY(!dialog->adoptButton()->isEnabled());
        // Undone like an edit.
        window.gridController().undoStack().undo();
        QCOMPARE(session.table().cellText(1, schedule::kPeriodColumn), std::string("480"));
        QCOMPARE(session.table().cellText(1, schedule::kDelayColumn), std::string("240"));

        // Too few kills: no proposal, no button.
        window.addButton()->click();
        session.table().setCellText(2, schedule::kNameColumn, "赤兔");
        app::HistoryDialog* few = window.openHistory(session.table().rowId(2));
        QVERIFY(few->proposalLabel()->text().contains(QStringLiteral("至少要有 5 个")));
        QVERIFY(few->adoptButton()->isHidden());
    }

    void rowMenuOpensTheHistoryOfTheRowsBoss() {
        testing::TempDir dir;
        periodic::AppGlobals globals;
        const testing::FakeClock clock{schedule::DateTimeParts{2027, 1, 15, 21, 5, 9}};
        app::Session session(app::SessionSetup::window(globals, clock, dir.path().string()));
        app::MainWindow window(session);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(window.writeNotice()->isHidden());

        window.addButton()->click();
        window.addButton()->click();
        session.table().setCellText(2, schedule::kNameColumn, " 赤炎魔王 ");
        session.table().setCellText(2, schedule::kPeriodColumn, "90");
        window.grid()->setCursorCell(2, schedule::kLastTimeColumn);
        emit window.grid()->gridDoubleClicked();
        QCOMPARE(session.history().recordCount("赤炎魔王"), 1);
        const KillRecord recorded = session.history().recentKills("赤炎魔王", 1).at(0);
        QCOMPARE(QString::fromStdString(history::localTimeText(recorded.utcSeconds)),
                 QStringLiteral("2027-01-15 21:05:09"));
        QCOMPARE(recorded.periodMinutes, 90);
        QCOMPARE(recorded.source, KillSource::DoubleClick);

        // A right click on the second row pops up the menu without waiting for it.
        QWidget* viewport = window.grid()->viewport();
        const QPoint pos = window.grid()
                               ->visualRect(window.grid()->model()->index(1, schedule::kNameColumn))
                               .center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, viewport->mapToGlobal(pos));
        QApplication::sendEvent(viewport, &event);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu);
        // Other entries (kills, deletion) stand beside it.
        QAction* history = nullptr;
        for (QAction* action : menu->actions()) {
            if (action->text() == QStringLiteral("历史记录…")) {
                history = action;
            }
        }
        QVERIFY(history);
        history->trigger();
        menu->close();

        auto* dialog = window.findChild<app::HistoryDialog*>();
        QVERIFY(dialog);
        QVERIFY(dialog->isVisible());
        QVERIFY(!dialog->isModal());
        QCOMPARE(dialog->windowTitle(), QStringLiteral("历史记录 - 赤炎魔王"));
        QCOMPARE(dialog->killTable()->rowCount(), 1);
        QCOMPARE(cell(dialog->killTable(), 0, 1), QStringLiteral("双击"));
        // The main window stays usable while the history is open.
        window.addButton()->click();
        QCOMPARE(session.table().rowCount(), 4);

        QVERIFY(!window.rowMenu()->menuForRow(0));
        QVERIFY(!window.rowMenu()->menuForRow(9));
        const schedule::RowId gone = session.table().rowId(1);
        session.table().deleteRow(1);
        QVERIFY(!window.openHistory(gone));
    }

    void damagedDatabaseIsShownOnFirstUseAndTheTableKept() {
        testing::TempDir dir;
        const std::string config =
            text::utf8ToGb18030("[序号]\r\n1=1\r\n[BOSS事件]\r\n1=赤炎魔王\r\n[set]\r\n预警=5\r\n");
        testing::writeBytes(dir.path() / "config.ini", config);
        const std::string damaged(3000, '#');
        testing::writeBytes(dir.path() / "history.sqlite", damaged);
        periodic::AppGlobals globals;
        const testing::FakeClock clock{schedule::DateTimeParts{2027, 1, 15, 21, 5, 9}};
        {
            app::Session session(app::SessionSetup::window(globals, clock, dir.path().string()));
            app::MainWindow window(session);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QLabel* notice = window.writeNotice();
            // Starting leaves the history alone; looking at it opens it.
            QVERIFY(notice->isHidden());
            QCOMPARE(testing::readBytes(dir.path() / "history.sqlite"), damaged);
            QVERIFY(window.openHistory(session.table().rowId(1)));
            QTRY_VERIFY(notice->isVisible());
            QVERIFY(notice->toolTip().contains(QStringLiteral("已损坏")));
            QVERIFY(notice->toolTip().contains(QStringLiteral("history.sqlite.broken-")));
            QVERIFY(session.history().isOpen());
            saveRender(&window, QStringLiteral("history-notice.png"));
        }
        QCOMPARE(testing::readBytes(dir.path() / "config.ini"), config);
    }
};

QTEST_MAIN(HistoryDialogTest)
#include "test_historydialog.moc"
