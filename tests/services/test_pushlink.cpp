#include "services/pushlink.h"

#include "push/pushsettings.h"
#include "push/relay.h"
#include "schedule/bosstable.h"
#include "schedule/clock.h"
#include "schedule/cycle.h"
#include "services/alertdispatch.h"
#include "services/coretexts.h"
#include "services/preferences.h"
#include "tests/net/localservers.h"
#include "tests/support/tempdir.h"

#include <QSignalSpy>
#include <QTest>
#include <QTranslator>

#include <dirent.h>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

namespace app = zorvane::app;
namespace push = zorvane::push;
namespace schedule = zorvane::schedule;
namespace text = zorvane::text;
using zorvane::testing::LocalHttpServer;
using zorvane::testing::TempDir;

namespace {

// The names of this process's threads, as `top -H` shows them.
std::vector<std::string> threadNames() {
    std::vector<std::string> names;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(dir)) {
            std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
            std::string name;
            if (std::getline(comm, name)) {
                names.push_back(name);
            }
        }
        closedir(dir);
    }
    return names;
}

bool hasThread(const std::string& name) {
    for (const std::string& each : threadNames()) {
        if (each == name) {
            return true;
        }
    }
    return false;
}

// Records the bodies posted to it; answers with `status`.
class Receiver {
public:
    explicit Receiver(int status) {
        m_server.server().Post(
            ".*", [this, status](const httplib::Request& request, httplib::Response& response) {
                {
                    const std::lock_guard lock(m_mutex);
                    m_bodies.push_back(request.path + " " + request.body);
                }
                response.status = status;
                if (status >= 400) {
                    response.set_content(R"({"message":"no such hook"})", "application/json");
                }
            });
        m_server.start();
    }
    std::string base() const { return m_server.base(); }
    std::vector<std::string> bodies() const {
        const std::lock_guard lock(m_mutex);
        return m_bodies;
    }

private:
    LocalHttpServer m_server;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_bodies;
};

void writeTargets(const std::filesystem::path& file, const std::string& url, bool enabled = true,
                  push::TargetScope scope = push::TargetScope::Player) {
    push::PushTarget target;
    target.id = "00112233445566ff";
    target.name = "手机";
    target.kind = push::TargetKind::Json;
    target.url = url;
    target.enabled = enabled;
    target.scope = scope;
    QVERIFY(push::writePushSettings(file, {{target}, {}}));
}

// push.json in `dir` with one room target, which posts to a receiver of its own.
struct RoomTarget {
    RoomTarget(const TempDir& dir, bool enabled) : file(dir.path() / "push.json") {
        writeTargets(file, url, enabled, push::TargetScope::Room);
    }
    Receiver receiver{200};
    std::filesystem::path file;
    std::string url = receiver.base() + "/hook";
};

schedule::BossRow rowKilledAt(std::optional<schedule::UtcSeconds> last, int period, int delay) {
    schedule::BossRow row;
    row.use = true;
    row.timing.periodMinutes = period;
    row.timing.delayMinutes = delay;
    row.timing.lastUtc = last;
    return row;
}

// The one event has left the target's queue: posted here, or left to another relay.
bool settledOnce(const app::PushLink& link) {
    const auto& statuses = link.statuses();
    const auto it = statuses.find("00112233445566ff");
    return it != statuses.end() && it->second.waiting == 0 &&
           it->second.delivered + it->second.relayed == 1;
}

} // namespace

class TestPushLink : public QObject {
    Q_OBJECT

private slots:
    void eventsCarryTheSharedDueInstant_data();
    void eventsCarryTheSharedDueInstant();
    void lineEventsNameLineAndServer_data();
    void lineEventsNameLineAndServer();
    void offWithoutTargets();
    void alertsArriveAtTheServer();
    void aFailingTargetIsTold();
    void aRoomTargetPostsWhatNoOtherRelayClaimed();
    void aHelperStartedLaterHearsWhatTheRoomSaidBefore();
    void theAlertsOfAStartWaitForTheRoom();
    void postsFollowTheWindowsLanguage_data();
    void postsFollowTheWindowsLanguage();
};

