#include "models/bosstablemodel.h"
#include "schedule/bosstable.h"
#include "schedule/cycle.h"
#include "schedule/spawnrule.h"
#include "services/coretexts.h"
#include "widgets/alerttray.h"
#include "widgets/traysummary.h"

#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTextDocument>

using namespace zorvane;

// A row of the grid's model as the tray reads it.
struct Row {
    const char* name;
    bool checked;
    qint64 remaining;
    int phase;
    int spawnPhase = -1;
    const char* spawnText = "";
};
Q_DECLARE_METATYPE(QList<Row>)

class AlertTrayTest : public QObject {
    Q_OBJECT

private:
    static QIcon icon() {
        // Large enough for every size a tray asks for.
        QPixmap pixmap(64, 64);
        pixmap.fill(Qt::red);
        return QIcon(pixmap);
    }

private slots:
    // Without a tray there is no icon to hide the window into; with the desktop's own answer
    // the icon follows it.
    void iconOnlyWithATray() {
        app::AlertTray without(icon(), false);
        QVERIFY(!without.isShown());
        QVERIFY(without.menu() != nullptr);
        app::AlertTray asDesktopSays(icon());
        QCOMPARE(asDesktopSays.isShown(), QSystemTrayIcon::isSystemTrayAvailable());
    }

