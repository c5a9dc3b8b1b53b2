// The spawn rule dialog: what its fields make, what it refuses and why, and that 确定
// stores the rule in the table while 取消 and a refusal leave the row as it was.

#include "schedule/bosstable.h"
#include "schedule/spawnrule.h"
#include "widgets/spawnruledialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

using namespace zorvane;

class SpawnRuleDialogTest : public QObject {
    Q_OBJECT

private slots:
    void fieldsMakeTheRuleOrSayWhyNot_data() {
        QTest::addColumn<bool>("fixed");
        QTest::addColumn<QString>("times");
        QTest::addColumn<QList<int>>("weekdays");
        QTest::addColumn<QString>("zone");
        QTest::addColumn<int>("restart");
        QTest::addColumn<int>("minutes");
        QTest::addColumn<int>("remind");
        QTest::addColumn<QString>("stored"); // rule text, then "|" and zone; "" refused
        QTest::addColumn<QString>("problem");

        QTest::newRow("after a kill")
            << false << "" << QList<int>{} << "本机时区" << 0 << 0 << 0 << "|"
            << "";
        QTest::newRow("beijing noon and evening")
            << true << "20:00, 12:00" << QList<int>{} << "Asia/Shanghai" << 0 << 0 << 3
            << "at 12:00 20:00 remind 3|Asia/Shanghai"
            << "";
        QTest::newRow("saturday, typed offset, spawns after restart")
            << true << "21:00" << QList<int>{5} << "+9" << 2 << 30 << 0
            << "at 21:00 on 6 restart spawn 30|UTC+09:00"
            << "";
        QTest::newRow("restart as a kill") << false << "" << QList<int>{} << "UTC" << 1 << 45 << 5
                                           << "after restart kill remind 5|UTC+00:00"
                                           << "";
        QTest::newRow("times unreadable")
            << true << "noon" << QList<int>{} << "UTC" << 0 << 0 << 0 << ""
            << "noon";
        QTest::newRow("no times") << true << "" << QList<int>{} << "UTC" << 0 << 0 << 0 << ""
                                  << "12:00 20:00";
        QTest::newRow("zone unknown")
            << false << "" << QList<int>{} << "Mars/Olympus" << 0 << 0 << 0 << ""
            << "Mars/Olympus";
    }

    void fieldsMakeTheRuleOrSayWhyNot() {
        QFETCH(bool, fixed);
        QFETCH(QString, times);
        QFETCH(QList<int>, weekdays);
        QFETCH(QString, zone);
        QFETCH(int, restart);
        QFETCH(int, minutes);
        QFETCH(int, remind);
        QFETCH(QString, stored);
        QFETCH(QString, problem);

        schedule::BossTable table;
        const schedule::RowId row = table.rowId(table.appendRow());
        table.setCellTexts(row, {{schedule::kNameColumn, "火龙"}, {schedule::kPeriodColumn, "60"}});
        app::SpawnRuleDialog dialog(table, row);
        QSignalSpy storedSpy(&dialog, &app::SpawnRuleDialog::stored);
        (fixed ? dialog.fixedTimesButton() : dialog.afterKillButton())->setChecked(true);
        QCOMPARE(dialog.timesEdit()->isEnabled(), fixed);
        dialog.timesEdit()->setText(times);
        for (const int day : weekdays) {
            dialog.weekdayBox(day)->setChecked(true);
        }
        dialog.zoneBox()->setEditText(zone);
        dialog.restartBox()->setCurrentIndex(restart);
        QCOMPARE(dialog.restartMinutesBox()->isEnabled(), restart == 2);
        dialog.restartMinutesBox()->setValue(minutes);
        // Fixed times are offered the usual reminder; a row after a kill has none.
        QCOMPARE(dialog.remindMinutesBox()->value(), fixed ? schedule::kSuggestedRemindMinutes : 0);
        dialog.remindMinutesBox()->setValue(remind);
        dialog.accept();
        const schedule::SpawnRule now = table.row(row)->timing.spawn;
        if (stored.isEmpty()) {
            QVERIFY(dialog.problemLabel()->text().contains(problem));
            QCOMPARE(storedSpy.count(), 0);
            QVERIFY(now.isDefault());
            return;
        }
        QCOMPARE(storedSpy.count(), 1);
        QCOMPARE(QString::fromStdString(schedule::spawnRuleText(now) + "|" + now.zone.text()),
                 stored);
        // Opened again, the dialog shows what the row holds and gives it back unchanged.
        app::SpawnRuleDialog again(table, row);
        QCOMPARE(again.chosenRule(), std::optional(now));
    }

    void cancelLeavesTheRowAlone() {
        schedule::BossTable table;
        const schedule::RowId row = table.rowId(table.appendRow());
        app::SpawnRuleDialog dialog(table, row);
        dialog.fixedTimesButton()->setChecked(true);
        dialog.timesEdit()->setText(QStringLiteral("12:00"));
        dialog.reject();
        QVERIFY(table.row(row)->timing.spawn.isDefault());
    }
};

QTEST_MAIN(SpawnRuleDialogTest)
#include "test_spawnruledialog.moc"
