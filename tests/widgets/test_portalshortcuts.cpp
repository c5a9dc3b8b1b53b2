// The global keys through the desktop portal, against a portal service of the test's own on
// a private session bus: the call sequence, presses that reach the window, and a desktop
// without the portal (or without its GlobalShortcuts), which only the 桌面快捷键 page notes.
#include "periodic/globals.h"
#include "schedule/bosstable.h"
#include "services/portalshortcuts.h"
#include "services/session.h"
#include "services/ticksupport.h"
#include "tests/support/bossrows.h"
#include "tests/support/fakeclock.h"
#include "widgets/bossgrid.h"
#include "widgets/mainwindow.h"
#include "widgets/overlay.h"
#include "widgets/preferencesdialog.h"
#include "widgets/shortcutpage.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QItemSelectionModel>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace zorvane;
using app::PortalShortcuts;

using app::PortalShortcutEntry;

namespace {

// A portal as the desktop's would answer: every call's reply, then its Response signal on
// the request object named from the caller and its handle_token.
class FakePortal final : public QDBusVirtualObject {
public:
    enum class Mode { Full, WithoutGlobalShortcuts, BindCancelled };
    Mode mode = Mode::Full;
    QStringList calls;
    QList<PortalShortcutEntry> bound;
    const QString session = QStringLiteral("/org/freedesktop/portal/desktop/session/1/zorvane");

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& bus) override {
        calls << message.member();
        const QList<QVariant> arguments = message.arguments();
        if (message.member() == QLatin1String("Get")) {
            bus.send(mode == Mode::WithoutGlobalShortcuts
                         ? message.createErrorReply(QDBusError::UnknownInterface,
                                                    QStringLiteral("No such interface"))
                         : message.createReply(QVariant::fromValue(QDBusVariant(2U))));
        } else if (message.member() == QLatin1String("CreateSession")) {
            respond(message, bus, qdbus_cast<QVariantMap>(arguments.value(0)), 0,
                    {{QStringLiteral("session_handle"), session}});
        } else if (message.member() == QLatin1String("BindShortcuts")) {
            bound = qdbus_cast<QList<PortalShortcutEntry>>(arguments.value(1));
            QList<PortalShortcutEntry> answered = bound;
            for (PortalShortcutEntry& entry : answered) {
                entry.properties.insert(QStringLiteral("trigger_description"),
                                        QStringLiteral("Ctrl+Alt+") + entry.id.left(1).toUpper());
            }
            respond(message, bus, qdbus_cast<QVariantMap>(arguments.value(3)),
                    mode == Mode::BindCancelled ? 1U : 0U,
                    {{QStringLiteral("shortcuts"), QVariant::fromValue(answered)}});
        } else {
            return false;
        }
        return true;
    }

    void press(const QString& id, const QString& inSession = {}) const {
        QDBusMessage signal = QDBusMessage::createSignal(QLatin1String(PortalShortcuts::kPath),
                                                         QLatin1String(PortalShortcuts::kInterface),
                                                         QStringLiteral("Activated"));
        signal << QVariant::fromValue(QDBusObjectPath(inSession.isEmpty() ? session : inSession))
               << id << QVariant::fromValue(qulonglong(1)) << QVariantMap();
        portalBus().send(signal);
    }

    static QDBusConnection portalBus() {
        return QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                             QStringLiteral("fake-portal"));
    }

private:
    static void respond(const QDBusMessage& call, const QDBusConnection& bus,
                        const QVariantMap& options, uint code, const QVariantMap& results) {
        const QString request = PortalShortcuts::requestPath(
            call.service(), options.value(QStringLiteral("handle_token")).toString());
        bus.send(call.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        QDBusMessage response = QDBusMessage::createSignal(
            request, QLatin1String(PortalShortcuts::kRequestInterface), QStringLiteral("Response"));
        response << code << results;
        bus.send(response);
    }
};

} // namespace

