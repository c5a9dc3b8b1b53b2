// Runs under dbus-run-session: a private session bus on which this test registers its own
// notification server, so the real D-Bus traffic is checked without touching the desktop.
#include "models/builtinimage.h"
#include "services/alertdispatch.h"
#include "services/desktopnotifier.h"
#include "services/preferences.h"
#include "tests/support/notificationserver.h"
#include "tests/support/tempdir.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>

using namespace zorvane;
using zorvane::testing::NotificationServer;
using zorvane::testing::NotifyCall;

// Counts the closing notices this process received: since the bus keeps a sender's signals
// in order, once one has arrived, everything the server emitted before it has too.
class ClosedCounter : public QObject {
    Q_OBJECT
public:
    int count = 0;
public slots:
    void closed(uint, uint) { ++count; }
};

class DesktopNotifierTest : public QObject {
    Q_OBJECT

private:
    static app::NotificationImage icon() {
        QImage image(16, 12, QImage::Format_ARGB32);
        image.fill(QColor(200, 30, 40, 255));
        return app::notificationImage(image);
    }

private slots:
    void initTestCase() {
        QVERIFY2(qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"),
                 "run under dbus-run-session");
        QVERIFY(QDBusConnection::sessionBus().isConnected());
    }

    // Without a service nothing breaks; once one appears, alerts reach it.
    void noServiceThenServiceAppears() {
        app::DesktopNotifier notifier(QDBusConnection::sessionBus(), icon());
        QSignalSpy silence(&notifier, &app::DesktopNotifier::silenceRequested);
        notifier.notify(1, QStringLiteral("黑龙王"), 300);
        notifier.notify(1, QStringLiteral("黑龙王"), 0); // waits for the failed first one
        notifier.close(2);
        // Both calls get their error answers from the bus.
        QTest::qWait(300);
        QVERIFY(!QDBusConnection::sessionBus().interface()->isServiceRegistered(
            QString::fromLatin1(app::DesktopNotifier::kService)));

        NotificationServer server;
        QVERIFY(zorvane::testing::startServer(server));
        notifier.notify(1, QStringLiteral("黑龙王"), 300);
        QTRY_COMPARE(server.calls.size(), 1);
        QCOMPARE(server.calls[0].replaces, 0u); // the failed ones left no stale id
        QCOMPARE(silence.count(), 0);
        zorvane::testing::stopServer();
    }

    void notifyCarriesTheAlert_data() {
        QTest::addColumn<qint64>("secondsLeft");
        QTest::addColumn<QString>("body");
        QTest::addColumn<int>("urgency");
        QTest::addColumn<int>("timeout");
        QTest::newRow("lead") << qint64(300) << QStringLiteral("5 分钟后刷新") << 1 << -1;
        QTest::newRow("a pass late") << qint64(299) << QStringLiteral("5 分钟后刷新") << 1 << -1;
        QTest::newRow("one minute") << qint64(60) << QStringLiteral("1 分钟后刷新") << 1 << -1;
        // A start or an absence finds the row well inside its lead time: the true time left.
        QTest::newRow("at start") << qint64(74) << QStringLiteral("1 分 14 秒后刷新") << 1 << -1;
        QTest::newRow("seconds") << qint64(40) << QStringLiteral("40 秒后刷新") << 1 << -1;
        QTest::newRow("due") << qint64(0) << QStringLiteral("已刷新") << 2 << 0;
        QTest::newRow("overdue") << qint64(-3) << QStringLiteral("已刷新") << 2 << 0;
    }

