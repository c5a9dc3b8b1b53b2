// Two windows in one room on a real mosquitto broker started by each test: kills travel
// both ways into the other table and history, stale kills change nothing, unknown bosses
// are offered, the state line tells connected and refused, and --room stores the link. On
// a broker that gives members roles: retractions put rows back and are logged, and the
// room panel shows the role and every member's refusals.

#include "cli/roomoption.h"
#include "config/configfiles.h"
#include "history/killhistory.h"
#include "history/roomaudit.h"
#include "periodic/globals.h"
#include "schedule/cycle.h"
#include "schedule/instant.h"
#include "schedule/spawnrule.h"
#include "services/configwriter.h"
#include "services/language.h"
#include "services/linebook.h"
#include "services/preferences.h"
#include "services/roomconnection.h"
#include "services/session.h"
#include "share/killevent.h"
#include "tests/share/localbroker.h"
#include "tests/share/roommembers.h"
#include "tests/support/fakeclock.h"
#include "tests/support/scriptedlistdialogs.h"
#include "widgets/bossgrid.h"
#include "widgets/gridcontroller.h"
#include "widgets/historydialog.h"
#include "widgets/mainwindow.h"
#include "widgets/roompanel.h"
#include "widgets/roomstatus.h"
#include "widgets/rowmenu.h"
#include "widgets/writenotice.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTranslator>

#include <mosquitto.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

using namespace zorvane;

namespace {

constexpr int kPatienceMs = 30000;
const QString kConnected = QStringLiteral("房间 guild：已连接");

// One member: a window of its own over its own directory.
QString capitalised(const char* word) {
    QString text = QString::fromLatin1(word);
    if (!text.isEmpty()) {
        text[0] = text[0].toUpper();
    }
    return text;
}

struct Member {
    Member(const QString& link, const QString& nickname, const schedule::Clock& clock,
           const QString& password = {}, app::BossListDialogs* dialogs = nullptr) {
        {
            app::Preferences preferences(dir.filePath(app::Preferences::fileName()));
            if (!preferences.roomLink.set(link) || !preferences.roomNickname.set(nickname) ||
                !preferences.roomPassword.set(password)) {
                qFatal("the member's preferences cannot be written");
            }
        }
        session = std::make_unique<app::Session>(app::SessionSetup::window(globals, clock, path()));
        window = std::make_unique<app::MainWindow>(*session,
                                                   app::WindowSetup{.bossListDialogs = dialogs});
        // The times the test gives the rows stay as they are: no countdown passes.
        globals.tickTimer().stop();
        window->show();
    }
    // A member of the trusted room by its user name: "olga" is Olga, password "olga-pw".
    Member(const QString& link, const char* user, const schedule::Clock& clock)
        : Member(link, capitalised(user), clock,
                 QString::fromLatin1(user) + QStringLiteral("-pw")) {}
    ~Member() {
        window.reset();
        session.reset();
        globals.teardown();
    }
    std::string path() const { return dir.path().toStdString(); }
    schedule::BossTable& table() const { return session->table(); }
    QString line() const { return window->roomStatusLine()->text(); }

    // Adds a row killed at `lastUtc`; returns its index.
    int addRow(const std::string& name, int period, bool checked, schedule::UtcSeconds lastUtc) {
        const int row = table().appendRow();
        const schedule::RowId id = table().rowId(row);
        table().setCellTexts(
            id, {{schedule::kNameColumn, name}, {schedule::kPeriodColumn, std::to_string(period)}});
        table().setDatedCellTextsIf(
            id, {},
            {{schedule::kLastTimeColumn, schedule::clockTimeText(schedule::toLocal(lastUtc))},
             {schedule::kNextTimeColumn, schedule::nextTimeText(lastUtc, period)}},
            lastUtc);
        table().setCheckState(row, checked);
        return row;
    }
    std::optional<schedule::UtcSeconds> lastUtc(int row) const {
        return table().timing(row)->lastUtc;
    }

    // What the platform delivers for a double click on the row's last time.
    void doubleClickLastTime(int row) {
        app::BossGrid* grid = window->grid();
        QWidget* viewport = grid->viewport();
        const QPoint pos =
            grid->visualRect(grid->model()->index(row - 1, schedule::kLastTimeColumn)).center();
        QTest::mousePress(viewport, Qt::LeftButton, {}, pos);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, pos);
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, pos);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, pos);
    }

    QTemporaryDir dir;
    periodic::AppGlobals globals;
    std::unique_ptr<app::Session> session;
    std::unique_ptr<app::MainWindow> window;
};

// Publishes payloads as another program would, with ids and instants the test chooses.
class RawPublisher {
public:
    // Its messages say they were sent at the members' "now", `clock`.
    RawPublisher(int port, const schedule::Clock& clock)
        : m_mosq(mosquitto_new(nullptr, true, this)), m_clock(clock) {
        mosquitto_publish_callback_set(m_mosq, [](mosquitto*, void* self, int) {
            ++static_cast<RawPublisher*>(self)->m_acknowledged;
        });
        m_ok = mosquitto_connect(m_mosq, "127.0.0.1", port, 30) == MOSQ_ERR_SUCCESS &&
               mosquitto_loop_start(m_mosq) == MOSQ_ERR_SUCCESS;
    }
    ~RawPublisher() {
        mosquitto_disconnect(m_mosq);
        mosquitto_loop_stop(m_mosq, false);
        mosquitto_destroy(m_mosq);
    }
    bool ok() const { return m_ok; }

    // Publishes a kill event from "carol" and waits until the broker has it.
    bool publish(const std::string& boss, std::int64_t killUtc, const std::string& eventId) {
        const int before = m_acknowledged.load();
        return send(boss, killUtc, eventId) &&
               QTest::qWaitFor([&] { return m_acknowledged.load() > before; }, kPatienceMs);
    }

    // Publishes the kills one after another and waits, without running the window's
    // events meanwhile, until the broker has them all.
    bool publishAll(const std::vector<std::pair<std::string, std::int64_t>>& kills) {
        const int before = m_acknowledged.load();
        for (const auto& [boss, killUtc] : kills) {
            if (!send(boss, killUtc, share::randomId())) {
                return false;
            }
        }
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatienceMs);
        while (m_acknowledged.load() < before + static_cast<int>(kills.size())) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

private:
    bool send(const std::string& boss, std::int64_t killUtc, const std::string& eventId) {
        share::KillEvent event{boss,
                               60,
                               0,
                               killUtc,
                               "carol",
                               std::string(32, 'c'),
                               schedule::toUtc(m_clock.now()) * 1000,
                               eventId};
        const std::string payload = share::encodeKillEvent(event);
        const std::string topic = share::bossTopic("guild", boss);
        return mosquitto_publish(m_mosq, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                                 payload.data(), 1, false) == MOSQ_ERR_SUCCESS;
    }

