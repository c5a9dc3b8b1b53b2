// The tray against a StatusNotifierItem watcher of our own on a private session bus: the icon
// registers with the watcher, the item it exports names the next bosses in its tooltip, and
// its icon changes with the state.
// Runs under dbus-run-session and xvfb-run: Qt's tray speaks StatusNotifierItem only through
// the desktop themes of a real windowing platform (see tests/widgets/CMakeLists.txt).
#include "widgets/alerttray.h"
#include "widgets/traysummary.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QMutex>
#include <QMutexLocker>
#include <QSystemTrayIcon>
#include <QTest>
#include <QThread>

#include <variant>

using namespace zorvane;

namespace {

const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");

// A minimal org.kde.StatusNotifierWatcher that records the items registered with it. It lives
// on a thread of its own, since Qt asks it a property synchronously from the window thread.
class Watcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
public:
    bool isHostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const {
        const QMutexLocker lock(&m_mutex);
        return m_items;
    }

public slots:
    void RegisterStatusNotifierItem(const QString& service) {
        {
            const QMutexLocker lock(&m_mutex);
            m_items.append(service);
        }
        emit StatusNotifierItemRegistered(service);
    }
    void RegisterStatusNotifierHost(const QString&) {}

signals:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierItemUnregistered(const QString& service);
    void StatusNotifierHostRegistered();

private:
    mutable QMutex m_mutex;
    QStringList m_items;
};

QDBusConnection watcherBus() {
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("watcher"));
}

// Reads an array of pixmaps, a(iiay), and gives their pixels joined.
QByteArray pixmapBytes(const QDBusArgument& arg) {
    QByteArray pixels;
    arg.beginArray();
    while (!arg.atEnd()) {
        int width = 0;
        int height = 0;
        QByteArray bytes;
        arg.beginStructure();
        arg >> width >> height >> bytes;
        arg.endStructure();
        pixels += bytes;
    }
    arg.endArray();
    return pixels;
}

// The tooltip's title from the item's ToolTip property, (s a(iiay) s s): icon name, pixmaps,
// title, text.
QString toolTipTitle(const QDBusArgument& arg) {
    QString iconName;
    QString title;
    QString text;
    arg.beginStructure();
    arg >> iconName;
    pixmapBytes(arg);
    arg >> title >> text;
    arg.endStructure();
    return title + QLatin1Char('|') + text;
}

// One property of the item, or the error as a string; asynchronous, since the item lives on
// this thread.
std::variant<QDBusArgument, QString> readProperty(const QString& item, const QString& name) {
    QDBusMessage get = QDBusMessage::createMethodCall(
        item, QStringLiteral("/StatusNotifierItem"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get.setArguments({QStringLiteral("org.kde.StatusNotifierItem"), name});
    QDBusPendingCall call = watcherBus().asyncCall(get);
    if (!QTest::qWaitFor([&] { return call.isFinished(); }, 5000)) {
        return QStringLiteral("no answer");
    }
    const QDBusMessage reply = call.reply();
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return reply.errorMessage();
    }
    const QVariant value = qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant();
    return qvariant_cast<QDBusArgument>(value);
}

// The item's ToolTip property (title|text) or the error.
QString readToolTip(const QString& item) {
    const auto value = readProperty(item, QStringLiteral("ToolTip"));
    if (const auto* error = std::get_if<QString>(&value)) {
        return *error;
    }
    return toolTipTitle(std::get<QDBusArgument>(value));
}

// The pixels of the item's IconPixmap property: every size it offers, joined.
QByteArray readIconPixels(const QString& item) {
    const auto value = readProperty(item, QStringLiteral("IconPixmap"));
    if (std::holds_alternative<QString>(value)) {
        return {};
    }
    return pixmapBytes(std::get<QDBusArgument>(value));
}

} // namespace

class TrayWatcherTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY2(qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"),
                 "run under dbus-run-session");
        m_thread.start();
        m_watcher.moveToThread(&m_thread);
        // Registered from its own thread, where the bus creates its adaptor.
        bool registered = false;
        QMetaObject::invokeMethod(
            &m_watcher,
            [&] {
                QDBusConnection bus = watcherBus();
                registered = bus.isConnected() &&
                             bus.registerObject(kWatcherPath, &m_watcher,
                                                QDBusConnection::ExportAllSlots |
                                                    QDBusConnection::ExportAllSignals |
                                                    QDBusConnection::ExportAllProperties) &&
                             bus.registerService(kWatcherService);
            },
            Qt::BlockingQueuedConnection);
        QVERIFY(registered);
    }

    void cleanupTestCase() {
        QMetaObject::invokeMethod(
            &m_watcher,
            [this] {
                QDBusConnection bus = watcherBus();
                bus.unregisterService(kWatcherService);
                bus.unregisterObject(kWatcherPath);
                m_watcher.moveToThread(QCoreApplication::instance()->thread());
            },
            Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }

    void theIconRegistersAndItsTooltipNamesTheNextBoss() {
        QVERIFY2(QSystemTrayIcon::isSystemTrayAvailable(),
                 "with a watcher on the bus the desktop has a tray");
        QPixmap pixmap(16, 16);
        pixmap.fill(Qt::red);
        app::AlertTray tray{QIcon(pixmap)};
        QVERIFY(tray.isShown());
        QTRY_COMPARE(m_watcher.items().size(), 1);
        const QString item = m_watcher.items().constFirst();
        QVERIFY2(QDBusConnection::sessionBus().interface()->isServiceRegistered(item),
                 qPrintable(item));

        app::TraySummary summary;
        summary.next.push_back({QStringLiteral("火龙 <img src=\"/dev/zero\">"),
                                QStringLiteral("00时05分00秒"), QString()});
        tray.setSummary(summary);
        // Read back over the bus from another connection, as a desktop's tray host would:
        // the name arrives escaped, so a host that reads markup shows it as typed.
        QTRY_VERIFY2_WITH_TIMEOUT(readToolTip(item).contains(QStringLiteral("&lt;img")) &&
                                      readToolTip(item).contains(QStringLiteral("/dev/zero\"&gt;")),
                                  qPrintable(readToolTip(item)), 5000);
        QVERIFY(!readToolTip(item).contains(QStringLiteral("<img")));

        // The icon the host draws changes with the state, and back.
        const QByteArray idle = readIconPixels(item);
        QVERIFY2(!idle.isEmpty(), "the item exports its icon");
        summary.state = app::TrayState::DueNow;
        tray.setSummary(summary);
        QTRY_VERIFY_WITH_TIMEOUT(readIconPixels(item) != idle, 5000);
        const QByteArray due = readIconPixels(item);
        summary.state = app::TrayState::Lead;
        tray.setSummary(summary);
        QTRY_VERIFY_WITH_TIMEOUT(readIconPixels(item) != due && readIconPixels(item) != idle, 5000);
        summary.state = app::TrayState::Idle;
        tray.setSummary(summary);
        QTRY_COMPARE_WITH_TIMEOUT(readIconPixels(item), idle, 5000);
    }

    // A tray made before the desktop was asked gets its icon later, with the state and the
    // bosses set meanwhile; asking again adds no second item.
    void anIconShownLaterCarriesWhatWasSetBefore() {
        QPixmap pixmap(16, 16);
        pixmap.fill(Qt::blue);
        const int before = m_watcher.items().size();
        app::AlertTray tray(QIcon(pixmap), false);
        QVERIFY(!tray.isShown());
        app::TraySummary summary;
        summary.state = app::TrayState::DueNow;
        summary.next.push_back({QStringLiteral("冰龙"), QStringLiteral("00时00分30秒"), QString()});
        tray.setSummary(summary);
        QTest::qWait(50);
        QCOMPARE(m_watcher.items().size(), before);

        const struct {
            bool available;
            bool shown;
            int items;
        } steps[] = {{false, false, before}, {true, true, before + 1}, {true, true, before + 1}};
        for (const auto& step : steps) {
            tray.showIcon(step.available);
            QCOMPARE(tray.isShown(), step.shown);
            QTRY_COMPARE(m_watcher.items().size(), step.items);
        }
        const QString item = m_watcher.items().constLast();
        QTRY_VERIFY2_WITH_TIMEOUT(readToolTip(item).contains(QStringLiteral("冰龙")),
                                  qPrintable(readToolTip(item)), 5000);
        // The badge set before the icon existed is the one the host draws.
        const QByteArray due = readIconPixels(item);
        summary.state = app::TrayState::Idle;
        tray.setSummary(summary);
        QTRY_VERIFY_WITH_TIMEOUT(readIconPixels(item) != due, 5000);
    }

private:
    Watcher m_watcher;
    QThread m_thread;
};

QTEST_MAIN(TrayWatcherTest)
#include "test_traywatcher.moc"