class PortalShortcutsTest : public QObject {
    Q_OBJECT

private:
    // Starts the window over a fresh session; with the fake portal on the bus when asked.
    void start(bool withPortal) {
        if (withPortal) {
            QDBusConnection bus = FakePortal::portalBus();
            QVERIFY(bus.registerVirtualObject(QLatin1String(PortalShortcuts::kPath), &m_portal));
            QVERIFY(bus.registerService(QLatin1String(PortalShortcuts::kService)));
        }
        m_dir = std::make_unique<QTemporaryDir>();
        m_globals = std::make_unique<periodic::AppGlobals>();
        m_session = std::make_unique<app::Session>(
            app::SessionSetup::window(*m_globals, m_clock, m_dir->path().toStdString()));
        m_window = std::make_unique<app::MainWindow>(*m_session,
                                                     app::WindowSetup{.portalShortcuts = true});
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_globals->tickTimer().stop();
        QTRY_VERIFY(m_window->portalShortcuts() != nullptr);
    }

    PortalShortcuts::State portalState() const { return m_window->portalShortcuts()->state(); }

    QString pageText() {
        app::PreferencesDialog* dialog = m_window->openPreferences();
        auto* page = dialog->findChild<app::ShortcutPage*>();
        return page != nullptr ? page->portalText() : QStringLiteral("(no page)");
    }

    schedule::RowId addBoss(const std::string& name, const char* lastTime, const char* nextTime,
                            bool use) {
        return zorvane::testing::addBossRow(m_session->table(), name, lastTime, nextTime, use);
    }

    std::string lastTime(schedule::RowId id) const {
        return m_session->table().row(id)->text[schedule::kLastTimeColumn];
    }

private slots:
    void initTestCase() {
        QVERIFY2(qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"),
                 "run under dbus-run-session");
        // The portal's side reads and answers the list before the window registers it.
        qDBusRegisterMetaType<PortalShortcutEntry>();
        qDBusRegisterMetaType<QList<PortalShortcutEntry>>();
    }

    void cleanup() {
        m_window.reset();
        m_session.reset();
        m_globals.reset();
        m_dir.reset();
        QDBusConnection bus = FakePortal::portalBus();
        bus.unregisterService(QLatin1String(PortalShortcuts::kService));
        bus.unregisterObject(QLatin1String(PortalShortcuts::kPath));
        m_portal.calls.clear();
        m_portal.bound.clear();
        m_portal.mode = FakePortal::Mode::Full;
    }

    void theShortcutsAreBoundInASessionOfTheirOwn() {
        start(true);
        QTRY_COMPARE(portalState(), PortalShortcuts::State::Bound);
        QCOMPARE(m_portal.calls,
                 (QStringList{QStringLiteral("Get"), QStringLiteral("CreateSession"),
                              QStringLiteral("BindShortcuts")}));
        QStringList ids;
        for (const PortalShortcutEntry& entry : std::as_const(m_portal.bound)) {
            ids << entry.id;
            QVERIFY(!entry.properties.value(QStringLiteral("description")).toString().isEmpty());
        }
        QCOMPARE(ids, (QStringList{QStringLiteral("kill"), QStringLiteral("overlay"),
                                   QStringLiteral("silence")}));
        // The keys the desktop chose are shown to the player.
        QVERIFY2(pageText().contains(QStringLiteral("Ctrl+Alt+K")), qPrintable(pageText()));
    }

    void aPressRunsItsActionOnTheWindow_data() {
        QTest::addColumn<QString>("id");
        QTest::addColumn<bool>("selectSecond");
        QTest::addColumn<bool>("otherSession");
        QTest::addColumn<int>("killed"); // 0 none, 1 the first due, 2 the second
        QTest::addColumn<bool>("overlayShown");
        QTest::newRow("kill, nothing selected: the next due")
            << "kill" << false << false << 1 << false;
        QTest::newRow("kill of the selected row") << "kill" << true << false << 2 << false;
        QTest::newRow("overlay") << "overlay" << false << false << 0 << true;
        QTest::newRow("silence") << "silence" << false << false << 0 << false;
        QTest::newRow("an id not bound") << "quit" << false << false << 0 << false;
        QTest::newRow("another session's press") << "kill" << false << true << 0 << false;
    }

