// Two members relaying the room's push alerts to the same webhook, on a real mosquitto with
// the dynamic-security plugin set up by the shipped room script: each event is posted once,
// and when the member posting it goes (with a goodbye, or its connection cut) the other
// takes the next event over; a presence the broker kept of a relay long gone stops holding
// the posts back.

#include "push/pusher.h"
#include "push/relay.h"
#include "share/roomclient.h"
#include "tests/net/localservers.h"
#include "tests/share/localbroker.h"
#include "tests/share/roommembers.h"
#include "tests/support/waitfor.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zorvane::push {
namespace {

using namespace std::chrono_literals;
using testing::LocalBroker;
using testing::waitFor;

// Stands still until the test moves it; a wait for a later moment polls, so that the
// pusher sees the move.
class HeldPushClock final : public PushClock {
public:
    TimePoint now() const override {
        const std::lock_guard lock(m_mutex);
        return m_now;
    }
    std::int64_t utcNow() const override { return 1796637600 + (now() - TimePoint{}) / 1s; }
    void waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake,
                   TimePoint) override {
        wake.wait_for(lock, 5ms);
    }
    void advance(std::chrono::milliseconds by) {
        const std::lock_guard lock(m_mutex);
        m_now += by;
    }

private:
    mutable std::mutex m_mutex;
    TimePoint m_now{};
};

// Passes one member's connections on to the broker until cut: a cut closes them without
// the MQTT goodbye, as a lost network or a killed program does, and takes no new ones.
class CuttableLine {
public:
    explicit CuttableLine(int brokerPort) : m_brokerPort(brokerPort) {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_listener, 4);
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_acceptor = std::thread([this] { acceptLoop(); });
    }
    ~CuttableLine() {
        cut();
        m_acceptor.join();
        for (std::thread& pump : m_pumps) {
            pump.join();
        }
        for (const int fd : m_sockets) {
            ::close(fd);
        }
    }
    int port() const { return m_port; }
    void cut() {
        const std::lock_guard lock(m_mutex);
        if (m_listener >= 0) {
            ::shutdown(m_listener, SHUT_RDWR);
        }
        for (const int fd : m_sockets) {
            ::shutdown(fd, SHUT_RDWR);
        }
    }

private:
    void acceptLoop() {
        while (true) {
            const int member = ::accept(m_listener, nullptr, nullptr);
            if (member < 0) {
                break;
            }
            const int broker = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            address.sin_port = htons(static_cast<std::uint16_t>(m_brokerPort));
            ::connect(broker, reinterpret_cast<sockaddr*>(&address), sizeof address);
            const std::lock_guard lock(m_mutex);
            m_sockets.insert(m_sockets.end(), {member, broker});
            m_pumps.emplace_back([member, broker] { pump(member, broker); });
            m_pumps.emplace_back([member, broker] { pump(broker, member); });
        }
        ::close(m_listener);
    }
    static void pump(int from, int to) {
        char buffer[4096];
        ssize_t got = 0;
        while ((got = ::read(from, buffer, sizeof buffer)) > 0) {
            if (::write(to, buffer, static_cast<std::size_t>(got)) != got) {
                break;
            }
        }
        ::shutdown(to, SHUT_RDWR);
    }

    const int m_brokerPort;
    int m_listener = -1;
    int m_port = 0;
    std::mutex m_mutex;
    std::vector<int> m_sockets;
    std::vector<std::thread> m_pumps;
    std::thread m_acceptor;
};

// A member relaying the room's alerts: its room client carries the book's presence and
// claims, and what the other relays say goes into the book.
class RelayMember final : public share::RoomListener, public RelayOutbox {
public:
    // `writesTime` false: its presences carry no time, as earlier versions' do. `startsAfter`:
    // how much later than the others' clocks this member starts.
    RelayMember(share::RoomOptions options, const std::string& webhook, RelayTiming timing = {},
                bool writesTime = true, std::chrono::seconds startsAfter = 0s)
        : book("guild", {}, timing), pusher(pusherOptions()),
          client(withRelay(std::move(options)), *this), webhookUrl(webhook),
          m_writesTime(writesTime) {
        book.setOutbox(this);
        clock.advance(startsAfter);
        PushTarget target;
        target.id = "guild-hook";
        target.name = "公会";
        target.kind = TargetKind::Json;
        target.url = webhook;
        target.scope = TargetScope::Room;
        PushSettings settings;
        settings.targets = {target};
        pusher.configure(settings);
    }
    ~RelayMember() override {
        client.stop();
        book.setOutbox(nullptr);
    }