void TestPushLink::eventsCarryTheSharedDueInstant_data() {
    QTest::addColumn<qint64>("last"); // -1: no dated kill
    QTest::addColumn<int>("period");  // minutes
    QTest::addColumn<qint64>("now");
    QTest::addColumn<qint64>("secondsLeft");
    QTest::addColumn<int>("lead"); // -1: due
    QTest::addColumn<qint64>("due");
    QTest::addColumn<int>("kind");

    const qint64 kill = 1'800'000'000;
    // Two members whose ticks fire a second apart derive the same instant.
    QTest::newRow("lead, on time") << kill << 60 << kill + 55 * 60 << qint64(300) << 5
                                   << kill + 3600 << int(push::AlertKind::LeadTime);
    QTest::newRow("lead, a member 2 s late") << kill << 60 << kill + 55 * 60 + 2 << qint64(299) << 5
                                             << kill + 3600 << int(push::AlertKind::LeadTime);
    // After the roll-over the last time is the cycle's start: the instant itself.
    QTest::newRow("due, rolled over") << kill + 3600 << 60 << kill + 3601 << qint64(0) << -1
                                      << kill + 3600 << int(push::AlertKind::Spawn);
    QTest::newRow("due, not yet rolled over") << kill << 60 << kill + 3601 << qint64(-1) << -1
                                              << kill + 3600 << int(push::AlertKind::Spawn);
    QTest::newRow("third cycle after the kill")
        << kill << 30 << kill + 3 * 1800 - 600 << qint64(600) << 10 << kill + 3 * 1800
        << int(push::AlertKind::LeadTime);
    QTest::newRow("no dated kill: the whole minute")
        << qint64(-1) << 60 << kill + 20 << qint64(290) << 5 << kill + 300
        << int(push::AlertKind::LeadTime);
}

void TestPushLink::eventsCarryTheSharedDueInstant() {
    QFETCH(qint64, last);
    QFETCH(int, period);
    QFETCH(qint64, now);
    QFETCH(qint64, secondsLeft);
    QFETCH(int, lead);
    QFETCH(qint64, due);
    QFETCH(int, kind);
    schedule::Alert alert;
    alert.boss = " 火龙 ";
    alert.secondsLeft = secondsLeft;
    if (lead >= 0) {
        alert.leadMinutes = lead;
    }
    const auto event = app::pushEventOf(
        alert,
        rowKilledAt(last < 0 ? std::nullopt : std::optional<schedule::UtcSeconds>(last), period, 0),
        now);
    QVERIFY(event);
    QCOMPARE(event->dueUtc, due);
    QCOMPARE(int(event->kind), kind);
    QCOMPARE(event->minutes, lead < 0 ? 0 : lead);
    QCOMPARE(event->boss, std::string("火龙"));
}

void TestPushLink::lineEventsNameLineAndServer_data() {
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("eventLine");
    QTest::addColumn<QString>("eventServer");
    QTest::newRow("row") << QString() << QString() << QString() << QString();
    QTest::newRow("line") << QString() << QStringLiteral("3") << QStringLiteral("3线") << QString();
    QTest::newRow("line on a server") << QStringLiteral("二区") << QStringLiteral("3")
                                      << QStringLiteral("3线") << QStringLiteral("二区");
    QTest::newRow("named line") << QStringLiteral("二区") << QStringLiteral("A")
                                << QStringLiteral("A") << QStringLiteral("二区");
}

// A line's alert names its line and server, and is dated from the line's own due moment,
// not from the row's last time.
void TestPushLink::lineEventsNameLineAndServer() {
    QFETCH(QString, server);
    QFETCH(QString, line);
    QFETCH(QString, eventLine);
    QFETCH(QString, eventServer);
    const schedule::UtcSeconds rowKill = 1'700'000'000;
    const schedule::UtcSeconds lineDue = rowKill + 2 * 3600 + 17;
    schedule::Alert alert;
    alert.boss = "火龙";
    alert.secondsLeft = 300;
    alert.leadMinutes = 5;
    const bool onLine = !line.isEmpty();
    if (onLine) {
        alert.lineId = 9;
        alert.server = server.toStdString();
        alert.line = line.toStdString();
        alert.aboutUtc = lineDue;
    }
    const auto event = app::pushEventOf(alert, rowKilledAt(rowKill, 60, 0), rowKill + 55 * 60);
    QVERIFY(event);
    QCOMPARE(QString::fromStdString(event->line), eventLine);
    QCOMPARE(QString::fromStdString(event->server), eventServer);
    QCOMPARE(event->dueUtc, onLine ? lineDue : rowKill + 3600);
    QCOMPARE(int(event->kind), int(push::AlertKind::LeadTime));
}