    void menuEntriesAskTheWindow_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("signalIndex");
        QTest::newRow("window") << "toggleWindowAction" << QStringLiteral("隐藏窗口") << 0;
        QTest::newRow("silence") << "silenceAction" << QStringLiteral("静音") << 1;
        QTest::newRow("start/stop") << "startStopAction" << QStringLiteral("停止") << 2;
        QTest::newRow("preferences") << "preferencesAction" << QStringLiteral("首选项…") << 3;
        QTest::newRow("quit") << "quitAction" << QStringLiteral("退出") << 4;
    }

    void menuEntriesAskTheWindow() {
        QFETCH(QString, action);
        QFETCH(QString, text);
        QFETCH(int, signalIndex);
        app::AlertTray tray(icon(), false);
        QList<QSignalSpy*> spies{new QSignalSpy(&tray, &app::AlertTray::toggleWindowRequested),
                                 new QSignalSpy(&tray, &app::AlertTray::silenceRequested),
                                 new QSignalSpy(&tray, &app::AlertTray::startStopRequested),
                                 new QSignalSpy(&tray, &app::AlertTray::preferencesRequested),
                                 new QSignalSpy(&tray, &app::AlertTray::quitRequested)};
        auto* entry = tray.menu()->findChild<QAction*>(action);
        QVERIFY(entry != nullptr);
        QCOMPARE(entry->text(), text);
        entry->trigger();
        for (int i = 0; i < spies.size(); ++i) {
            QCOMPARE(spies[i]->count(), i == signalIndex ? 1 : 0);
        }
        qDeleteAll(spies);
    }

    // The state and the bosses come from the grid's model: checked rows that count, up ones
    // first, then fewest seconds left; the spawn rule's words where they say more.
    void summaryReadsTheGridsModel_data() {
        QTest::addColumn<QList<Row>>("rows");
        QTest::addColumn<bool>("stopped");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("tooltip");
        const int counting = static_cast<int>(schedule::RowPhase::Counting);
        const int lead = static_cast<int>(schedule::RowPhase::Lead);
        const int open = static_cast<int>(schedule::SpawnPhase::WindowOpen);
        const int up = static_cast<int>(schedule::SpawnPhase::Up);
        QTest::newRow("none") << QList<Row>{} << false << int(app::TrayState::Idle)
                              << QStringLiteral("Zorvane\n没有启用的BOSS");
        QTest::newRow("idle, soonest first, unchecked left out")
            << QList<Row>{{"黑龙王", true, 3600, counting},
                          {"火龙", true, 1200, counting},
                          {"冰龙", false, 10, counting}}
            << false << int(app::TrayState::Idle)
            << QStringLiteral("Zorvane\n火龙  00时20分00秒\n黑龙王  01时00分00秒");
        QTest::newRow("lead time")
            << QList<Row>{{"火龙", true, 240, lead}} << false << int(app::TrayState::Lead)
            << QStringLiteral("Zorvane\n火龙  00时04分00秒");
        QTest::newRow("due within a minute")
            << QList<Row>{{"火龙", true, 30, lead}} << false << int(app::TrayState::DueNow)
            << QStringLiteral("Zorvane\n火龙  00时00分30秒");
        QTest::newRow("window open counts as lead")
            << QList<Row>{{"石像", true, 900, counting, open, "刷新窗口已开 50%"}} << false
            << int(app::TrayState::Lead)
            << QStringLiteral("Zorvane\n石像  00时15分00秒  刷新窗口已开 50%");
        QTest::newRow("up comes first and is due")
            << QList<Row>{{"火龙", true, 60 * 5 + 1, counting},
                          {"石像", true, 3000, counting, up, "已刷新：20:00:00 起无人记录击杀"}}
            << false << int(app::TrayState::DueNow)
            << QStringLiteral("Zorvane\n石像  00时50分00秒  已刷新：20:00:00 起无人记录击杀\n火龙  "
                              "00时05分01秒");
        QTest::newRow("three at most")
            << QList<Row>{{"A", true, 4000, counting},
                          {"B", true, 3000, counting},
                          {"C", true, 2000, counting},
                          {"D", true, 1000, counting}}
            << false << int(app::TrayState::Idle)
            << QStringLiteral("Zorvane\nD  00时16分40秒\nC  00时33分20秒\nB  00时50分00秒");
        QTest::newRow("stopped wins")
            << QList<Row>{{"火龙", true, 30, lead}} << true << int(app::TrayState::Stopped)
            << QStringLiteral("Zorvane\n已停止：倒计时暂停\n火龙  00时00分30秒");
    }

    void summaryReadsTheGridsModel() {
        QFETCH(QList<Row>, rows);
        QFETCH(bool, stopped);
        QFETCH(int, state);
        QFETCH(QString, tooltip);
        QStandardItemModel model(0, schedule::kColumnCount);
        for (const Row& row : rows) {
            QList<QStandardItem*> items;
            for (int column = 0; column < schedule::kColumnCount; ++column) {
                items << new QStandardItem;
            }
            items[schedule::kNameColumn]->setText(QString::fromUtf8(row.name));
            items[schedule::kUseColumn]->setData(row.checked ? Qt::Checked : Qt::Unchecked,
                                                 Qt::CheckStateRole);
            QStandardItem* countdown = items[schedule::kCountdownColumn];
            countdown->setData(qlonglong(row.remaining), app::BossTableModel::RemainingSecondsRole);
            countdown->setData(row.phase, app::BossTableModel::RowPhaseRole);
            countdown->setText(app::messageText(schedule::countdownMessage(row.remaining)));
            if (row.spawnPhase >= 0) {
                countdown->setData(row.spawnPhase, app::BossTableModel::SpawnPhaseRole);
                countdown->setData(QString::fromUtf8(row.spawnText),
                                   app::BossTableModel::SpawnTextRole);
            }
            model.appendRow(items);
        }
        const app::TraySummary summary = app::summariseForTray(model, stopped);
        QCOMPARE(int(summary.state), state);
        QCOMPARE(app::trayToolTipText(summary), tooltip);
    }

    // Once chosen, the bosses' texts are read again from their own rows: the soonest of
    // many, the window's words with them, whatever the model's order.
    void chosenBossesTextsAreReadAgain() {
        struct Step {
            int secondsOn;
            QString tooltip;
        };
        const Step steps[] = {
            {0, QStringLiteral("Zorvane\nC  00时01分40秒  窗口 0\nA  00时16分40秒")},
            {1, QStringLiteral("Zorvane\nC  00时01分39秒  窗口 1\nA  00时16分39秒")},
            {61, QStringLiteral("Zorvane\nC  00时00分39秒  窗口 61\nA  00时15分39秒")},
        };
        const struct {
            const char* name;
            qint64 remaining;
        } rows[] = {{"A", 1000}, {"B", 3000}, {"C", 100}};
        QStandardItemModel model(0, schedule::kColumnCount);
        for (const auto& row : rows) {
            QList<QStandardItem*> items;
            for (int column = 0; column < schedule::kColumnCount; ++column) {
                items << new QStandardItem;
            }
            items[schedule::kNameColumn]->setText(QString::fromUtf8(row.name));
            items[schedule::kUseColumn]->setData(Qt::Checked, Qt::CheckStateRole);
            items[schedule::kCountdownColumn]->setData(int(schedule::RowPhase::Counting),
                                                       app::BossTableModel::RowPhaseRole);
            model.appendRow(items);
        }
        const auto moveOn = [&](int seconds) {
            for (int r = 0; r < model.rowCount(); ++r) {
                QStandardItem* countdown = model.item(r, schedule::kCountdownColumn);
                const qint64 left = rows[r].remaining - seconds;
                countdown->setData(left, app::BossTableModel::RemainingSecondsRole);
                countdown->setText(app::messageText(schedule::countdownMessage(left)));
                if (r == 2) {
                    countdown->setData(int(schedule::SpawnPhase::WindowOpen),
                                       app::BossTableModel::SpawnPhaseRole);
                    countdown->setData(QStringLiteral("窗口 %1").arg(seconds),
                                       app::BossTableModel::SpawnTextRole);
                }
            }
        };
        moveOn(0);
        app::TraySummary summary = app::summariseForTray(model, false, 2);
        for (const Step& step : steps) {
            moveOn(step.secondsOn);
            app::refreshTrayTexts(model, summary);
            QCOMPARE(app::trayToolTipText(summary), step.tooltip);
        }
    }

    // A boss name is shown as typed: never read as markup by the tray's tooltip.
    void tooltipEscapesNames() {
        app::TraySummary summary;
        summary.next.push_back({QStringLiteral("<img src=\"/dev/zero\">"),
                                QStringLiteral("00时01分00秒"), QStringLiteral("<b>x</b>")});
        app::AlertTray tray(icon(), false);
        tray.setSummary(summary);
        const QString tip = tray.toolTip();
        QVERIFY2(!tip.contains(QStringLiteral("<img")), qPrintable(tip));
        QVERIFY2(!tip.contains(QStringLiteral("<b>x")), qPrintable(tip));
        // Rendered as the tray's tooltip renders it, the text reads as typed.
        QTextDocument document;
        document.setHtml(tip);
        QVERIFY2(document.toPlainText().contains(QStringLiteral("<img src=\"/dev/zero\">")),
                 qPrintable(document.toPlainText()));
        QVERIFY(document.toPlainText().contains(QStringLiteral("<b>x</b>")));
    }

    // Each state has an icon of its own, told apart by its pixels at every size a tray asks.
    void iconDiffersByState() {
        const QIcon base = icon();
        const app::TrayState states[] = {app::TrayState::Idle, app::TrayState::Lead,
                                         app::TrayState::DueNow, app::TrayState::Stopped};
        for (const int size : {16, 22, 32}) {
            QList<QImage> images;
            for (const app::TrayState state : states) {
                images << app::trayIcon(base, state)
                              .pixmap(size, size)
                              .toImage()
                              .convertToFormat(QImage::Format_ARGB32);
            }
            for (int a = 0; a < images.size(); ++a) {
                QCOMPARE(images[a].size(), QSize(size, size));
                for (int b = a + 1; b < images.size(); ++b) {
                    QVERIFY2(
                        images[a] != images[b],
                        qPrintable(
                            QStringLiteral("states %1 and %2 at %3 px").arg(a).arg(b).arg(size)));
                }
            }
        }
        // The tray takes the state's icon, and again the plain one when the state passes.
        app::AlertTray tray(base, false);
        const auto pixelsOf = [](const QIcon& i) { return i.pixmap(22, 22).toImage(); };
        app::TraySummary summary;
        summary.state = app::TrayState::DueNow;
        tray.setSummary(summary);
        QCOMPARE(tray.state(), app::TrayState::DueNow);
        QCOMPARE(pixelsOf(tray.icon()), pixelsOf(app::trayIcon(base, app::TrayState::DueNow)));
        summary.state = app::TrayState::Idle;
        tray.setSummary(summary);
        QCOMPARE(pixelsOf(tray.icon()), pixelsOf(base));
    }
};

QTEST_MAIN(AlertTrayTest)
#include "test_alerttray.moc"