    // The body says where the boss stands by its rule, with the true time left.
    void alertBodiesTellTheState_data() {
        QTest::addColumn<int>("topic");
        QTest::addColumn<int>("lead");
        QTest::addColumn<qint64>("secondsLeft");
        QTest::addColumn<int>("phase");
        QTest::addColumn<QString>("body");
        using schedule::AlertTopic;
        using schedule::SpawnPhase;
        const auto row = [](const char* name, AlertTopic topic, int lead, qint64 seconds,
                            SpawnPhase phase, const char* body) {
            QTest::newRow(name) << int(topic) << lead << seconds << int(phase)
                                << QString::fromUtf8(body);
        };
        row("lead", AlertTopic::Countdown, 5, 300, SpawnPhase::Waiting, "5 分钟后刷新");
        row("lead in a window", AlertTopic::Countdown, 5, 300, SpawnPhase::WindowOpen,
            "窗口已开启 · 5 分钟后刷新");
        row("due", AlertTopic::Countdown, 0, 0, SpawnPhase::Waiting, "已刷新");
        row("due as its window ends", AlertTopic::Countdown, 0, -1, SpawnPhase::Up, "已刷新");
        row("before the window", AlertTopic::WindowOpening, 5, 299, SpawnPhase::Waiting,
            "刷新窗口 5 分钟后开启");
        row("the window opens", AlertTopic::WindowOpening, 0, 1800, SpawnPhase::WindowOpen,
            "窗口已开启 · 最迟 30 分钟后刷新");
        row("the window opens late", AlertTopic::WindowOpening, 0, 74, SpawnPhase::WindowOpen,
            "窗口已开启 · 最迟 1 分 14 秒后刷新");
        row("unrecorded", AlertTopic::Unrecorded, 0, -181, SpawnPhase::Up,
            "已刷新（未记录击杀） · 已 3 分钟");
    }

    void alertBodiesTellTheState() {
        QFETCH(int, topic);
        QFETCH(int, lead);
        QFETCH(qint64, secondsLeft);
        QFETCH(int, phase);
        QFETCH(QString, body);
        schedule::Alert alert;
        alert.topic = static_cast<schedule::AlertTopic>(topic);
        alert.leadMinutes = lead > 0 ? std::optional(lead) : std::nullopt;
        alert.secondsLeft = secondsLeft;
        alert.phase = static_cast<schedule::SpawnPhase>(phase);
        QCOMPARE(app::alertBody(alert), body);

        // The notification carries it.
        NotificationServer server;
        QVERIFY(zorvane::testing::startServer(server));
        app::DesktopNotifier notifier(QDBusConnection::sessionBus(), icon());
        notifier.notify(3, QStringLiteral("黑龙"), secondsLeft, app::alertBody(alert));
        QTRY_COMPARE(server.calls.size(), 1);
        QCOMPARE(server.calls[0].body, body);
        zorvane::testing::stopServer();
    }

    void notifyCarriesTheAlert() {
        QFETCH(qint64, secondsLeft);
        QFETCH(QString, body);
        QFETCH(int, urgency);
        QFETCH(int, timeout);
        NotificationServer server;
        QVERIFY(zorvane::testing::startServer(server));
        app::DesktopNotifier notifier(QDBusConnection::sessionBus(), icon());
        notifier.notify(7, QStringLiteral("赤兔马"), secondsLeft);
        QTRY_COMPARE(server.calls.size(), 1);
        const NotifyCall& call = server.calls[0];
        QCOMPARE(call.app, QStringLiteral("Zorvane"));
        QCOMPARE(call.replaces, 0u);
        QCOMPARE(call.icon, QStringLiteral("zorvane"));
        QCOMPARE(call.summary, QStringLiteral("赤兔马"));
        QCOMPARE(call.body, body);
        QCOMPARE(call.actions, (QStringList{QStringLiteral("show"), QStringLiteral("显示"),
                                            QStringLiteral("silence"), QStringLiteral("静音")}));
        QCOMPARE(call.timeout, timeout);
        QCOMPARE(call.hints.value(QStringLiteral("urgency")).toInt(), urgency);
        QCOMPARE(call.hints.value(QStringLiteral("suppress-sound")).toBool(), true);
        const auto image = qdbus_cast<app::NotificationImage>(
            call.hints.value(QStringLiteral("image-data")).value<QDBusArgument>());
        QCOMPARE(image.width, 16);
        QCOMPARE(image.height, 12);
        QCOMPARE(image.channels, 4);
        QCOMPARE(image.data.size(), qsizetype(image.rowStride) * 12);
        QCOMPARE(image.data.left(4), QByteArray("\xC8\x1E\x28\xFF", 4)); // RGBA of the first pixel
        zorvane::testing::stopServer();
    }