void TestPushLink::offWithoutTargets() {
    const TempDir dir;
    const auto file = dir.path() / "push.json";
    app::PushLink link(ZORVANE_PUSH_HELPER, file);
    link.reload();
    QVERIFY(!link.active());
    link.send({push::AlertKind::Spawn, 0, "火龙", "", "", 1});
    // A window without a room says so at every start.
    link.relayInlet()->tell({push::RelayLine::Kind::Join, "", "", ""});
    QTest::qWait(50);
    QVERIFY2(!hasThread("push link") && !hasThread("push reader"),
             "no push.json: no thread of the push starts");

    // Only disabled targets: the file is read, nothing is taken.
    writeTargets(file, "http://127.0.0.1:9/hook", false);
    link.reload();
    link.flush();
    QVERIFY(!link.active());
}

void TestPushLink::alertsArriveAtTheServer() {
    Receiver receiver(200);
    const TempDir dir;
    const auto file = dir.path() / "push.json";
    writeTargets(file, receiver.base() + "/hook/s3cr3t-token");
    app::PushLink link(ZORVANE_PUSH_HELPER, file);
    // An alert the tick fires at once after the start, before push.json has been read, is
    // kept: what came due while Zorvane was not running.
    schedule::BossTable table;
    const int row = table.appendRow();
    QVERIFY(table.setCellText(row, schedule::kNameColumn, "黑龙"));
    QVERIFY(table.setCellText(row, schedule::kPeriodColumn, "60"));
    const schedule::SystemClock clock;
    app::Preferences preferences(QString::fromStdString((dir.path() / "p.ini").string()));
    app::AlertDispatch dispatch(preferences, nullptr);
    dispatch.setPush(&link, table, clock);
    link.reload();
    schedule::Alert first;
    first.rowId = table.rowId(row);
    first.boss = "黑龙";
    first.leadMinutes = 5;
    first.secondsLeft = 300;
    dispatch.alert(first);
    QTRY_COMPARE_WITH_TIMEOUT(receiver.bodies().size(), std::size_t(1), 10000);
    link.flush();
    QVERIFY(link.active());

    // A lead time on line 3 of server 二区, as the tick hands it over.
    const std::int64_t due = QDateTime::currentSecsSinceEpoch() + 300;
    schedule::Alert alert;
    alert.boss = "火龙";
    alert.secondsLeft = 300;
    alert.leadMinutes = 5;
    alert.lineId = 3;
    alert.server = "二区";
    alert.line = "3";
    alert.aboutUtc = due;
    const auto event = app::pushEventOf(alert, rowKilledAt(std::nullopt, 60, 0), due - 300);
    QVERIFY(event);
    link.send(*event);
    QTRY_COMPARE_WITH_TIMEOUT(receiver.bodies().size(), std::size_t(2), 10000);
    const std::string body = receiver.bodies().back();
    QVERIFY2(body.starts_with("/hook/s3cr3t-token "), body.c_str());
    QVERIFY2(body.find("\"boss\":\"火龙\"") != std::string::npos, body.c_str());
    QVERIFY2(body.find("\"line\":\"3线\"") != std::string::npos, body.c_str());
    QVERIFY2(body.find("\"server\":\"二区\"") != std::string::npos, body.c_str());
    QVERIFY2(body.find("火龙 3线 @ 二区") != std::string::npos, body.c_str());
    QVERIFY2(body.find("\"dueUtc\":" + std::to_string(due)) != std::string::npos, body.c_str());

    QTRY_VERIFY_WITH_TIMEOUT(link.statuses().count("00112233445566ff") == 1 &&
                                 link.statuses().at("00112233445566ff").delivered == 2,
                             10000);
    const push::TargetStatus& status = link.statuses().at("00112233445566ff");
    QVERIFY(status.ok);
    QCOMPARE(status.name, std::string("手机"));
    QVERIFY2(status.shownUrl.find("s3cr3t") == std::string::npos, status.shownUrl.c_str());

    // The target taken out: its status goes, and alerts are no longer taken.
    QVERIFY(push::writePushSettings(file, {}));
    link.reload();
    link.flush();
    QTRY_VERIFY(link.statuses().empty());
    QVERIFY(!link.active());
}

void TestPushLink::postsFollowTheWindowsLanguage_data() {
    QTest::addColumn<bool>("english");
    QTest::addColumn<QString>("title");
    QTest::newRow("Chinese window") << false << QStringLiteral("火龙 3线 @ 二区 5 分钟后刷新");
    QTest::newRow("English window") << true << QStringLiteral("火龙 3线 @ 二区 spawns in 5 min");
}