    mosquitto* m_mosq;
    const schedule::Clock& m_clock;
    bool m_ok = false;
    std::atomic<int> m_acknowledged{0};
};

} // namespace

class RoomTest : public QObject {
    Q_OBJECT

private:
    QString link() const {
        return QStringLiteral("mqtt://127.0.0.1:%1/guild").arg(m_broker->port());
    }
    // A room whose broker gives every member a role of its own (the shipped set-up).
    void startTrustedRoom() {
        testing::BrokerOptions options;
        options.rooms = true;
        m_broker = std::make_unique<testing::LocalBroker>(options);
        QVERIFY2(m_broker->start(), m_broker->error().c_str());
        std::string output;
        QVERIFY2(m_broker->roomScript("create guild", &output), output.c_str());
        for (const char* member : {"olga officer", "rudi recorder", "rex reader"}) {
            const std::string line(member);
            const std::string name = line.substr(0, line.find(' '));
            QVERIFY2(m_broker->roomScript(std::string("add guild ") + member + " --password " +
                                              name + "-pw",
                                          &output),
                     output.c_str());
        }
    }
    // Removes the translators a test installed.
    static void backToChinese() {
        for (auto* translator : QCoreApplication::instance()->findChildren<QTranslator*>()) {
            QCoreApplication::removeTranslator(translator);
            delete translator;
        }
    }
    QString memberLink(const QString& user) const {
        return QStringLiteral("mqtt://%1@127.0.0.1:%2/guild").arg(user).arg(m_broker->port());
    }
    static bool menuHas(Member& member, int row, const QString& text) {
        const std::unique_ptr<QMenu> menu = member.window->rowMenu()->menuForRow(row);
        const QList<QAction*> actions = menu ? menu->actions() : QList<QAction*>();
        return std::any_of(actions.begin(), actions.end(),
                           [&](const QAction* action) { return action->text() == text; });
    }
    static std::vector<history::AuditKind> auditKinds(Member& member, const std::string& boss) {
        std::vector<history::AuditKind> kinds;
        for (const history::AuditEntry& entry :
             member.session->roomAudit()->ofBoss("guild", boss, 50)) {
            kinds.push_back(entry.kind);
        }
        return kinds;
    }

private slots:
    void init() {
        m_broker = std::make_unique<testing::LocalBroker>();
        QVERIFY2(m_broker->start(), m_broker->error().c_str());
    }
    void cleanup() { m_broker.reset(); }