    // A row's later alert replaces its notification, even when sent before the server has
    // answered the first; other rows get their own.
    void laterAlertReplacesTheRowsNotification() {
        NotificationServer server;
        QVERIFY(zorvane::testing::startServer(server));
        app::DesktopNotifier notifier(QDBusConnection::sessionBus());
        notifier.notify(7, QStringLiteral("赤兔马"), 600);
        notifier.notify(7, QStringLiteral("赤兔马"), 300);
        notifier.notify(8, QStringLiteral("Dragon"), 300);
        QTRY_COMPARE(server.calls.size(), 3);
        QTest::qWait(100);
        const uint first = server.calls[0].id;
        QVERIFY(first != 0);
        QList<NotifyCall> row7;
        QList<NotifyCall> row8;
        for (const NotifyCall& call : server.calls) {
            (call.summary == QStringLiteral("Dragon") ? row8 : row7).append(call);
        }
        QCOMPARE(row7.size(), 2);
        QCOMPARE(row7[1].replaces, first);
        QCOMPARE(row7[1].body, QStringLiteral("5 分钟后刷新"));
        QCOMPARE(row8.size(), 1);
        QCOMPARE(row8[0].replaces, 0u);
        QVERIFY(row8[0].id != first);

        notifier.notify(7, QStringLiteral("赤兔马"), 0);
        QTRY_COMPARE(server.calls.size(), 4);
        QCOMPARE(server.calls[3].replaces, first);

        notifier.close(7);
        QTRY_COMPARE(server.closed, QList<uint>{first});
        notifier.notify(7, QStringLiteral("赤兔马"), 300);
        QTRY_COMPARE(server.calls.size(), 5);
        QCOMPARE(server.calls[4].replaces, 0u); // closed: a new notification
        zorvane::testing::stopServer();
    }

    // An alert about a line names the line and its server in the title; a row's own alert
    // reads as it always did.
    void alertsNameTheirLine_data() {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("title");
        QTest::newRow("row") << QString() << QString() << QStringLiteral("青龙");
        QTest::newRow("line") << QString() << QStringLiteral("2") << QStringLiteral("青龙 2线");
        QTest::newRow("line on a server")
            << QStringLiteral("一区") << QStringLiteral("2") << QStringLiteral("青龙 2线 @ 一区");
        QTest::newRow("named line")
            << QStringLiteral("二区") << QStringLiteral("A") << QStringLiteral("青龙 A @ 二区");
    }

    void alertsNameTheirLine() {
        QFETCH(QString, server);
        QFETCH(QString, line);
        QFETCH(QString, title);
        const testing::TempDir dir;
        const app::Preferences preferences(
            QString::fromStdString((dir.path() / "preferences.ini").string()));
        NotificationServer notifications;
        QVERIFY(zorvane::testing::startServer(notifications));
        app::DesktopNotifier notifier(QDBusConnection::sessionBus());
        app::AlertDispatch dispatch(preferences, &notifier);
        schedule::Alert alert;
        alert.rowId = 4;
        alert.boss = "青龙";
        alert.secondsLeft = 300;
        alert.leadMinutes = 5;
        alert.lineId = line.isEmpty() ? 0 : 12;
        alert.server = server.toStdString();
        alert.line = line.toStdString();
        dispatch.present(alert);
        QTRY_COMPARE(notifications.calls.size(), 1);
        QCOMPARE(notifications.calls[0].summary, title);
        QCOMPARE(notifications.calls[0].body, QStringLiteral("5 分钟后刷新"));
        zorvane::testing::stopServer();
    }