    bool join() {
        text::Message error;
        return client.start(error) &&
               waitFor([&] { return client.state() == share::RoomState::Connected; });
    }
    std::size_t othersKnown() const { return book.others().size(); }
    std::chrono::seconds delayFor(const AlertEvent& event) const {
        return book.delayFor(eventId(event), book.channelFor(webhookUrl), event.kind,
                             clock.utcNow());
    }
    bool claimedElsewhere(const AlertEvent& event) const {
        return book.claimedElsewhere(eventId(event), book.channelFor(webhookUrl));
    }
    int relayed() const {
        const std::vector<TargetStatus> statuses = pusher.statuses();
        return statuses.empty() ? -1 : statuses.front().relayed;
    }

    HeldPushClock clock;
    RelayBook book;
    Pusher pusher;
    share::RoomClient client;
    const std::string webhookUrl;

private:
    PusherOptions pusherOptions() {
        PusherOptions options;
        options.clock = &clock;
        options.relays = &book;
        return options;
    }
    share::RoomOptions withRelay(share::RoomOptions options) {
        options.relayId = book.relayId();
        return options;
    }

    void roomStateChanged(share::RoomState state, const text::Message&) override {
        if (state != share::RoomState::Connected) {
            book.forgetOthers();
        }
    }
    void remoteKill(const share::KillEvent&, bool) override {}
    void messageDropped(share::DropReason, const std::string&) override {}
    void clockSkew(const share::MemberSkew&) override {}
    void relayPresenceHeard(const std::string& relayId, const std::string& payload) override {
        book.presenceHeard(relayId, payload);
    }
    void relayClaimHeard(const std::string& payload) override {
        book.claimHeard(payload, clock.utcNow());
    }
    void publishPresence(const RelayPresence& presence) override {
        RelayPresence said = presence;
        if (!m_writesTime) {
            said.writtenUtc = 0;
        }
        client.setRelayPresence(encodePresence(said));
    }
    void publishClaim(const RelayClaim& claim) override {
        client.publishRelayClaim(encodeClaim(claim));
    }

    const bool m_writesTime;
};

class CountingWebhook {
public:
    CountingWebhook() {
        m_server.server().Post(".*", [this](const httplib::Request&, httplib::Response& answer) {
            ++m_posts;
            answer.status = 204;
        });
        m_server.start();
    }
    std::string url() const { return m_server.base() + "/hook"; }
    int posts() const { return m_posts; }

private:
    std::atomic<int> m_posts{0};
    testing::LocalHttpServer m_server;
};

AlertEvent spawnOf(const std::string& boss) {
    return AlertEvent{AlertKind::Spawn, 0, boss, "", "", 1796637600 + 3600};
}

// Each relay ranks the holders alike; the one ranked first for the event.
RelayMember& firstFor(const AlertEvent& event, RelayMember& a, RelayMember& b) {
    return a.delayFor(event) == 0s ? a : b;
}

testing::BrokerOptions roomBroker() {
    testing::BrokerOptions options;
    options.rooms = true;
    return options;
}

// Starts the broker with the room "guild": rita a recorder, rex of `rexRole`.
::testing::AssertionResult startGuild(LocalBroker& broker, const std::string& rexRole) {
    if (!broker.start()) {
        return ::testing::AssertionFailure() << broker.error();
    }
    for (const std::string& command :
         std::vector<std::string>{"create guild", "add guild rita recorder --password rita-pw",
                                  "add guild rex " + rexRole + " --password rex-pw"}) {
        std::string output;
        if (!broker.roomScript(command, &output)) {
            return ::testing::AssertionFailure() << command << ": " << output;
        }
    }
    return ::testing::AssertionSuccess();
}