    void killsTravelBothWaysIntoTableAndHistory() {
        Member alice(link(), QStringLiteral("alice"), m_clock);
        Member bob(link(), QStringLiteral("bob"), m_clock);
        const schedule::UtcSeconds nine = schedule::toUtc(m_clock.now()) - 3600;
        const int aliceDragon = alice.addRow("Dragon", 120, true, nine);
        const int bobDragon = bob.addRow(" Dragon ", 120, true, nine);
        // Checked on Alice's side only: Bob does not share it, so it stays his own.
        const int aliceHydra = alice.addRow("Hydra", 60, true, nine);
        const int bobHydra = bob.addRow("Hydra", 60, false, nine);
        QTRY_COMPARE_WITH_TIMEOUT(alice.line(), kConnected, kPatienceMs);
        QTRY_COMPARE_WITH_TIMEOUT(bob.line(), kConnected, kPatienceMs);

        alice.doubleClickLastTime(aliceHydra);
        alice.doubleClickLastTime(aliceDragon);
        const schedule::UtcSeconds ten = schedule::toUtc(m_clock.now());
        QTRY_COMPARE_WITH_TIMEOUT(bob.lastUtc(bobDragon), std::optional(ten), kPatienceMs);
        QCOMPARE(bob.table().cellText(bobDragon, schedule::kLastTimeColumn),
                 std::string("10:00:00"));
        QCOMPARE(bob.table().cellText(bobDragon, schedule::kNextTimeColumn),
                 std::string("12:00:00"));
        QCOMPARE(bob.lastUtc(bobHydra), std::optional(nine));
        const auto kills = bob.session->history().recentKills("Dragon", 5);
        QCOMPARE(kills.size(), std::size_t{1});
        QCOMPARE(kills[0].source, schedule::KillSource::Remote);
        QCOMPARE(kills[0].sender, std::string("alice"));
        QCOMPARE(kills[0].utcSeconds, ten);
        // Saved once the burst is over, with the instant.
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                schedule::BossTable stored;
                config::loadTable(stored, bob.path());
                return stored.rowCount() > bobDragon &&
                       stored.timing(bobDragon)->lastUtc == std::optional(ten);
            }(),
            5000);

        // And back: Bob's later kill reaches Alice (once the boss can be back: a re-kill much
        // earlier than its period would be refused).
        m_clock.advance(7000);
        bob.doubleClickLastTime(bobDragon);
        QTRY_COMPARE_WITH_TIMEOUT(alice.lastUtc(aliceDragon), std::optional(ten + 7000),
                                  kPatienceMs);
        const auto back = alice.session->history().recentKills("Dragon", 5);
        QCOMPARE(back.front().sender, std::string("bob"));
        QCOMPARE(back.front().source, schedule::KillSource::Remote);
        // A received kill is not sent on again.
        QTest::qWait(300);
        QCOMPARE(bob.session->history().recentKills("Dragon", 5).size(), std::size_t{2});
    }

    void olderAndDuplicateKillsChangeNothing() {
        Member bob(link(), QStringLiteral("bob"), m_clock);
        const schedule::UtcSeconds ten = schedule::toUtc(m_clock.now());
        const int dragon = bob.addRow("Dragon", 120, true, ten);
        // Every kill below lies in the past of the room's "now", which is the window's clock.
        m_clock.advance(300);
        QTRY_COMPARE_WITH_TIMEOUT(bob.line(), kConnected, kPatienceMs);
        RawPublisher carol(m_broker->port(), m_clock);
        QVERIFY(carol.ok());
        const std::string id(32, 'a');
        // Event ids are random 128-bit numbers; these stand for four distinct ones.
        const struct {
            const char* what;
            std::int64_t kill;
            std::string eventId;
            schedule::UtcSeconds expected;
        } cases[] = {
            {"older", ten - 60, std::string(32, 'b'), ten},
            {"same instant", ten, std::string(32, 'd'), ten},
            {"newer", ten + 60, id, ten + 60},
            {"same event again, even newer", ten + 120, id, ten + 60},
        };
        int handled = 0;
        for (const auto& c : cases) {
            QVERIFY2(carol.publish("Dragon", c.kill, c.eventId), c.what);
            // A kill of an unknown boss behind it shows when this one has been handled.
            const std::string marker = "Marker " + std::to_string(++handled);
            QVERIFY(carol.publish(marker, c.kill, share::randomId()));
            QTRY_VERIFY_WITH_TIMEOUT(bob.session->room()->offers().count(marker) == 1, kPatienceMs);
            QVERIFY2(bob.lastUtc(dragon) == std::optional(c.expected), c.what);
        }
        QCOMPARE(bob.session->history().recentKills("Dragon", 5).size(), std::size_t{1});
    }

    // A flood that arrives while the window is busy is taken over in slices of bounded
    // length; every kill is judged once and in order, so each row ends at its latest.
    void aFloodOfKillsIsAppliedWholeAndInOrder() {
        Member bob(link(), QStringLiteral("bob"), m_clock);
        const schedule::UtcSeconds ten = schedule::toUtc(m_clock.now());
        constexpr int kBosses = 40;
        constexpr int kRounds = 15;
        for (int b = 0; b < kBosses; ++b) {
            bob.addRow("Boss " + std::to_string(b), 600, true, ten - 3600);
        }
        QTRY_COMPARE_WITH_TIMEOUT(bob.line(), kConnected, kPatienceMs);
        RawPublisher carol(m_broker->port(), m_clock);
        QVERIFY(carol.ok());
        std::vector<std::pair<std::string, std::int64_t>> kills;
        for (int round = 0; round < kRounds; ++round) {
            for (int b = 0; b < kBosses; ++b) {
                kills.emplace_back("Boss " + std::to_string(b), ten - 3000 + 60 * round + b);
            }
        }
        const std::uint64_t appliedBefore = bob.session->room()->appliedCount();
        QVERIFY(carol.publishAll(kills));
        const auto total = static_cast<std::uint64_t>(kills.size());
        QTRY_VERIFY_WITH_TIMEOUT(bob.session->room()->receivedCount() >= total, kPatienceMs);
        QCOMPARE(bob.session->room()->receivedCount(), total);
        QCOMPARE(bob.session->room()->appliedCount() - appliedBefore, total);
        for (int b = 0; b < kBosses; ++b) {
            QCOMPARE(bob.lastUtc(b + 1),
                     std::optional<schedule::UtcSeconds>(ten - 3000 + 60 * (kRounds - 1) + b));
        }
    }

    void unknownBossIsOfferedAndAddedFromThePanel() {
        Member bob(link(), QStringLiteral("bob"), m_clock);
        QTRY_COMPARE_WITH_TIMEOUT(bob.line(), kConnected, kPatienceMs);
        RawPublisher carol(m_broker->port(), m_clock);
        QVERIFY(carol.ok());
        const schedule::UtcSeconds kill = schedule::toUtc(m_clock.now()) - 600;
        QVERIFY(carol.publish("Phoenix", kill, share::randomId()));
        QTRY_COMPARE_WITH_TIMEOUT(bob.line(), kConnected + QStringLiteral("；1 个新 BOSS 可添加"),
                                  kPatienceMs);
        QCOMPARE(bob.table().rowCount(), 1);
        if (const QByteArray dir = qgetenv("ZORVANE_SCREENSHOT_DIR"); !dir.isEmpty()) {
            bob.window->grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/room.png"));
        }

        QTest::mouseClick(bob.window->roomStatusLine(), Qt::LeftButton);
        auto* roomPanel = bob.window->findChild<app::RoomPanel*>();
        QVERIFY(roomPanel && roomPanel->isVisible());
        QCOMPARE(roomPanel->offersButton()->text(), QStringLiteral("新 BOSS（1）…"));
        QTest::mouseClick(roomPanel->offersButton(), Qt::LeftButton);
        auto* panel = bob.window->findChild<app::RoomOffersPanel*>();
        QVERIFY(panel && panel->isVisible());
        QCOMPARE(panel->list()->count(), 1);
        QTest::mouseClick(panel->findChild<QPushButton*>(QStringLiteral("addOfferButton")),
                          Qt::LeftButton);
        QCOMPARE(panel->list()->count(), 0);
        QCOMPARE(bob.line(), kConnected);
        QCOMPARE(bob.table().rowCount(), 2);
        QCOMPARE(bob.table().cellText(1, schedule::kNameColumn), std::string("Phoenix"));
        QCOMPARE(bob.table().cellText(1, schedule::kPeriodColumn), std::string("60"));
        QCOMPARE(bob.lastUtc(1), std::optional(kill));
        QCOMPARE(bob.session->preferences().sharedBosses.get(), QStringList{"Phoenix"});
        QCOMPARE(bob.session->history().recentKills("Phoenix", 5).at(0).sender,
                 std::string("carol"));
        // Shared from now on although not checked: the next kill applies.
        QVERIFY(carol.publish("Phoenix", kill + 60, share::randomId()));
        QTRY_COMPARE_WITH_TIMEOUT(bob.lastUtc(1), std::optional(kill + 60), kPatienceMs);
    }

    // A flood of unknown bosses: each boss is offered once with its latest kill, no more
    // than kMaxOffers are listed (the rest counted), the open panel updates only what
    // changed, and adding them all makes every row in one go.
    void manyOffersAreCappedCoalescedAndAddedAtOnce() {
        Member bob(link(), QStringLiteral("bob"), m_clock);
        QTRY_COMPARE_WITH_TIMEOUT(bob.line(), kConnected, kPatienceMs);
        RawPublisher carol(m_broker->port(), m_clock);
        QVERIFY(carol.ok());
        app::RoomConnection& room = *bob.session->room();
        app::RoomOffersPanel* panel = bob.window->openRoomOffers();
        QVERIFY(panel);
        const schedule::UtcSeconds now = schedule::toUtc(m_clock.now());

        QVERIFY(carol.publish("Alpha", now - 900, share::randomId()));
        QTRY_COMPARE_WITH_TIMEOUT(panel->list()->count(), 1, kPatienceMs);
        // Marks the item: a list built anew would lose the mark.
        panel->list()->item(0)->setData(Qt::UserRole + 1, QStringLiteral("kept"));

        constexpr std::size_t kOver = 20;
        std::vector<std::pair<std::string, std::int64_t>> kills;
        for (std::size_t b = 1; b < app::RoomConnection::kMaxOffers + kOver; ++b) {
            // Twice each, the newer second: one offer with the newer kill.
            kills.emplace_back("Boss " + std::to_string(b), now - 600);
            kills.emplace_back("Boss " + std::to_string(b), now - 300);
        }
        kills.emplace_back("Alpha", now - 60);
        QVERIFY(carol.publishAll(kills));
        const auto total = static_cast<std::uint64_t>(kills.size() + 1);
        QTRY_VERIFY_WITH_TIMEOUT(room.receivedCount() >= total, kPatienceMs);

        QCOMPARE(room.offers().size(), app::RoomConnection::kMaxOffers);
        QCOMPARE(room.droppedOffers(), std::uint64_t(2 * kOver));
        QCOMPARE(room.offers().at("Boss 1").killUtcSeconds, now - 300);
        QCOMPARE(room.offers().at("Alpha").killUtcSeconds, now - 60);
        QCOMPARE(panel->list()->count(), int(app::RoomConnection::kMaxOffers));
        const QList<QListWidgetItem*> alpha =
            panel->list()->findItems(QStringLiteral("Alpha"), Qt::MatchStartsWith);
        QCOMPARE(alpha.size(), 1);
        QCOMPARE(alpha.front()->data(Qt::UserRole + 1).toString(), QStringLiteral("kept"));
        QVERIFY2(room.statusDetails().contains(QStringLiteral("另有 40 条未知 BOSS 的击杀未列出")),
                 qPrintable(room.statusDetails()));

        panel->list()->clearSelection();
        QTest::mouseClick(panel->findChild<QPushButton*>(QStringLiteral("addOfferButton")),
                          Qt::LeftButton);
        QCOMPARE(panel->list()->count(), 0);
        QVERIFY(room.offers().empty());
        QCOMPARE(bob.table().rowCount(), int(app::RoomConnection::kMaxOffers) + 1);
        QCOMPARE(bob.session->preferences().sharedBosses.get().size(),
                 qsizetype(app::RoomConnection::kMaxOffers));
        // The rows reach config.ini.
        bob.session->writer().flush();
        QTRY_COMPARE_WITH_TIMEOUT(
            [&] {
                schedule::BossTable stored;
                config::loadTable(stored, bob.path());
                return stored.rowCount();
            }(),
            int(app::RoomConnection::kMaxOffers) + 1, kPatienceMs);
    }

    void stateLineTellsRefusalWithoutThePassword() {
        testing::BrokerOptions options;
        options.user = "guild";
        options.password = "s3cret";
        m_broker = std::make_unique<testing::LocalBroker>(options);
        QVERIFY2(m_broker->start(), m_broker->error().c_str());
        const QString userLink =
            QStringLiteral("mqtt://guild@127.0.0.1:%1/guild").arg(m_broker->port());
        Member bob(userLink, QStringLiteral("bob"), m_clock, QStringLiteral("wrong-pass"));
        const QString refused =
            QStringLiteral("房间 guild：被拒绝：服务器拒绝了用户名或密码（未授权）");
        QTRY_COMPARE_WITH_TIMEOUT(bob.session->room()->statusText(), refused, kPatienceMs);
        // The reason follows the window's language.
        QCOMPARE(app::installTranslators(QStringLiteral("en")), QStringList());
        QCOMPARE(bob.session->room()->statusText(),
                 QStringLiteral("Room guild: refused: the broker refused the user name or "
                                "password (not authorised)"));
        backToChinese();
        // The line is cut to its place; the tooltip has it all, but never the password.
        QVERIFY(bob.line().startsWith(QStringLiteral("房间 guild：被拒绝：服务器拒绝")));
        QVERIFY(bob.window->roomStatusLine()->toolTip().startsWith(refused));
        QVERIFY(!bob.window->roomStatusLine()->toolTip().contains(QStringLiteral("wrong-pass")));
        // The right password from the preferences joins at once.
        QVERIFY(bob.session->preferences().roomPassword.set(QStringLiteral("s3cret")));
        QTRY_COMPARE_WITH_TIMEOUT(bob.line(), kConnected, kPatienceMs);
        // A notice that stays (a failing write, no announcement while offline) shares the
        // place: both show side by side, and the room line still opens the panel.
        const QRect place = bob.window->roomStatusLine()->geometry();
        for (const auto kind :
             {app::WriteNotice::Kind::Write, app::WriteNotice::Kind::Announcement}) {
            bob.window->writeNotice()->failed(kind, "/x/config.ini", "No space left on device");
            QTRY_VERIFY(bob.window->writeNotice()->isVisible());
            const QRect notice = bob.window->writeNotice()->geometry();
            const QRect line = bob.window->roomStatusLine()->geometry();
            QVERIFY(bob.window->roomStatusLine()->isVisible());
            QVERIFY(!notice.intersects(line));
            QVERIFY(place.contains(notice) && place.contains(line));
            QVERIFY(line.width() > place.width() / 3);
            bob.window->writeNotice()->writeSucceeded("/x/config.ini");
            QTRY_VERIFY(!bob.window->writeNotice()->isVisible());
            QCOMPARE(bob.window->roomStatusLine()->geometry(), place);
            QCOMPARE(bob.window->writeNotice()->geometry(), place);
        }
        // A link that is no room link says why; no room, no line.
        QVERIFY(
            bob.session->preferences().roomLink.set(QStringLiteral("http://example.org/guild")));
        QTRY_VERIFY(
            bob.line().startsWith(QStringLiteral("房间 http://example.org/guild：链接无效：")));
        QVERIFY(bob.session->preferences().roomLink.set(QString()));
        QTRY_VERIFY(!bob.window->roomStatusLine()->isVisible());
    }

    // The officer takes a recorder's kill back for everyone: every row that shows it goes
    // back to the kill before, the history keeps the kill, and the trail tells who did what.
    // The entry is the officer's only, and an undone kill of one's own is taken back too.
    void retractionsPutRowsBackAndAreTold() {
        startTrustedRoom();
        Member olga(memberLink("olga"), "olga", m_clock);
        Member rudi(memberLink("rudi"), "rudi", m_clock);
        const schedule::UtcSeconds nine = schedule::toUtc(m_clock.now()) - 3600;
        const int olgaDragon = olga.addRow("Dragon", 120, true, nine);
        const int rudiDragon = rudi.addRow("Dragon", 120, true, nine);
        QTRY_VERIFY_WITH_TIMEOUT(olga.session->room()->role() == share::RoomRole::Officer,
                                 kPatienceMs);
        QTRY_VERIFY_WITH_TIMEOUT(rudi.session->room()->role() == share::RoomRole::Recorder,
                                 kPatienceMs);
        QTRY_COMPARE_WITH_TIMEOUT(olga.line(), kConnected, kPatienceMs);
        QTRY_COMPARE_WITH_TIMEOUT(rudi.line(), kConnected, kPatienceMs);

        const QString retract = QStringLiteral("撤回（所有成员）");
        QVERIFY(!menuHas(olga, olgaDragon, retract)); // no room kill to retract yet
        rudi.doubleClickLastTime(rudiDragon);
        const schedule::UtcSeconds ten = schedule::toUtc(m_clock.now());
        QTRY_COMPARE_WITH_TIMEOUT(olga.lastUtc(olgaDragon), std::optional(ten), kPatienceMs);
        QVERIFY(menuHas(olga, olgaDragon, retract));
        QVERIFY(!menuHas(rudi, rudiDragon, retract));

        const std::unique_ptr<QMenu> menu = olga.window->rowMenu()->menuForRow(olgaDragon);
        for (QAction* action : menu->actions()) {
            if (action->text() == retract) {
                action->trigger();
            }
        }
        QCOMPARE(olga.lastUtc(olgaDragon), std::optional(nine));
        QCOMPARE(olga.table().cellText(olgaDragon, schedule::kLastTimeColumn),
                 schedule::clockTimeText(schedule::toLocal(nine)));
        QTRY_COMPARE_WITH_TIMEOUT(rudi.lastUtc(rudiDragon), std::optional(nine), kPatienceMs);
        // Kept in the history with its sender; the trail has who recorded and who retracted.
        QCOMPARE(olga.session->history().recentKills("Dragon", 5).at(0).sender,
                 std::string("Rudi"));
        QTRY_VERIFY_WITH_TIMEOUT(
            (auditKinds(olga, "Dragon") ==
             std::vector{history::AuditKind::Retracted, history::AuditKind::Accepted}),
            kPatienceMs);
        const auto rudiTrail = rudi.session->roomAudit()->ofBoss("guild", "Dragon", 5);
        QCOMPARE(rudiTrail.size(), std::size_t{2});
        QCOMPARE(rudiTrail[0].kind, history::AuditKind::Retracted);
        QCOMPARE(rudiTrail[0].member, std::string("olga"));
        QVERIFY(rudiTrail[0].officer);
        QCOMPARE(rudiTrail[1].kind, history::AuditKind::Recorded);
        QCOMPARE(rudiTrail[1].member, std::string("rudi"));

        // The history dialog's trail tab shows it, in the member's language.
        app::HistoryDialog* dialog = rudi.window->openHistory(rudi.table().rowId(rudiDragon));
        QVERIFY(dialog != nullptr && dialog->roomAudit() != nullptr);
        QCOMPARE(dialog->tabs()->tabText(1), QStringLiteral("房间记录（guild）"));
        QTableWidget* trail = dialog->roomAudit()->table();
        QCOMPARE(trail->rowCount(), 2);
        QCOMPARE(trail->item(0, 1)->text(), QStringLiteral("撤回"));
        QCOMPARE(trail->item(0, 2)->text(), QStringLiteral("Olga (olga)"));
        QCOMPARE(trail->item(0, 5)->text(), QStringLiteral("官员；撤回 rudi 的击杀"));
        dialog->close();

        // Rudi kills again later and undoes it: Olga's row goes back with his.
        m_clock.advance(7200);
        rudi.doubleClickLastTime(rudiDragon);
        const schedule::UtcSeconds later = schedule::toUtc(m_clock.now());
        QTRY_COMPARE_WITH_TIMEOUT(olga.lastUtc(olgaDragon), std::optional(later), kPatienceMs);
        rudi.window->gridController().undoStack().undo();
        QCOMPARE(rudi.lastUtc(rudiDragon), std::optional(nine));
        QTRY_COMPARE_WITH_TIMEOUT(olga.lastUtc(olgaDragon), std::optional(nine), kPatienceMs);
        // Redone, it is shared again.
        rudi.window->gridController().undoStack().redo();
        QTRY_COMPARE_WITH_TIMEOUT(olga.lastUtc(olgaDragon), std::optional(later), kPatienceMs);

        // A boss nobody had killed before: once its only kill is retracted, its rows show no
        // kill and no countdown left over from it.
        const auto addUnkilled = [](Member& member) {
            const int row = member.table().appendRow();
            member.table().setCellTexts(
                member.table().rowId(row),
                {{schedule::kNameColumn, "Hydra"}, {schedule::kPeriodColumn, "90"}});
            member.table().setCheckState(row, true);
            return row;
        };
        const int olgaHydra = addUnkilled(olga);
        const int rudiHydra = addUnkilled(rudi);
        rudi.doubleClickLastTime(rudiHydra);
        const schedule::UtcSeconds hydraKill = schedule::toUtc(m_clock.now());
        QTRY_COMPARE_WITH_TIMEOUT(olga.lastUtc(olgaHydra), std::optional(hydraKill), kPatienceMs);
        // What a countdown pass would show (the tick is stopped here).
        for (Member* member : {&olga, &rudi}) {
            const int row = member == &olga ? olgaHydra : rudiHydra;
            QVERIFY(member->table().setCountdown(member->table().rowId(row), "01时30分00秒", 5400,
                                                 schedule::RowPhase::Counting));
        }
        const std::unique_ptr<QMenu> hydraMenu = olga.window->rowMenu()->menuForRow(olgaHydra);
        for (QAction* action : hydraMenu->actions()) {
            if (action->text() == retract) {
                action->trigger();
            }
        }
        QTRY_COMPARE_WITH_TIMEOUT(rudi.lastUtc(rudiHydra), std::optional<schedule::UtcSeconds>(),
                                  kPatienceMs);
        for (Member* member : {&olga, &rudi}) {
            const int row = member == &olga ? olgaHydra : rudiHydra;
            QCOMPARE(member->lastUtc(row), std::optional<schedule::UtcSeconds>());
            for (const int column : {schedule::kLastTimeColumn, schedule::kNextTimeColumn,
                                     schedule::kCountdownColumn}) {
                QTRY_COMPARE_WITH_TIMEOUT(member->table().cellText(row, column), std::string(),
                                          kPatienceMs);
            }
        }
    }

    // A row the room put back (an officer retracted its newest kill) is on the undo stack, but
    // undoing that shows the retracted kill again here only: the kill before it, which the
    // row no longer shows, was not undone, so it stays shared and in the history.
    void undoingAPutBackRetractsNothing() {
        startTrustedRoom();
        Member olga(memberLink("olga"), "olga", m_clock);
        Member rudi(memberLink("rudi"), "rudi", m_clock);
        const schedule::UtcSeconds nine = schedule::toUtc(m_clock.now()) - 3600;
        const int olgaDragon = olga.addRow("Dragon", 120, true, nine);
        const int rudiDragon = rudi.addRow("Dragon", 120, true, nine);
        const int olgaHydra = olga.addRow("Hydra", 120, true, nine);
        const int rudiHydra = rudi.addRow("Hydra", 120, true, nine);
        QTRY_VERIFY_WITH_TIMEOUT(olga.session->room()->role() == share::RoomRole::Officer,
                                 kPatienceMs);
        QTRY_COMPARE_WITH_TIMEOUT(olga.line(), kConnected, kPatienceMs);
        QTRY_COMPARE_WITH_TIMEOUT(rudi.line(), kConnected, kPatienceMs);
        std::vector<schedule::UtcSeconds> kills;
        for (int i = 0; i < 2; ++i) {
            m_clock.advance(7200);
            rudi.doubleClickLastTime(rudiDragon);
            kills.push_back(schedule::toUtc(m_clock.now()));
            QTRY_COMPARE_WITH_TIMEOUT(olga.lastUtc(olgaDragon), std::optional(kills.back()),
                                      kPatienceMs);
        }
        const std::unique_ptr<QMenu> menu = olga.window->rowMenu()->menuForRow(olgaDragon);
        for (QAction* action : menu->actions()) {
            if (action->text() == QStringLiteral("撤回（所有成员）")) {
                action->trigger();
            }
        }
        QCOMPARE(olga.lastUtc(olgaDragon), std::optional(kills[0]));
        QTRY_COMPARE_WITH_TIMEOUT(rudi.lastUtc(rudiDragon), std::optional(kills[0]), kPatienceMs);

        rudi.window->gridController().undoStack().undo();
        QCOMPARE(rudi.lastUtc(rudiDragon), std::optional(kills[1]));
        // A kill after it: once Olga has it, whatever the undo sent came before.
        m_clock.advance(60);
        rudi.doubleClickLastTime(rudiHydra);
        QTRY_COMPARE_WITH_TIMEOUT(olga.lastUtc(olgaHydra),
                                  std::optional(schedule::toUtc(m_clock.now())), kPatienceMs);
        QCOMPARE(olga.lastUtc(olgaDragon), std::optional(kills[0]));
        const auto kept = rudi.session->history().allKills("Dragon");
        QVERIFY(std::any_of(kept.begin(), kept.end(), [&](const schedule::KillRecord& kill) {
            return kill.utcSeconds == kills[0];
        }));
    }

    // Undoing one's own kill on a line takes it back in the room as undoing a row's kill does:
    // the other member's line goes back to the kill it showed before, or to none, and the
    // history leaves the kill out; redone, the kill is shared again.
    void undoingAKillOnALineTakesItBackInTheRoom() {
        startTrustedRoom();
        Member olga(memberLink("olga"), "olga", m_clock);
        Member rudi(memberLink("rudi"), "rudi", m_clock);
        const schedule::UtcSeconds nine = schedule::toUtc(m_clock.now()) - 3600;
        // 黑龙 on 二区, lines 1-3, in both tables.
        const auto dragonOf = [nine](Member& member) {
            const schedule::RowId row =
                member.table().rowId(member.addRow("黑龙", 120, true, nine));
            QString error;
            if (!member.session->lines().setLines(row, {{"二区"}, {"1", "2", "3"}}, error)) {
                qFatal("the lines cannot be set: %s", qPrintable(error));
            }
            return row;
        };
        const schedule::RowId olgaDragon = dragonOf(olga);
        const schedule::RowId rudiDragon = dragonOf(rudi);
        const auto lineOf = [](Member& member, schedule::RowId row, const char* label) {
            schedule::LineId id = 0;
            member.session->lines().board().findLine(row, "二区", label, id);
            return id;
        };
        const auto lastKill = [&](Member& member, schedule::RowId row, const char* label) {
            const auto timer =
                member.session->lines().board().timer(row, lineOf(member, row, label));
            return timer ? timer->state.lastKill : std::nullopt;
        };
        QTRY_COMPARE_WITH_TIMEOUT(olga.line(), kConnected, kPatienceMs);
        QTRY_COMPARE_WITH_TIMEOUT(rudi.line(), kConnected, kPatienceMs);

        const struct {
            const char* what;
            const char* line;
            std::optional<schedule::UtcSeconds> before; // what both lines showed, never shared
        } cases[] = {
            {"a line with a kill before goes back to it", "1", nine},
            {"a line without one goes back to none", "2", std::nullopt},
        };
        for (const auto& c : cases) {
            for (Member* member : {&olga, &rudi}) {
                const schedule::RowId row = member == &olga ? olgaDragon : rudiDragon;
                if (c.before) {
                    QVERIFY2(member->session->lines().board().kill(
                                 row, lineOf(*member, row, c.line), *c.before),
                             c.what);
                }
            }
            // Far enough from the last for the room's limits.
            m_clock.advance(7200);
            const schedule::UtcSeconds killed = schedule::toUtc(m_clock.now());
            QVERIFY2(rudi.window->gridController().killLineNow(rudiDragon,
                                                               lineOf(rudi, rudiDragon, c.line),
                                                               schedule::KillSource::DoubleClick),
                     c.what);
            QTRY_VERIFY2_WITH_TIMEOUT(lastKill(olga, olgaDragon, c.line) == killed, c.what,
                                      kPatienceMs);

            rudi.window->gridController().undoStack().undo();
            QVERIFY2(lastKill(rudi, rudiDragon, c.line) == c.before, c.what);
            QTRY_VERIFY2_WITH_TIMEOUT(lastKill(olga, olgaDragon, c.line) == c.before, c.what,
                                      kPatienceMs);
            const auto kept = rudi.session->history().allKills("黑龙");
            QVERIFY2(std::none_of(kept.begin(), kept.end(),
                                  [&](const schedule::KillRecord& kill) {
                                      return kill.utcSeconds == killed;
                                  }),
                     c.what);

            rudi.window->gridController().undoStack().redo();
            QTRY_VERIFY2_WITH_TIMEOUT(lastKill(olga, olgaDragon, c.line) == killed, c.what,
                                      kPatienceMs);
        }
        // The boss's own rows never moved.
        QCOMPARE(olga.table().row(olgaDragon)->timing.lastUtc, std::optional(nine));
        QCOMPARE(rudi.table().row(rudiDragon)->timing.lastUtc, std::optional(nine));
    }

    // Refusals are counted per member with their reasons in the room panel, in the member's
    // language, and the role shows; a reader may not share and is told why.
    void refusalsAndRolesShowInTheRoomPanel() {
        startTrustedRoom();
        Member olga(memberLink("olga"), "olga", m_clock);
        Member rex(memberLink("rex"), "rex", m_clock);
        const schedule::UtcSeconds ten = schedule::toUtc(m_clock.now());
        const int olgaDragon = olga.addRow("Dragon", 120, true, ten - 3600);
        const int rexDragon = rex.addRow("Dragon", 120, true, ten - 3600);
        QTRY_COMPARE_WITH_TIMEOUT(olga.line(), kConnected, kPatienceMs);
        QTRY_COMPARE_WITH_TIMEOUT(rex.line(), kConnected, kPatienceMs);
        QTRY_VERIFY_WITH_TIMEOUT(rex.session->room()->role() == share::RoomRole::Reader,
                                 kPatienceMs);

        // A recorder whose clock runs a day ahead sends a kill of its "now", and then more
        // kills than a minute allows.
        const std::int64_t aDayAhead = (ten + 86400) * 1000;
        share::RoomOptions rudiOptions = testing::roomOptions(*m_broker, "Rudi", "rudi", "rudi-pw",
                                                              [aDayAhead] { return aDayAhead; });
        // A program that does not hold its kills back to the room's limit, as Zorvane does.
        rudiOptions.rules.killsPerMinute = 1000;
        testing::RoomMember rudi(rudiOptions);
        QVERIFY(rudi.join());
        rudi.kill("Dragon", ten + 86400, 120);
        for (int i = 0; i < 8; ++i) {
            rudi.kill("Boss " + std::to_string(i), ten - 60 * i, 120);
        }
        QTRY_VERIFY_WITH_TIMEOUT(
            olga.session->room()->memberRecords().count("rudi") == 1 &&
                olga.session->room()->memberRecords().at("rudi").refused[static_cast<std::size_t>(
                    share::Refusal::TooMany)] > 0,
            kPatienceMs);
        // Nothing of it locks the row.
        QCOMPARE(olga.lastUtc(olgaDragon), std::optional(ten - 3600));
        const QString status = olga.session->room()->statusText();
        QVERIFY2(status.startsWith(kConnected + QStringLiteral("；")), qPrintable(status));
        QVERIFY2(status.contains(QStringLiteral("条被拒绝")), qPrintable(status));
        // Only the difference is known, not whose clock is wrong; said in the window's words.
        QTRY_VERIFY2_WITH_TIMEOUT(olga.session->room()->statusText().contains(
                                      QStringLiteral("；本机与 Rudi 的时钟相差 ")),
                                  qPrintable(olga.session->room()->statusText()), kPatienceMs);

        app::RoomPanel* panel = olga.window->openRoomPanel();
        QVERIFY(panel != nullptr && panel->isVisible());
        QCOMPARE(panel->roleLabel()->text(), QStringLiteral("本成员的角色：官员"));
        QTableWidget* members = panel->memberTable();
        int rudiRow = -1;
        for (int row = 0; row < members->rowCount(); ++row) {
            if (members->item(row, 0)->text() == QStringLiteral("Rudi (rudi)")) {
                rudiRow = row;
            }
        }
        QVERIFY(rudiRow >= 0);
        const QString refused = members->item(rudiRow, 3)->text();
        QVERIFY2(refused.startsWith(QStringLiteral("时间在未来 1，每分钟过多 ")),
                 qPrintable(refused));
        QVERIFY(!members->item(rudiRow, 4)->text().isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT((panel->refresh(), panel->auditView()->table()->rowCount() >= 3),
                                 kPatienceMs);

        // In English when the window speaks it.
        QCOMPARE(app::installTranslators(QStringLiteral("en")), QStringList());
        panel->refresh();
        QCOMPARE(panel->roleLabel()->text(), QStringLiteral("Your role: officer"));
        QVERIFY(
            members->item(rudiRow, 3)->text().startsWith(QStringLiteral("time in the future 1")));
        const QString english = olga.session->room()->statusText();
        QVERIFY2(
            english.contains(QStringLiteral("; this computer’s clock and Rudi’s differ by ")) &&
                !english.contains(QStringLiteral("；")),
            qPrintable(english));
        backToChinese();

        // The reader's role shows, it has no retraction entry, and its kill is not shared.
        app::RoomPanel* rexPanel = rex.window->openRoomPanel();
        QCOMPARE(rexPanel->roleLabel()->text(), QStringLiteral("本成员的角色：只读"));
        rex.doubleClickLastTime(rexDragon);
        QTRY_VERIFY_WITH_TIMEOUT(
            rex.session->room()->statusText().contains(QStringLiteral("未能共享 Dragon")),
            kPatienceMs);
        QVERIFY(rex.session->room()->statusIsProblem());
        QVERIFY(!menuHas(rex, rexDragon, QStringLiteral("撤回（所有成员）")));
    }

    // A room made by an earlier room script (no role markers) still gives the role, and the
    // panel asks for the upgrade until the room has it and the member connects again.
    void aRoomWithoutRoleMarkersAsksForAnUpgradeInThePanel() {
        startTrustedRoom();
        const std::string ctrl = "mosquitto_ctrl -h 127.0.0.1 -p " +
                                 std::to_string(m_broker->port()) + " -u " + testing::kAdmin +
                                 " -P " + testing::kAdminPassword + " dynsec removeRoleACL ";
        QVERIFY(testing::runCommand(
            ctrl +
            "zorvane:guild:room subscribeLiteral zorvane/roles/guild/member >/dev/null 2>&1"));
        const QString advice = QStringLiteral("此房间由旧版房间脚本建立：请管理员运行“zorvane-room "
                                              "upgrade guild”，角色变更才能干净地生效。");
        for (const bool upgraded : {false, true}) {
            if (upgraded) {
                std::string output;
                QVERIFY2(m_broker->roomScript("upgrade guild", &output), output.c_str());
            }
            Member olga(memberLink("olga"), "olga", m_clock);
            QTRY_COMPARE_WITH_TIMEOUT(olga.line(), kConnected, kPatienceMs);
            QTRY_VERIFY_WITH_TIMEOUT(olga.session->room()->role() == share::RoomRole::Officer,
                                     kPatienceMs);
            app::RoomPanel* panel = olga.window->openRoomPanel();
            QTRY_COMPARE_WITH_TIMEOUT((panel->refresh(), panel->roleLabel()->text()),
                                      upgraded ? QStringLiteral("本成员的角色：官员")
                                               : QStringLiteral("本成员的角色：官员\n") + advice,
                                      kPatienceMs);
            if (const QByteArray shot = qgetenv("ZORVANE_ROOM_PANEL_SHOT"); !shot.isEmpty()) {
                panel->grab().save(QString::fromLocal8Bit(shot) + (upgraded ? "-1.png" : "-0.png"));
            }
        }
    }

    void roomOptionStoresAndClearsTheLink() {
        QTemporaryDir dir;
        const QString file = dir.filePath(app::Preferences::fileName());
        const struct {
            QStringList arguments;
            std::optional<int> exitCode;
            QString stored;
        } cases[] = {
            {{"zorvane"}, std::nullopt, QString()},
            {{"zorvane", "--room", "mqtts://ann@broker.example:8883/raid"},
             std::nullopt,
             "mqtts://ann@broker.example/raid"},
            {{"zorvane", "-platform", "offscreen"},
             std::nullopt,
             "mqtts://ann@broker.example/raid"},
            {{"zorvane", "--room", "ftp://broker/raid"}, 2, "mqtts://ann@broker.example/raid"},
            {{"zorvane", "--room=mqtt://broker/other"}, std::nullopt, "mqtt://broker/other"},
            {{"zorvane", "--room", "none"}, std::nullopt, QString()},
        };
        for (const auto& c : cases) {
            QCOMPARE(app::applyRoomOption(c.arguments, file), c.exitCode);
            QCOMPARE(app::Preferences(file).roomLink.get(), c.stored);
        }
    }

    // 服务器已重启 goes to the room: every member starts its shared rows again by their own
    // rules, leaving rows killed since; a reader is told it cannot tell the room.
    void aServerRestartReachesTheRoomsSharedRows() {
        startTrustedRoom();
        Member rudi(memberLink("rudi"), "rudi", m_clock);
        Member olga(memberLink("olga"), "olga", m_clock);
        Member rex(memberLink("rex"), "rex", m_clock);
        const schedule::UtcSeconds ten = schedule::toUtc(m_clock.now());
        const struct {
            const char* name;
            const char* rule;
            bool shared;
            schedule::UtcSeconds killed;
            schedule::UtcSeconds afterwards; // Olga's and Rex's row, after Rudi's restart
        } rows[] = {
            {"Dragon", "after restart kill", true, ten - 7200, ten},
            {"Hydra", "after restart kill", false, ten - 7200, ten - 7200},
            {"Golem", "", true, ten - 7200, ten - 7200},
            {"Wyrm", "after restart spawn 30", true, ten - 7200, ten + 1800 - 3600},
        };
        for (Member* member : {&rudi, &olga, &rex}) {
            for (const auto& r : rows) {
                const int row = member->addRow(r.name, 60, r.shared, r.killed);
                QVERIFY(member->table().setSpawnRule(member->table().rowId(row),
                                                     *schedule::parseSpawnRule(r.rule)));
            }
            QTRY_COMPARE_WITH_TIMEOUT(member->line(), kConnected, kPatienceMs);
        }
        QTRY_VERIFY_WITH_TIMEOUT(rex.session->room()->role() == share::RoomRole::Reader,
                                 kPatienceMs);
        QTRY_VERIFY_WITH_TIMEOUT(rudi.session->room()->role() == share::RoomRole::Recorder,
                                 kPatienceMs);

        const std::unique_ptr<QMenu> menu = rudi.window->rowMenu()->menuForRow(1);
        for (QAction* action : menu->actions()) {
            if (action->text() == QStringLiteral("服务器已重启（现在）")) {
                action->trigger();
            }
        }
        for (Member* member : {&olga, &rex}) {
            for (int i = 0; i < static_cast<int>(std::size(rows)); ++i) {
                QTRY_COMPARE_WITH_TIMEOUT(member->lastUtc(i + 1), std::optional(rows[i].afterwards),
                                          kPatienceMs);
            }
            QTRY_VERIFY_WITH_TIMEOUT(member->session->room()->statusText().contains(
                                         QStringLiteral("Rudi 报告服务器已于")),
                                     kPatienceMs);
        }
        // Sent as a restart, not as kills: nobody refused Rudi's Dragon as killed too early.
        for (const auto& [key, record] : olga.session->room()->memberRecords()) {
            QCOMPARE(record.refused[static_cast<std::size_t>(share::Refusal::TooEarly)], 0U);
        }

        // A reader's restart moves its own rows and tells the room nothing, saying why.
        rex.session->restartServer(ten + 60);
        QCOMPARE(rex.lastUtc(1), std::optional(ten + 60));
        QTRY_VERIFY_WITH_TIMEOUT(
            rex.session->room()->statusText().contains(QStringLiteral("未能把服务器重启告知房间")),
            kPatienceMs);
    }

    // An officer offers the table's boss list; the other members see the offer in the state
    // line and take it through the merge report, or put it aside. Who may not offer is told.
    void anOfficersBossListIsTakenThroughTheReport() {
        startTrustedRoom();
        testing::ScriptedListDialogs olgaSays;
        testing::ScriptedListDialogs rudiSays;
        testing::ScriptedListDialogs rexSays;
        rexSays.accept = false;
        Member olga(memberLink("olga"), QStringLiteral("Olga"), m_clock, QStringLiteral("olga-pw"),
                    &olgaSays);
        Member rudi(memberLink("rudi"), QStringLiteral("Rudi"), m_clock, QStringLiteral("rudi-pw"),
                    &rudiSays);
        Member rex(memberLink("rex"), QStringLiteral("Rex"), m_clock, QStringLiteral("rex-pw"),
                   &rexSays);
        const schedule::UtcSeconds ten = schedule::toUtc(m_clock.now());
        olga.addRow("Dragon", 60, true, ten - 600);
        olga.addRow("Golem", 45, true, ten - 600);
        rudi.addRow("Dragon", 30, true, ten - 300);
        const struct {
            Member* member;
            share::RoomRole role;
        } roles[] = {{&olga, share::RoomRole::Officer},
                     {&rudi, share::RoomRole::Recorder},
                     {&rex, share::RoomRole::Reader}};
        for (const auto& r : roles) {
            QTRY_VERIFY_WITH_TIMEOUT(r.member->session->room()->role() == r.role, kPatienceMs);
        }
        const auto trigger = [](Member& member, const char* name) {
            auto* action =
                member.window->menuButton()->menu()->findChild<QAction*>(QString::fromLatin1(name));
            QVERIFY(action);
            action->trigger();
        };

        // A recorder and a reader may not offer, and are told so.
        for (auto [member, says] : {std::pair{&rudi, &rudiSays}, std::pair{&rex, &rexSays}}) {
            trigger(*member, "offerBossList");
            QCOMPARE(says->told, QStringList{QStringLiteral("只有房间的管理员可以提供首领列表")});
            says->told.clear();
        }
        trigger(olga, "offerBossList");
        QCOMPARE(olgaSays.told, QStringList{QStringLiteral("已向房间提供 2 个首领")});

        const QString offered = QStringLiteral("Olga 提供了首领列表（2 个首领）");
        for (Member* member : {&rudi, &rex}) {
            QTRY_VERIFY_WITH_TIMEOUT(member->line().contains(offered), kPatienceMs);
        }
        // The officer's own offer comes back retained but is none for her.
        QVERIFY(!olga.line().contains(offered));

        trigger(rudi, "takeBossList");
        QCOMPARE(rudiSays.reports, 1);
        QVERIFY2(rudiSays.details.contains(QStringLiteral("Dragon（周期）")),
                 qPrintable(rudiSays.details));
        QCOMPARE(rudi.table().rowCount(), 3);
        QCOMPARE(rudi.table().cellText(1, schedule::kPeriodColumn), std::string("60"));
        // The kill Rudi recorded stays his.
        QCOMPARE(rudi.lastUtc(1), std::optional(ten - 300));
        QCOMPARE(rudi.table().cellText(2, schedule::kNameColumn), std::string("Golem"));
        QVERIFY(!rudi.line().contains(offered));

        // Rex puts the offer aside: nothing changes, and it leaves the line.
        trigger(rex, "takeBossList");
        QCOMPARE(rexSays.reports, 1);
        QCOMPARE(rex.table().rowCount(), 1);
        QVERIFY(!rex.line().contains(offered));
    }

private:
    testing::FakeClock m_clock;
    std::unique_ptr<testing::LocalBroker> m_broker;
};

QTEST_MAIN(RoomTest)
#include "test_room.moc"
