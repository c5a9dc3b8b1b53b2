// Notifications shown by a real notification daemon (dunst) on a private session bus and a
// virtual X display; its history is read back with dunstctl.
#include "services/desktopnotifier.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/prctl.h>

#include <csignal>

using namespace zorvane;

namespace {

// One field of a dunstctl history entry ({"type": ..., "data": ...}).
QJsonValue field(const QJsonObject& entry, const char* name) {
    return entry.value(QLatin1String(name)).toObject().value(QStringLiteral("data"));
}

} // namespace

class NotificationDaemonTest : public QObject {
    Q_OBJECT

private:
    QJsonArray history() {
        QProcess ctl;
        ctl.start(QStringLiteral("dunstctl"), {QStringLiteral("history")});
        if (!ctl.waitForFinished(10000)) {
            return {};
        }
        const QJsonDocument doc = QJsonDocument::fromJson(ctl.readAllStandardOutput());
        return doc.object().value(QStringLiteral("data")).toArray().at(0).toArray();
    }

    bool closeAll() {
        return QProcess::execute(QStringLiteral("dunstctl"), {QStringLiteral("close-all")}) == 0;
    }

private slots:
    void initTestCase() {
        QVERIFY2(qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"),
                 "run under dbus-run-session");
        QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "run under xvfb-run");
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("dunst")).isEmpty(),
                 "dunst is missing: run scripts/deps");
        QVERIFY(m_config.isValid());
        // The daemon reads no configuration of the machine's user.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config.path());
        m_daemon.setProcessEnvironment(env);
        m_daemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // A run killed on its time limit skips cleanupTestCase; the daemon, left without
        // its bus, would then spin at half a core for good.
        m_daemon.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_daemon.start(QStringLiteral("dunst"), {});
        QVERIFY(m_daemon.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QDBusConnection::sessionBus().interface()->isServiceRegistered(
                                     QString::fromLatin1(app::DesktopNotifier::kService)),
                                 10000);
    }

    void cleanupTestCase() {
        m_daemon.terminate();
        m_daemon.waitForFinished(5000);
    }

    // The daemon shows the alert as sent, and a row's later alert replaces the earlier one.
    void daemonShowsAndReplaces() {
        app::DesktopNotifier notifier;
        notifier.notify(3, QStringLiteral("黑龙王"), 300);
        notifier.notify(4, QStringLiteral("Dragon"), 600);
        notifier.notify(3, QStringLiteral("黑龙王"), 0);
        QTest::qWait(1000); // the third call goes out once the first is answered
        QVERIFY(closeAll());

        QJsonArray entries;
        QTRY_VERIFY((entries = history()).size() >= 2);
        QCOMPARE(entries.size(), 2); // the row's second alert replaced its first
        QJsonObject dragon;
        QJsonObject boss;
        for (const QJsonValue& value : entries) {
            const QJsonObject entry = value.toObject();
            (field(entry, "summary").toString() == QStringLiteral("Dragon") ? dragon : boss) =
                entry;
        }
        QCOMPARE(field(boss, "summary").toString(), QStringLiteral("黑龙王"));
        QCOMPARE(field(boss, "body").toString(), QStringLiteral("已刷新"));
        // The history keeps no urgency, but a critical alert stays until dismissed.
        QCOMPARE(field(boss, "timeout").toInteger(-1), 0);
        QCOMPARE(field(boss, "appname").toString(), QStringLiteral("Zorvane"));
        QCOMPARE(field(dragon, "body").toString(), QStringLiteral("10 分钟后刷新"));
        QVERIFY(field(dragon, "timeout").toInteger(0) > 0);
    }

private:
    QTemporaryDir m_config;
    QProcess m_daemon;
};

QTEST_MAIN(NotificationDaemonTest)
#include "test_notificationdaemon.moc"