TEST(RoomRelays, eachEventIsPostedOnceAndTakenOverWhenTheRelayGoes) {
    enum class Leaving { Goodbye, ConnectionCut };
    for (const Leaving leaving : {Leaving::Goodbye, Leaving::ConnectionCut}) {
        SCOPED_TRACE(leaving == Leaving::Goodbye ? "goodbye" : "connection cut");
        LocalBroker broker(roomBroker());
        // A reader relays as well as a recorder.
        ASSERT_TRUE(startGuild(broker, "reader"));
        CountingWebhook webhook;
        CuttableLine line(broker.port());

        share::RoomOptions ritaOptions = testing::roomOptions(broker, "rita", "rita", "rita-pw");
        ritaOptions.link.port = line.port();
        auto rita = std::make_unique<RelayMember>(ritaOptions, webhook.url());
        auto rex = std::make_unique<RelayMember>(
            testing::roomOptions(broker, "rex", "rex", "rex-pw"), webhook.url());
        ASSERT_TRUE(rita->join());
        ASSERT_TRUE(rex->join());
        ASSERT_TRUE(waitFor([&] { return rita->othersKnown() == 1 && rex->othersKnown() == 1; }));

        // Find an event rita posts first, so that her leaving is what the next one tests.
        AlertEvent first = spawnOf("黑龙");
        for (int n = 0; &firstFor(first, *rita, *rex) != rita.get(); ++n) {
            first = spawnOf("黑龙" + std::to_string(n));
        }
        rita->pusher.enqueue(first);
        rex->pusher.enqueue(first);
        ASSERT_TRUE(waitFor([&] { return webhook.posts() == 1 && rex->claimedElsewhere(first); }));
        // Rex's turn comes, and the claim holds him back.
        rex->clock.advance(kTakeOverDelay * 2);
        ASSERT_TRUE(rex->pusher.waitUntilIdle(60s));
        EXPECT_EQ(rex->relayed(), 1);
        EXPECT_EQ(webhook.posts(), 1);

        if (leaving == Leaving::Goodbye) {
            rita.reset();
        } else {
            line.cut(); // the broker sends rita's will
        }
        ASSERT_TRUE(waitFor([&] { return rex->othersKnown() == 0; }));
        const AlertEvent next = spawnOf("火龙");
        rex->pusher.enqueue(next);
        EXPECT_EQ(rex->delayFor(next), 0s);
        ASSERT_TRUE(waitFor([&] { return webhook.posts() == 2; }));
        ASSERT_TRUE(rex->pusher.waitUntilIdle(60s));
        EXPECT_EQ(webhook.posts(), 2);
    }
}

// A member that starts just after a spawn fires the spawn's alert at once. The claim of the
// relay that posted it is not kept by the broker, so only the presences say who was there.
TEST(RoomRelays, aRelayThatStartsAfterAnEventFiredLeavesItToOneThatWasThere) {
    const RelayTiming timing{60s, 180s, 5s};
    for (const bool ritaStays : {true, false}) {
        SCOPED_TRACE(ritaStays ? "rita still relays" : "rita has left");
        LocalBroker broker(roomBroker());
        ASSERT_TRUE(startGuild(broker, "recorder"));
        CountingWebhook webhook;
        auto rita = std::make_unique<RelayMember>(
            testing::roomOptions(broker, "rita", "rita", "rita-pw"), webhook.url(), timing);
        ASSERT_TRUE(rita->join());
        // The boss spawns a minute after rita began; she alone relays, and posts it.
        const AlertEvent event{AlertKind::Spawn, 0, "黑龙", "", "", rita->clock.utcNow() + 60};
        rita->clock.advance(60s);
        rita->pusher.enqueue(event);
        ASSERT_TRUE(waitFor([&] { return webhook.posts() == 1; }));
        ASSERT_TRUE(rita->pusher.waitUntilIdle(60s));
        if (!ritaStays) {
            rita.reset();
        }

        // Rex starts half a minute after the spawn, and his tick fires it at once.
        RelayMember rex(testing::roomOptions(broker, "rex", "rex", "rex-pw"), webhook.url(), timing,
                        true, 90s);
        ASSERT_TRUE(rex.join());
        ASSERT_TRUE(waitFor([&] { return rex.othersKnown() == (ritaStays ? 1u : 0u); }));
        rex.pusher.enqueue(event);
        // Nothing goes out before the presences could have come.
        EXPECT_FALSE(waitFor([&] { return webhook.posts() > 1; }, 300ms));
        rex.clock.advance(timing.settle + kTakeOverDelay);
        ASSERT_TRUE(rex.pusher.waitUntilIdle(60s));
        // Rita was there when it fired: it was hers. With nobody there, it is his to post.
        EXPECT_EQ(webhook.posts(), ritaStays ? 1 : 2);
        EXPECT_EQ(rex.relayed(), ritaStays ? 1 : 0);
    }
}