void TestPushLink::postsFollowTheWindowsLanguage() {
    QFETCH(bool, english);
    QFETCH(QString, title);
    // The window's texts as installed at start, before the link is made.
    QTranslator translator;
    if (english) {
        QVERIFY(translator.load(QStringLiteral("zorvane_en"), QStringLiteral(":/i18n")));
        QVERIFY(QCoreApplication::installTranslator(&translator));
    }
    Receiver receiver(200);
    const TempDir dir;
    const auto file = dir.path() / "push.json";
    writeTargets(file, receiver.base() + "/hook");
    app::PushLink link(ZORVANE_PUSH_HELPER, file);
    QCoreApplication::removeTranslator(&translator);
    link.reload();
    link.flush();
    link.send({push::AlertKind::LeadTime, 5, "火龙", "3线", "二区",
               QDateTime::currentSecsSinceEpoch() + 300});
    QTRY_COMPARE_WITH_TIMEOUT(receiver.bodies().size(), std::size_t(1), 10000);
    const std::string body = receiver.bodies().front();
    QVERIFY2(body.find("\"title\":\"" + title.toStdString() + "\"") != std::string::npos,
             body.c_str());
}

void TestPushLink::aFailingTargetIsTold() {
    Receiver receiver(404);
    const TempDir dir;
    const auto file = dir.path() / "push.json";
    writeTargets(file, receiver.base() + "/hook/s3cr3t-token");
    app::PushLink link(ZORVANE_PUSH_HELPER, file);
    QSignalSpy failed(&link, &app::PushLink::targetFailed);
    link.reload();
    link.flush();
    link.send({push::AlertKind::Spawn, 0, "黑龙", "", "", QDateTime::currentSecsSinceEpoch()});
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 10000);
    const auto notice = failed.front().front().value<text::Message>();
    const QString shown = app::messageText(notice);
    QVERIFY2(shown.contains(QStringLiteral("手机")) && shown.contains(QStringLiteral("404")) &&
                 shown.contains(QStringLiteral("no such hook")),
             qPrintable(shown));
    QVERIFY2(!shown.contains(QStringLiteral("s3cr3t")), qPrintable(shown));
    QVERIFY(!link.statuses().at("00112233445566ff").ok);
    // 404 is a refusal: given up at once, not retried.
    QCOMPARE(receiver.bodies().size(), std::size_t(1));
}

// The helper relays in the room it is told: it publishes its presence and its claims through
// the link, and leaves an event another relay claimed to it.
void TestPushLink::aRoomTargetPostsWhatNoOtherRelayClaimed() {
    using Kind = push::RelayLine::Kind;
    const std::string mine(32, 'a');
    const std::string other(32, 'b');
    for (const bool claimedElsewhere : {false, true}) {
        const TempDir dir;
        RoomTarget target(dir, true);
        auto& [receiver, file, url] = target;
        app::PushLink link(ZORVANE_PUSH_HELPER, file);
        QSignalSpy published(&link, &app::PushLink::relayToPublish);
        link.relayInlet()->tell({Kind::Join, "guild", mine, ""});
        link.reload();
        link.flush();
        QTRY_COMPARE_WITH_TIMEOUT(published.count(), 1, 10000);
        const auto presence = published.takeFirst().front().value<push::RelayLine>();
        QCOMPARE(presence.relayId, mine);
        const auto decoded = push::decodePresence(presence.payload);
        QVERIFY2(decoded && decoded->channels.size() == 1, presence.payload.c_str());
        const std::string channel = push::channelKey("guild", url);
        QCOMPARE(decoded->channels.front().key, channel);

        const push::AlertEvent event{
            push::AlertKind::Spawn, 0, "黑龙", "", "", QDateTime::currentSecsSinceEpoch() + 60};
        if (claimedElsewhere) {
            link.relayHeard(
                {Kind::Claim, "", "", push::encodeClaim({other, push::eventId(event), channel})});
        }
        link.send(event);
        QTRY_VERIFY_WITH_TIMEOUT(settledOnce(link), 10000);
        const push::TargetStatus& status = link.statuses().at("00112233445566ff");
        QCOMPARE(status.relayed, claimedElsewhere ? 1 : 0);
        QCOMPARE(receiver.bodies().size(), std::size_t(claimedElsewhere ? 0 : 1));
        if (!claimedElsewhere) {
            QTRY_COMPARE(published.count(), 1);
            const auto claim = published.takeFirst().front().value<push::RelayLine>();
            QCOMPARE(claim.kind, Kind::Claim);
            QCOMPARE(push::decodeClaim(claim.payload),
                     std::optional<push::RelayClaim>({mine, push::eventId(event), channel}));
        }
    }
}