    // Lines of one row, and one line on two servers, keep a notification each; a line's next
    // alert replaces its own, and closing the row closes all of them.
    void linesKeepTheirOwnNotifications() {
        NotificationServer server;
        QVERIFY(zorvane::testing::startServer(server));
        app::DesktopNotifier notifier(QDBusConnection::sessionBus());
        const app::NotificationKey line2{7, QStringLiteral("一区"), QStringLiteral("2")};
        const app::NotificationKey line3{7, QStringLiteral("一区"), QStringLiteral("3")};
        const app::NotificationKey otherServer{7, QStringLiteral("二区"), QStringLiteral("2")};
        notifier.notify(line2, QStringLiteral("青龙 2线 @ 一区"), 300, QStringLiteral("a"));
        notifier.notify(line3, QStringLiteral("青龙 3线 @ 一区"), 300, QStringLiteral("b"));
        notifier.notify(otherServer, QStringLiteral("青龙 2线 @ 二区"), 300, QStringLiteral("c"));
        notifier.notify(7, QStringLiteral("青龙"), 300); // the row's own
        QTRY_COMPARE(server.calls.size(), 4);
        QTest::qWait(100); // the answers reach the notifier
        QList<uint> ids;
        for (const NotifyCall& call : server.calls) {
            QCOMPARE(call.replaces, 0u);
            QVERIFY(!ids.contains(call.id));
            ids << call.id;
        }
        notifier.notify(line3, QStringLiteral("青龙 3线 @ 一区"), 0, QStringLiteral("d"));
        QTRY_COMPARE(server.calls.size(), 5);
        QCOMPARE(server.calls[4].replaces, ids[1]);

        notifier.close(line2);
        QTRY_COMPARE(server.closed, QList<uint>{ids[0]});
        notifier.close(7);
        QTRY_COMPARE(server.closed.size(), 4);
        std::sort(server.closed.begin(), server.closed.end());
        std::sort(ids.begin(), ids.end());
        QCOMPARE(server.closed, ids);
        zorvane::testing::stopServer();
    }

