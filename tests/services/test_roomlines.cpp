// Kills on lines through a room on a real mosquitto broker with the dynamic-security plugin:
// a session (the window's side, no window) beside a member of the current version and a
// member of an earlier version that only knows the topics by boss name. Line kills reach
// the line, row kills the row, an earlier member's kill of a boss with lines the boss's row
// only, and a line this table lacks is refused in the trail and changes nothing.

#include "history/killhistory.h"
#include "history/roomaudit.h"
#include "schedule/instant.h"
#include "schedule/linetimers.h"
#include "services/killpath.h"
#include "services/linebook.h"
#include "services/preferences.h"
#include "services/roomconnection.h"
#include "services/session.h"
#include "share/killevent.h"
#include "share/roommessage.h"
#include "share/roomtopics.h"
#include "tests/share/localbroker.h"
#include "tests/share/roommembers.h"
#include "tests/support/fakeclock.h"

#include <QTemporaryDir>
#include <QTest>

#include <mosquitto.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

using namespace zorvane;

namespace {

constexpr int kPatienceMs = 30000;

struct LineState {
    std::optional<schedule::UtcSeconds> dragonRow; // 黑龙's own row
    std::optional<schedule::UtcSeconds> line3;     // 黑龙 3线 @ 二区
    std::optional<schedule::UtcSeconds> hydraRow;
    bool operator==(const LineState&) const = default;
};

// Reads the topics of earlier versions as their members do: every topic it receives.
class EarlierReader {
public:
    EarlierReader(int port, const std::string& user, const std::string& password)
        : m_mosq(mosquitto_new(nullptr, true, this)) {
        mosquitto_username_pw_set(m_mosq, user.c_str(), password.c_str());
        mosquitto_connect_callback_set(m_mosq, [](mosquitto* mosq, void*, int rc) {
            if (rc == 0) {
                mosquitto_subscribe(mosq, nullptr, "zorvane/v1/guild/+", 1);
            }
        });
        mosquitto_subscribe_callback_set(m_mosq, [](mosquitto*, void* self, int, int, const int*) {
            auto* reader = static_cast<EarlierReader*>(self);
            const std::lock_guard lock(reader->m_mutex);
            reader->m_subscribed = true;
        });
        mosquitto_message_callback_set(
            m_mosq, [](mosquitto*, void* self, const mosquitto_message* message) {
                auto* reader = static_cast<EarlierReader*>(self);
                const std::lock_guard lock(reader->m_mutex);
                reader->m_topics.emplace_back(message->topic);
            });
        m_ok = mosquitto_connect(m_mosq, "127.0.0.1", port, 30) == MOSQ_ERR_SUCCESS &&
               mosquitto_loop_start(m_mosq) == MOSQ_ERR_SUCCESS;
    }
    ~EarlierReader() {
        mosquitto_disconnect(m_mosq);
        mosquitto_loop_stop(m_mosq, false);
        mosquitto_destroy(m_mosq);
    }
    EarlierReader(const EarlierReader&) = delete;
    EarlierReader& operator=(const EarlierReader&) = delete;
    bool ok() const { return m_ok; }
    bool subscribed() const {
        const std::lock_guard lock(m_mutex);
        return m_subscribed;
    }
    std::vector<std::string> topics() const {
        const std::lock_guard lock(m_mutex);
        return m_topics;
    }

private:
    mosquitto* m_mosq;
    bool m_ok = false;
    mutable std::mutex m_mutex;
    bool m_subscribed = false;
    std::vector<std::string> m_topics;
};

} // namespace

class RoomLinesTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<testing::LocalBroker> m_broker;
    testing::FakeClock m_clock{10, 0, 0};

    schedule::UtcSeconds now() const { return schedule::toUtc(m_clock.now()); }

    share::RoomOptions as(const std::string& user) {
        share::RoomOptions options =
            testing::roomOptions(*m_broker, user + "-nick", user, user + "-pw");
        options.utcMillis = [this] { return static_cast<std::int64_t>(now()) * 1000; };
        return options;
    }

    // A kill as a member's program sends it, on its current topic or an earlier version's.
    share::KillEvent killOf(const std::string& boss, const std::string& server,
                            const std::string& line, schedule::UtcSeconds at) const {
        share::KillEvent event;
        event.boss = boss;
        event.periodMinutes = 60;
        event.killUtcSeconds = at;
        event.nickname = "old-nick";
        event.senderId = share::randomId();
        event.sentUtcMillis = static_cast<std::int64_t>(now()) * 1000;
        event.eventId = share::randomId();
        event.server = server;
        event.line = line;
        return event;
    }

private slots:
    void init() {
        testing::BrokerOptions options;
        options.rooms = true;
        m_broker = std::make_unique<testing::LocalBroker>(options);
        QVERIFY2(m_broker->start(), m_broker->error().c_str());
        std::string output;
        QVERIFY2(m_broker->roomScript("create guild", &output), output.c_str());
        for (const char* user : {"rita recorder", "rudi recorder", "olga officer"}) {
            const std::string line(user);
            const std::string name = line.substr(0, line.find(' '));
            QVERIFY2(m_broker->roomScript(
                         std::string("add guild ") + user + " --password " + name + "-pw", &output),
                     output.c_str());
        }
    }
    void cleanup() { m_broker.reset(); }

    // A session in `dir` that joins the room as the recorder rudi, its table loaded; none
    // when its preferences cannot be written.
    std::unique_ptr<app::Session> sessionOfRudi(const QTemporaryDir& dir) const {
        {
            app::Preferences preferences(dir.filePath(app::Preferences::fileName()));
            if (!preferences.roomLink.set(
                    QStringLiteral("mqtt://rudi@127.0.0.1:%1/guild").arg(m_broker->port())) ||
                !preferences.roomNickname.set(QStringLiteral("rudi-nick")) ||
                !preferences.roomPassword.set(QStringLiteral("rudi-pw"))) {
                return nullptr;
            }
        }
        auto session = std::make_unique<app::Session>(app::SessionSetup{
            .clock = m_clock, .programDir = dir.path().toStdString(), .room = true});
        session->finishLoad();
        return session;
    }

    void killsOnLinesTravelBesideRowKillsAndEarlierMembers() {
        QTemporaryDir dir;
        const std::unique_ptr<app::Session> rudis = sessionOfRudi(dir);
        QVERIFY(rudis);
        app::Session& session = *rudis;
        schedule::BossTable& table = session.table();
        const schedule::UtcSeconds start = now() - 3600;
        const auto addRow = [&](const std::string& name) {
            const int index = table.appendRow();
            const schedule::RowId id = table.rowId(index);
            table.setCellTexts(id, {{schedule::kNameColumn, name},
                                    {schedule::kPeriodColumn, "60"},
                                    {schedule::kLastTimeColumn, "09:00:00"}});
            table.setCheckState(index, true);
            return id;
        };
        const schedule::RowId dragon = addRow("黑龙");
        const schedule::RowId hydra = addRow("Hydra");
        QString error;
        QVERIFY2(session.lines().setLines(dragon, {{"一区", "二区"}, {"1", "2", "3"}}, error),
                 qPrintable(error));
        schedule::LineId line3 = 0;
        QCOMPARE(session.lines().board().findLine(dragon, "二区", "3", line3),
                 schedule::LineLookup::Found);
        const auto state = [&] {
            const auto timer = session.lines().board().timer(dragon, line3);
            const auto row = [&](schedule::RowId id) {
                const auto found = table.row(id);
                return found ? found->timing.lastUtc : std::nullopt;
            };
            return LineState{row(dragon), timer ? timer->state.lastKill : std::nullopt, row(hydra)};
        };
        session.joinRoom();
        QTRY_COMPARE_WITH_TIMEOUT(session.room()->state(), share::RoomState::Connected,
                                  kPatienceMs);

        testing::RoomMember rita(as("rita"));
        QVERIFY(rita.join());
        const LineState before = state();
        QCOMPARE(before.line3, std::nullopt);

        enum class Sender { Current, Earlier };
        const struct {
            const char* what;
            Sender sender;
            std::string boss, server, line;
            schedule::UtcSeconds at;
            LineState expected;  // after the kill
            const char* refusal; // the trail's reason, or nullptr for none
        } cases[] = {
            {"a kill on a line moves that line only",
             Sender::Current,
             "黑龙",
             "二区",
             "3",
             start + 600,
             {before.dragonRow, start + 600, before.hydraRow},
             nullptr},
            {"a row kill moves the row",
             Sender::Current,
             "Hydra",
             "",
             "",
             start + 700,
             {before.dragonRow, start + 600, start + 700},
             nullptr},
            {"an earlier member's kill of a boss with lines moves the boss's row only",
             Sender::Earlier,
             "黑龙",
             "",
             "",
             start + 800,
             {start + 800, start + 600, start + 700},
             nullptr},
            {"an older kill on the line changes nothing",
             Sender::Current,
             "黑龙",
             "二区",
             "3",
             start + 500,
             {start + 800, start + 600, start + 700},
             nullptr},
            {"a line this table lacks is refused",
             Sender::Current,
             "黑龙",
             "二区",
             "9",
             start + 900,
             {start + 800, start + 600, start + 700},
             app::kUnknownLineKey},
            {"a server this table lacks is refused",
             Sender::Current,
             "黑龙",
             "三区",
             "3",
             start + 910,
             {start + 800, start + 600, start + 700},
             app::kUnknownServerKey},
            {"a line of a boss without lines never moves its row",
             Sender::Current,
             "Hydra",
             "",
             "1",
             start + 920,
             {start + 800, start + 600, start + 700},
             app::kUnknownLineKey},
            {"a line of a boss this table lacks is refused, not offered",
             Sender::Current,
             "Golem",
             "",
             "1",
             start + 930,
             {start + 800, start + 600, start + 700},
             app::kUnknownLineKey},
        };
        int marker = 0;
        for (const auto& c : cases) {
            // A minute on for each case: a member sends at most so many kills a minute.
            m_clock.advance(61);
            if (c.sender == Sender::Current) {
                text::Message sendError;
                QVERIFY2(
                    rita.client.publishKill({c.boss, 60, 0, c.at, c.server, c.line}, sendError),
                    c.what);
            } else {
                const share::KillEvent event = killOf(c.boss, c.server, c.line, c.at);
                QVERIFY2(testing::publishRaw(m_broker->port(), share::legacyTopic("guild", c.boss),
                                             share::encodeKillEvent(event), "rudi", "rudi-pw") == 0,
                         c.what);
            }
            // A kill of a boss nobody has behind it shows when this one has been handled.
            const std::string name = "Marker " + std::to_string(++marker);
            text::Message sendError;
            QVERIFY(rita.client.publishKill({name, 60, 0, start + 1000 + marker}, sendError));
            QTRY_VERIFY_WITH_TIMEOUT(session.room()->offers().count(name) == 1, kPatienceMs);
            QVERIFY2(state() == c.expected, c.what);
            const auto trail = session.roomAudit()->ofBoss("guild", c.boss, 50);
            const bool refused = std::any_of(trail.begin(), trail.end(), [&](const auto& entry) {
                return entry.kind == history::AuditKind::Refused && entry.line == c.line &&
                       entry.killUtcSeconds == c.at && c.refusal != nullptr &&
                       entry.reason == c.refusal;
            });
            QVERIFY2(refused == (c.refusal != nullptr), c.what);
        }
        QVERIFY(session.room()->offers().count("Golem") == 0);
        // What reached the line is in the history with its line and server.
        const auto kills = session.history().allKills("黑龙");
        QVERIFY(std::any_of(kills.begin(), kills.end(), [&](const schedule::KillRecord& kill) {
            return kill.line == "3" && kill.server == "二区" && kill.utcSeconds == start + 600 &&
                   kill.source == schedule::KillSource::Remote;
        }));

        // And out: a kill on a line here reaches the current member with its line and server,
        // and never the topics of earlier versions, which would take it for the boss's.
        EarlierReader earlier(m_broker->port(), "rita", "rita-pw");
        QVERIFY(earlier.ok());
        QTRY_VERIFY_WITH_TIMEOUT(earlier.subscribed(), kPatienceMs);
        m_clock.advance(60);
        const schedule::UtcSeconds out = now();
        QVERIFY(
            session.kills().recordOnLine(dragon, line3, out, schedule::KillSource::DoubleClick));
        QVERIFY(rita.recorder.waitFor([&] {
            return std::any_of(rita.recorder.killsLocked().begin(),
                               rita.recorder.killsLocked().end(), [&](const share::KillEvent& k) {
                                   return k.boss == "黑龙" && k.killUtcSeconds == out &&
                                          k.line == "3" && k.server == "二区";
                               });
        }));
        // A row kill after it is copied to the earlier topics; the line kill before it is not.
        QVERIFY(session.kills().record(hydra, out, schedule::KillSource::DoubleClick));
        const std::string hydraTopic = share::legacyTopic("guild", "Hydra");
        const std::string dragonTopic = share::legacyTopic("guild", "黑龙");
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                const auto topics = earlier.topics();
                return std::find(topics.begin(), topics.end(), hydraTopic) != topics.end();
            }(),
            kPatienceMs);
        const auto topics = earlier.topics();
        QCOMPARE(std::count(topics.begin(), topics.end(), dragonTopic), 0);
    }

    // An officer's retraction of a kill on a line puts that line back, as a row is put back:
    // to the kill it showed before, or the room's newest after the retraction, or none. A
    // line showing another kill keeps it, and a line this table lacks changes nothing.
    void anOfficersRetractionPutsTheLineBack() {
        QTemporaryDir dir;
        const std::unique_ptr<app::Session> rudis = sessionOfRudi(dir);
        QVERIFY(rudis);
        app::Session& session = *rudis;
        schedule::BossTable& table = session.table();
        const int index = table.appendRow();
        const schedule::RowId dragon = table.rowId(index);
        table.setCellTexts(dragon, {{schedule::kNameColumn, "黑龙"},
                                    {schedule::kPeriodColumn, "60"},
                                    {schedule::kLastTimeColumn, "09:00:00"}});
        table.setCheckState(index, true);
        const std::optional<schedule::UtcSeconds> dragonRow = table.row(dragon)->timing.lastUtc;
        QString error;
        QVERIFY2(session.lines().setLines(dragon, {{"一区", "二区"}, {"1", "2", "3"}}, error),
                 qPrintable(error));
        schedule::LineBoard& board = session.lines().board();
        const auto lastKills = [&] {
            std::map<std::string, std::optional<schedule::UtcSeconds>> kills;
            for (const schedule::LineTimer& timer : board.timers(dragon)) {
                kills[timer.key.server + "/" + timer.key.line] = timer.state.lastKill;
            }
            return kills;
        };
        session.joinRoom();
        QTRY_COMPARE_WITH_TIMEOUT(session.room()->state(), share::RoomState::Connected,
                                  kPatienceMs);
        testing::RoomMember rita(as("rita"));
        QVERIFY(rita.join());
        testing::RoomMember olga(as("olga"));
        QVERIFY(olga.join());

        const schedule::UtcSeconds t = now();
        constexpr schedule::UtcSeconds kHour = 3600;
        const struct {
            const char* what;
            std::string server, line;
            std::optional<schedule::UtcSeconds> shownBefore; // the line's own, never shared
            std::vector<schedule::UtcSeconds> kills;         // Rita's, in turn
            std::size_t retracted;                           // which of them Olga retracts
            std::optional<schedule::UtcSeconds> shownAfter;  // a kill of the line's own after
            std::optional<schedule::UtcSeconds> expected;
        } cases[] = {
            {"back to the kill before it",
             "一区",
             "1",
             std::nullopt,
             {t - 5 * kHour, t - 3 * kHour},
             1,
             std::nullopt,
             t - 5 * kHour},
            {"the line's only kill: back to none",
             "一区",
             "2",
             std::nullopt,
             {t - 3 * kHour},
             0,
             std::nullopt,
             std::nullopt},
            {"back to what the line showed before, which the room never had",
             "二区",
             "1",
             t - 6 * kHour,
             {t - 3 * kHour},
             0,
             std::nullopt,
             t - 6 * kHour},
            {"a kill that is not the line's newest: nothing moves",
             "一区",
             "3",
             std::nullopt,
             {t - 5 * kHour, t - 3 * kHour},
             0,
             std::nullopt,
             t - 3 * kHour},
            {"a line showing a later kill of its own keeps it",
             "二区",
             "2",
             std::nullopt,
             {t - 5 * kHour},
             0,
             t - 2 * kHour,
             t - 2 * kHour},
            {"a line this table lacks: nothing moves",
             "二区",
             "9",
             std::nullopt,
             {t - 5 * kHour},
             0,
             std::nullopt,
             std::nullopt},
        };
        int marker = 0;
        // A kill of a boss nobody has, sent after `sender`'s last message: once it is on offer,
        // the messages before it were taken.
        const auto handled = [&](testing::RoomMember& sender) {
            const std::string name = "Marker " + std::to_string(++marker);
            m_clock.advance(61);
            text::Message sendError;
            QVERIFY(sender.client.publishKill({name, 60, 0, t + marker}, sendError));
            QTRY_VERIFY_WITH_TIMEOUT(session.room()->offers().count(name) == 1, kPatienceMs);
        };
        for (const auto& c : cases) {
            schedule::LineId id = 0;
            const bool known =
                board.findLine(dragon, c.server, c.line, id) == schedule::LineLookup::Found;
            if (c.shownBefore) {
                QVERIFY2(board.kill(dragon, id, *c.shownBefore), c.what);
            }
            std::vector<std::string> events;
            for (const schedule::UtcSeconds kill : c.kills) {
                // A minute on for each: a member sends at most so many kills a minute.
                m_clock.advance(61);
                text::Message sendError;
                std::string eventId;
                QVERIFY2(rita.client.publishKill({"黑龙", 60, 0, kill, c.server, c.line}, sendError,
                                                 &eventId),
                         c.what);
                events.push_back(eventId);
                QVERIFY2(olga.recorder.waitFor([&] {
                    return std::any_of(
                        olga.recorder.killsLocked().begin(), olga.recorder.killsLocked().end(),
                        [&](const share::KillEvent& k) { return k.eventId == events.back(); });
                }),
                         c.what);
            }
            handled(rita);
            if (known) {
                QVERIFY2(board.timer(dragon, id)->state.lastKill == c.kills.back() ||
                             (c.shownBefore && *c.shownBefore > c.kills.back()),
                         c.what);
            }
            if (c.shownAfter) {
                QVERIFY2(board.kill(dragon, id, *c.shownAfter), c.what);
            }
            auto expected = lastKills();
            if (known) {
                expected[c.server + "/" + c.line] = c.expected;
            }
            m_clock.advance(61);
            text::Message retractError;
            QVERIFY2(olga.client.retractKill(events[c.retracted], retractError), c.what);
            handled(olga);
            QVERIFY2(lastKills() == expected, c.what);
            // The boss's own row never moves for a line.
            QVERIFY2(table.row(dragon)->timing.lastUtc == dragonRow, c.what);
            // The trail names the retracted kill's line.
            const auto trail = session.roomAudit()->ofBoss("guild", "黑龙", 100);
            QVERIFY2(std::any_of(trail.begin(), trail.end(),
                                 [&](const auto& entry) {
                                     return entry.kind == history::AuditKind::Retracted &&
                                            entry.targetEventId == events[c.retracted] &&
                                            entry.line == c.line && entry.server == c.server;
                                 }),
                     c.what);
        }
    }
};

QTEST_MAIN(RoomLinesTest)
#include "test_roomlines.moc"