// A start fires at once the alerts of what came due while Zorvane was not running. With a
// room set, they wait for its join: another relay that was there may have posted them.
void TestPushLink::theAlertsOfAStartWaitForTheRoom() {
    using Kind = push::RelayLine::Kind;
    using namespace std::chrono_literals;
    const std::string mine(32, 'a');
    const std::string other(32, 'b');
    enum class Then { RoomWithAnEarlierRelay, RoomWithNoOtherRelay, NoRoomAfterAll };
    const struct {
        const char* name;
        Then then;
        std::chrono::milliseconds limit;
        int delivered;
        int relayed;
    } cases[] = {
        {"a relay that was there when it fired posts it", Then::RoomWithAnEarlierRelay, 60s, 0, 1},
        {"nobody else relays: this one posts it", Then::RoomWithNoOtherRelay, 60s, 1, 0},
        // The room's connection says "no room" before every join; the limit ends the wait.
        {"no room after all", Then::NoRoomAfterAll, 1s, 1, 0},
    };
    for (const auto& c : cases) {
        const TempDir dir;
        RoomTarget target(dir, true);
        auto& [receiver, file, url] = target;
        app::PushLink link(ZORVANE_PUSH_HELPER, file);
        link.reload();
        link.flush();
        link.awaitJoin(c.limit);
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        link.send({push::AlertKind::Spawn, 0, "黑龙", "", "", now - 30});
        link.relayInlet()->tell({Kind::Join, "", "", ""});
        link.flush();
        QTest::qWait(300);
        QVERIFY2(receiver.bodies().empty(), c.name);
        if (c.then != Then::NoRoomAfterAll) {
            link.relayInlet()->tell({Kind::Join, "guild", mine, ""});
        }
        if (c.then == Then::RoomWithAnEarlierRelay) {
            push::RelayPresence earlier{
                other, {{push::channelKey("guild", url), push::KindSet::all()}}, now, now - 3600};
            link.relayInlet()->tell({Kind::Presence, "", other, push::encodePresence(earlier)});
        }
        // The settling time of a relay that has just begun is 10 s.
        QTRY_VERIFY_WITH_TIMEOUT(settledOnce(link), 30000);
        const push::TargetStatus& status = link.statuses().at("00112233445566ff");
        QVERIFY2(status.delivered == c.delivered && status.relayed == c.relayed, c.name);
        QCOMPARE(receiver.bodies().size(), std::size_t(c.delivered));
    }
}

void TestPushLink::aHelperStartedLaterHearsWhatTheRoomSaidBefore() {
    using Kind = push::RelayLine::Kind;
    const std::string mine(32, 'a');
    const std::string other(32, 'b');
    const struct {
        const char* name;
        std::vector<Kind> afterTheClaim; // what the room said next, before the helper started
        int relayed;
    } cases[] = {
        {"claimed before", {}, 1},
        {"the room connection was lost since", {Kind::Lost}, 0},
        {"another room joined since", {Kind::Join}, 0},
    };
    for (const auto& c : cases) {
        const TempDir dir;
        RoomTarget target(dir, false);
        auto& [receiver, file, url] = target;
        app::PushLink link(ZORVANE_PUSH_HELPER, file);
        link.reload();
        link.relayInlet()->tell({Kind::Join, "guild", mine, ""});
        const push::AlertEvent event{
            push::AlertKind::Spawn, 0, "黑龙", "", "", QDateTime::currentSecsSinceEpoch() + 60};
        const std::string channel = push::channelKey("guild", url);
        link.relayInlet()->tell(
            {Kind::Claim, "", "", push::encodeClaim({other, push::eventId(event), channel})});
        for (const Kind kind : c.afterTheClaim) {
            link.relayInlet()->tell({kind, kind == Kind::Join ? "other-guild" : "", mine, ""});
        }
        if (!c.afterTheClaim.empty() && c.afterTheClaim.back() == Kind::Join) {
            link.relayInlet()->tell({Kind::Join, "guild", mine, ""});
        }
        // The first room target is enabled: the helper starts now.
        writeTargets(file, url, true, push::TargetScope::Room);
        link.reload();
        link.flush();
        link.send(event);
        QTRY_VERIFY_WITH_TIMEOUT(settledOnce(link), 10000);
        QVERIFY2(link.statuses().at("00112233445566ff").relayed == c.relayed, c.name);
        QVERIFY2(receiver.bodies().size() == std::size_t(1 - c.relayed), c.name);
    }
}

QTEST_GUILESS_MAIN(TestPushLink)
#include "test_pushlink.moc"