    void actionsReachTheWindow_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("ours");
        QTest::addColumn<int>("silences");
        QTest::addColumn<int>("shows");
        QTest::newRow("静音") << QStringLiteral("silence") << true << 1 << 0;
        QTest::newRow("显示") << QStringLiteral("show") << true << 0 << 1;
        QTest::newRow("click") << QStringLiteral("default") << true << 0 << 1;
        QTest::newRow("unknown action") << QStringLiteral("reply") << true << 0 << 0;
        QTest::newRow("another program's") << QStringLiteral("silence") << false << 0 << 0;
    }

    void actionsReachTheWindow() {
        QFETCH(QString, action);
        QFETCH(bool, ours);
        QFETCH(int, silences);
        QFETCH(int, shows);
        NotificationServer server;
        QVERIFY(zorvane::testing::startServer(server));
        app::DesktopNotifier notifier(QDBusConnection::sessionBus());
        QSignalSpy silence(&notifier, &app::DesktopNotifier::silenceRequested);
        QSignalSpy show(&notifier, &app::DesktopNotifier::showRequested);
        notifier.notify(7, QStringLiteral("赤兔马"), 0);
        notifier.notify(9, QStringLiteral("Dragon"), 0);
        QTRY_COMPARE(server.calls.size(), 2);
        QTest::qWait(100); // the answers reach the notifier
        const uint id = server.calls[0].id;
        ClosedCounter barrier;
        QVERIFY(QDBusConnection::sessionBus().connect(
            QString::fromLatin1(app::DesktopNotifier::kService),
            QString::fromLatin1(app::DesktopNotifier::kPath),
            QString::fromLatin1(app::DesktopNotifier::kInterface),
            QStringLiteral("NotificationClosed"), &barrier, SLOT(closed(uint, uint))));
        emit server.ActionInvoked(ours ? id : 999, action);
        emit server.NotificationClosed(server.calls[1].id, 2);
        QTRY_COMPARE(barrier.count, 1);
        QCoreApplication::processEvents();
        // The closed notification is forgotten: the row's next alert makes a new one.
        notifier.notify(9, QStringLiteral("Dragon"), 0);
        QTRY_COMPARE(server.calls.size(), 3);
        QCOMPARE(server.calls[2].replaces, 0u);
        QCOMPARE(silence.count(), silences);
        QCOMPARE(show.count(), shows);
        if (shows > 0) {
            QCOMPARE(show.at(0).at(0).value<std::uint64_t>(), std::uint64_t{7});
        }
        zorvane::testing::stopServer();
    }

    // A notifier whose bus comes later sends nothing before it, then each row's or line's
    // newest alert once; what was closed meanwhile never shows. Steps: "nR:S" notifies row
    // R (S seconds left), "nR/L:S" its line L; "cR" closes row R, "cR/L" one line of it.
    void alertsWaitForTheBus_data() {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("sent"); // "title|body", in any order
        QTest::newRow("nothing") << QString() << QStringList();
        QTest::newRow("a row's newest alert")
            << QStringLiteral("n1:600 n1:0") << QStringList{QStringLiteral("boss1|已刷新")};
        QTest::newRow("rows apart") << QStringLiteral("n1:600 n2:300")
                                    << QStringList{QStringLiteral("boss1|10 分钟后刷新"),
                                                   QStringLiteral("boss2|5 分钟后刷新")};
        QTest::newRow("closed before the bus") << QStringLiteral("n1:600 c1 n2:300")
                                               << QStringList{QStringLiteral("boss2|5 分钟后刷新")};
        QTest::newRow("notified again after a close")
            << QStringLiteral("n1:600 c1 n1:60")
            << QStringList{QStringLiteral("boss1|1 分钟后刷新")};
        QTest::newRow("a row's close takes its lines")
            << QStringLiteral("n1/A:600 n1/B:300 n3:60 c1")
            << QStringList{QStringLiteral("boss3|1 分钟后刷新")};
        QTest::newRow("one line closed") << QStringLiteral("n1/A:600 n1/B:300 c1/A n1/B:0")
                                         << QStringList{QStringLiteral("boss1 B|已刷新")};
    }

    void alertsWaitForTheBus() {
        QFETCH(QString, steps);
        QFETCH(QStringList, sent);
        NotificationServer server;
        QVERIFY(zorvane::testing::startServer(server));
        app::DesktopNotifier notifier(app::DesktopNotifier::BusLater{}, icon());
        QVERIFY(!notifier.hasBus());
        for (const QString& step : steps.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QStringList target = step.mid(1).section(QLatin1Char(':'), 0, 0).split('/');
            const app::NotificationKey key{target[0].toULongLong(), QStringLiteral("s"),
                                           target.value(1)};
            if (step.startsWith(QLatin1Char('c'))) {
                key.line.isEmpty() ? notifier.close(key.row) : notifier.close(key);
                continue;
            }
            const qint64 left = step.section(QLatin1Char(':'), 1).toLongLong();
            const QString title = QStringLiteral("boss") + target[0] +
                                  (key.line.isEmpty() ? QString() : QLatin1Char(' ') + key.line);
            if (key.line.isEmpty()) {
                notifier.notify(key.row, title, left);
            } else {
                notifier.notify(key, title, left, app::DesktopNotifier::bodyText(left));
            }
        }
        QTest::qWait(200);
        QCOMPARE(server.calls.size(), 0);

        notifier.attachBus(QDBusConnection::sessionBus());
        QVERIFY(notifier.hasBus());
        QTRY_COMPARE(server.calls.size(), sent.size());
        notifier.attachBus(QDBusConnection::sessionBus()); // once: nothing goes out twice
        QTest::qWait(200);
        QStringList got;
        for (const NotifyCall& call : server.calls) {
            got << call.summary + QLatin1Char('|') + call.body;
            QCOMPARE(call.replaces, 0u);
            QVERIFY(call.hints.contains(QStringLiteral("image-data")));
        }
        got.sort();
        sent.sort();
        QCOMPARE(got, sent);
        QCOMPARE(server.closed.size(), 0);

        // From now on as any notifier: a row's next alert replaces its notification.
        if (!server.calls.isEmpty()) {
            const NotifyCall first = server.calls.first();
            const QString row = first.summary.section(QLatin1Char(' '), 0, 0).mid(4);
            if (!first.summary.contains(QLatin1Char(' '))) {
                notifier.notify(row.toULongLong(), first.summary, 30);
                QTRY_COMPARE(server.calls.size(), sent.size() + 1);
                QCOMPARE(server.calls.last().replaces, first.id);
            }
        }
        zorvane::testing::stopServer();
    }

    // A connection that never reached a bus: every call is a quiet no-op.
    void withoutABus() {
        const QDBusConnection none = QDBusConnection::connectToBus(
            QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("no-bus"));
        QVERIFY(!none.isConnected());
        app::DesktopNotifier notifier(none);
        notifier.notify(1, QStringLiteral("黑龙王"), 0);
        notifier.close(1);
        QTest::qWait(50);
    }
};

QTEST_MAIN(DesktopNotifierTest)
#include "test_desktopnotifier.moc"