    void aPressRunsItsActionOnTheWindow() {
        QFETCH(QString, id);
        QFETCH(bool, selectSecond);
        QFETCH(bool, otherSession);
        QFETCH(int, killed);
        QFETCH(bool, overlayShown);
        m_clock.set(10, 20, 0);
        start(true);
        QTRY_COMPARE(portalState(), PortalShortcuts::State::Bound);
        // Due 10:30 and 10:40; the unchecked one (due 10:25) is never the next due.
        const schedule::RowId first = addBoss("火龙", "10:00:00", "10:30:00", true);
        const schedule::RowId second = addBoss("冰龙", "10:10:00", "10:40:00", true);
        const schedule::RowId unchecked = addBoss("石像", "09:55:00", "10:25:00", false);
        m_session->tick()->onTick();
        m_window->grid()->selectionModel()->clearSelection();
        if (selectSecond) {
            m_window->showRow(second);
        }
        const std::string before[] = {lastTime(first), lastTime(second), lastTime(unchecked)};
        m_clock.set(10, 21, 0);
        m_portal.press(id, otherSession
                               ? QStringLiteral("/org/freedesktop/portal/desktop/session/1/other")
                               : QString());
        if (killed != 0) {
            QTRY_VERIFY(lastTime(killed == 1 ? first : second) != before[killed - 1]);
            QCOMPARE(lastTime(killed == 1 ? first : second).substr(0, 5), std::string("10:21"));
        } else {
            // The signal has crossed the bus once a call made after it is answered.
            QTest::qWait(200);
        }
        QCOMPARE(lastTime(first) != before[0], killed == 1);
        QCOMPARE(lastTime(second) != before[1], killed == 2);
        QCOMPARE(lastTime(unchecked), before[2]);
        if (overlayShown) {
            QTRY_VERIFY(m_window->overlay()->isVisible());
        } else {
            QVERIFY(m_window->overlay() == nullptr || !m_window->overlay()->isVisible());
        }
    }

    void aDesktopWithoutTheKeysIsToldAndHarmless_data() {
        QTest::addColumn<bool>("withPortal");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("detail");
        QTest::newRow("no portal")
            << false << int(FakePortal::Mode::Full) << int(PortalShortcuts::State::Missing)
            << "org.freedesktop.DBus.Error.ServiceUnknown";
        QTest::newRow("a portal without GlobalShortcuts")
            << true << int(FakePortal::Mode::WithoutGlobalShortcuts)
            << int(PortalShortcuts::State::Missing)
            << "org.freedesktop.DBus.Error.UnknownInterface";
        QTest::newRow("the player cancels the portal's dialog")
            << true << int(FakePortal::Mode::BindCancelled) << int(PortalShortcuts::State::Failed)
            << "cancelled";
    }

    void aDesktopWithoutTheKeysIsToldAndHarmless() {
        QFETCH(bool, withPortal);
        QFETCH(int, mode);
        QFETCH(int, state);
        QFETCH(QString, detail);
        m_portal.mode = static_cast<FakePortal::Mode>(mode);
        start(withPortal);
        QTRY_COMPARE(int(portalState()), state);
        QVERIFY2(m_window->portalShortcuts()->detail().startsWith(detail),
                 qPrintable(m_window->portalShortcuts()->detail()));
        const QString page = pageText();
        QVERIFY2(page.contains(QStringLiteral("下面的命令")) && page.contains(detail),
                 qPrintable(page));
        // A press from nowhere does nothing, and the window's own keys still work.
        const schedule::RowId boss = addBoss("火龙", "10:00:00", "10:30:00", true);
        m_portal.press(QStringLiteral("kill"));
        QTest::qWait(200);
        QCOMPARE(lastTime(boss), std::string("10:00:00"));
        QVERIFY(m_window->isVisible());
    }

private:
    FakePortal m_portal;
    testing::FakeClock m_clock;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<periodic::AppGlobals> m_globals;
    std::unique_ptr<app::Session> m_session;
    std::unique_ptr<app::MainWindow> m_window;
};

QTEST_MAIN(PortalShortcutsTest)
#include "test_portalshortcuts.moc"
