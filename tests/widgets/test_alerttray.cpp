#include "widgets/alerttray.h"

#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>

using namespace zorvane;

class AlertTrayTest : public QObject {
    Q_OBJECT

private:
    static QIcon icon() {
        QPixmap pixmap(16, 16);
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

    void tooltipNamesTheNextBoss_data() {
        QTest::addColumn<QString>("boss");
        QTest::addColumn<QString>("countdown");
        QTest::addColumn<QString>("tooltip");
        QTest::newRow("boss") << QStringLiteral("黑龙王") << QStringLiteral("00时04分59秒")
                              << QStringLiteral("Zorvane\n下一个：黑龙王 00时04分59秒");
        QTest::newRow("none") << QString() << QString()
                              << QStringLiteral("Zorvane\n没有启用的BOSS");
        QTest::newRow("blank name") << QStringLiteral("  ") << QStringLiteral("1分")
                                    << QStringLiteral("Zorvane\n没有启用的BOSS");
    }

    void tooltipNamesTheNextBoss() {
        QFETCH(QString, boss);
        QFETCH(QString, countdown);
        QFETCH(QString, tooltip);
        app::AlertTray tray(icon(), false);
        tray.setNextBoss(boss, countdown);
        QCOMPARE(tray.toolTip(), tooltip);
    }
};

QTEST_MAIN(AlertTrayTest)
#include "test_alerttray.moc"