TEST(RoomRelays, aPresenceLeftBehindStopsHoldingThePostsBackOnceItsLifeHasPassed) {
    const RelayTiming timing{60s, 180s};
    const struct {
        const char* name;
        bool ritaStays;      // else the broker crashes and rita ends before it is back
        bool ritaWritesTime; // false: an earlier version's presence
        std::chrono::seconds rexDelay;
    } cases[] = {
        {"left behind by a broker crash", false, true, 0s},
        {"an earlier version's, left behind", false, false, kTakeOverDelay},
        {"a live relay writing it again", true, true, kTakeOverDelay},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LocalBroker broker(roomBroker());
        ASSERT_TRUE(startGuild(broker, "recorder"));
        CountingWebhook webhook;
        auto rita =
            std::make_unique<RelayMember>(testing::roomOptions(broker, "rita", "rita", "rita-pw"),
                                          webhook.url(), timing, c.ritaWritesTime);
        auto rex = std::make_unique<RelayMember>(
            testing::roomOptions(broker, "rex", "rex", "rex-pw"), webhook.url(), timing);
        ASSERT_TRUE(rita->join());
        ASSERT_TRUE(rex->join());
        ASSERT_TRUE(waitFor([&] { return rita->othersKnown() == 1 && rex->othersKnown() == 1; }));
        // An event rita ranks first for: while rex counts her, he waits his turn.
        AlertEvent event = spawnOf("黑龙");
        for (int n = 0; rex->delayFor(event) != kTakeOverDelay; ++n) {
            event = spawnOf("黑龙" + std::to_string(n));
        }

        if (!c.ritaStays) {
            broker.crash();
            ASSERT_TRUE(
                waitFor([&] { return rex->client.state() != share::RoomState::Connected; }));
            rita.reset(); // her goodbye finds no broker
            ASSERT_TRUE(broker.start()) << broker.error();
            // The broker kept her presence and hands it to rex again.
            ASSERT_TRUE(waitFor([&] {
                return rex->client.state() == share::RoomState::Connected &&
                       rex->othersKnown() == 1;
            }));
            EXPECT_EQ(rex->delayFor(event), kTakeOverDelay);
        }
        const auto later = timing.life + timing.refresh;
        rex->clock.advance(later);
        if (rita) {
            // What the helper's refresher does as the time passes.
            rita->clock.advance(later);
            const std::int64_t written = rita->clock.utcNow();
            ASSERT_TRUE(rita->book.refreshPresence(written));
            ASSERT_TRUE(waitFor([&] {
                const std::vector<RelayPresence> others = rex->book.others();
                return others.size() == 1 && others[0].writtenUtc == written;
            }));
        }
        EXPECT_EQ(rex->delayFor(event), c.rexDelay);

        // Rex has the event alone; it is posted once, at once or when his turn comes.
        rex->pusher.enqueue(event);
        if (c.rexDelay > 0s) {
            EXPECT_FALSE(waitFor([&] { return webhook.posts() > 0; }, 300ms));
            rex->clock.advance(c.rexDelay);
        }
        ASSERT_TRUE(waitFor([&] { return webhook.posts() == 1; }));
        ASSERT_TRUE(rex->pusher.waitUntilIdle(60s));
        EXPECT_EQ(webhook.posts(), 1);
    }
}

} // namespace
} // namespace zorvane::push
