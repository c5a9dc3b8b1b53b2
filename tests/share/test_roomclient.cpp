// Members of a room against a real mosquitto broker started by each test.

#include "share/roomclient.h"
#include "tests/share/localbroker.h"
#include "tests/share/roommembers.h"

#include <gtest/gtest.h>

#include <mosquitto.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

using namespace zorvane::share;
using namespace zorvane::testing;

namespace {

using zorvane::testing::publishRaw;
using zorvane::testing::Recorder;
using zorvane::testing::RoomMember;

using Member = RoomMember;

// After every kill the tests make: kills later than now are refused.
constexpr std::int64_t kNow = zorvane::testing::kRoomNow;

RoomOptions optionsFor(
    const LocalBroker& broker, const std::string& nickname,
    std::function<std::int64_t()> clock = [] { return kNow; }) {
    return zorvane::testing::roomOptions(broker, nickname, {}, {}, std::move(clock));
}

} // namespace

TEST(RoomClient, TwoMembersExchangeKillsBothWaysAndIgnoreTheirOwn) {
    LocalBroker broker;
    ASSERT_TRUE(broker.start()) << broker.error();
    Member alice(optionsFor(broker, "alice"));
    Member bob(optionsFor(broker, "bob"));
    ASSERT_TRUE(alice.join());
    ASSERT_TRUE(bob.join());

    alice.kill("  火龙 ", 1796000100, 120);
    ASSERT_TRUE(bob.recorder.waitForKillOf("火龙", 1796000100));
    bob.kill("Golem", 1796000200);
    ASSERT_TRUE(alice.recorder.waitForKillOf("Golem", 1796000200));

    const auto atBob = bob.recorder.kills();
    ASSERT_EQ(atBob.size(), 1U);
    EXPECT_EQ(atBob[0].nickname, "alice");
    EXPECT_EQ(atBob[0].periodMinutes, 120);
    EXPECT_EQ(atBob[0].senderId, alice.client.senderId());
    EXPECT_FALSE(bob.recorder.retained()[0]);
    // Each saw only the other's kill, never its own echo.
    ASSERT_TRUE(alice.recorder.waitFor([&] { return alice.client.pendingCount() == 0; }));
    EXPECT_EQ(alice.recorder.kills().size(), 1U);
    EXPECT_EQ(bob.recorder.kills().size(), 1U);
    EXPECT_TRUE(alice.recorder.drops().empty());
    EXPECT_TRUE(alice.recorder.skews().empty());
}

TEST(RoomClient, LateMemberReceivesTheLatestRetainedKillOfEveryBoss) {
    LocalBroker broker;
    ASSERT_TRUE(broker.start()) << broker.error();
    Member alice(optionsFor(broker, "alice"));
    ASSERT_TRUE(alice.join());
    alice.kill("A", 1796000100);
    alice.kill("A", 1796000300); // replaces the first
    alice.kill("B", 1796000200);
    ASSERT_TRUE(alice.recorder.waitFor([&] { return alice.client.pendingCount() == 0; }));

    Member late(optionsFor(broker, "late"));
    ASSERT_TRUE(late.join());
    ASSERT_TRUE(late.recorder.waitFor([&] {
        return late.recorder.hasKillLocked("A", 1796000300) &&
               late.recorder.hasKillLocked("B", 1796000200);
    }));
    EXPECT_EQ(late.recorder.kills().size(), 2U);
    for (const bool retained : late.recorder.retained()) {
        EXPECT_TRUE(retained);
    }
    // Retained kills are old by nature: they say nothing about clocks.
    EXPECT_TRUE(late.recorder.skews().empty());
}

TEST(RoomClient, RoomsDoNotHearEachOther) {
    LocalBroker broker;
    ASSERT_TRUE(broker.start()) << broker.error();
    Member alice(optionsFor(broker, "alice"));
    RoomOptions elsewhere = optionsFor(broker, "bob");
    elsewhere.link.room = "other";
    Member bob(elsewhere);
    Member carol(optionsFor(broker, "carol"));
    ASSERT_TRUE(alice.join());
    ASSERT_TRUE(bob.join());
    ASSERT_TRUE(carol.join());
    bob.kill("A", 1796000100);
    alice.kill("A", 1796000500);
    ASSERT_TRUE(carol.recorder.waitForKillOf("A", 1796000500));
    ASSERT_TRUE(bob.recorder.waitFor([&] { return bob.client.pendingCount() == 0; }));
    EXPECT_EQ(carol.recorder.kills().size(), 1U);
    EXPECT_TRUE(bob.recorder.kills().empty());
}

TEST(RoomClient, PasswordsAreCheckedAndARefusalIsReported) {
    LocalBroker broker({"guild", "s3cret pass", "", ""});
    ASSERT_TRUE(broker.start()) << broker.error();
    struct Case {
        const char* user;
        const char* password;
        RoomState state;
    };
    const Case cases[] = {
        {"guild", "s3cret pass", RoomState::Connected},
        {"guild", "wrong", RoomState::Refused},
        {"nobody", "s3cret pass", RoomState::Refused},
    };
    for (const Case& c : cases) {
        RoomOptions options = optionsFor(broker, "m");
        options.link.user = c.user;
        options.password = c.password;
        Member member(options);
        zorvane::text::Message error;
        ASSERT_TRUE(member.client.start(error)) << zorvane::text::defaultText(error);
        ASSERT_TRUE(member.recorder.waitForState(c.state)) << c.user << "/" << c.password;
        for (const auto& [state, reason] : member.recorder.states()) {
            EXPECT_EQ(reason.find(c.password), std::string::npos) << "a reason shows the password";
        }
        if (c.state == RoomState::Refused) {
            EXPECT_NE(member.recorder.states().back().second.find("密码"), std::string::npos)
                << member.recorder.states().back().second;
        }
    }
}

TEST(RoomClient, TlsNeedsACertificateFromTheTrustedCa) {
    TestCertificates certificates;
    ASSERT_TRUE(certificates.ok());
    LocalBroker broker({"", "", certificates.certFile(), certificates.keyFile()});
    ASSERT_TRUE(broker.start()) << broker.error();
    struct Case {
        std::string host;
        std::string caFile;
        RoomState state;
    };
    const Case cases[] = {
        {"127.0.0.1", certificates.caFile(), RoomState::Connected},
        {"localhost", certificates.caFile(), RoomState::Connected},
        {"127.0.0.1", certificates.otherCaFile(), RoomState::Refused},
        {"127.0.0.1", "", RoomState::Refused}, // the system's CAs do not know the test CA
    };
    for (const Case& c : cases) {
        RoomOptions options = optionsFor(broker, "m");
        options.link.secure = true;
        options.link.host = c.host;
        options.caFile = c.caFile;
        Member member(options);
        zorvane::text::Message error;
        ASSERT_TRUE(member.client.start(error)) << zorvane::text::defaultText(error);
        ASSERT_TRUE(member.recorder.waitForState(c.state))
            << c.host << " " << c.caFile << " " << describe(member.client.state());
        if (c.state == RoomState::Connected) {
            Member other(options);
            ASSERT_TRUE(other.join());
            member.kill("T", 1796000100);
            EXPECT_TRUE(other.recorder.waitForKillOf("T", 1796000100));
        }
    }
    RoomOptions missingCa = optionsFor(broker, "m");
    missingCa.link.secure = true;
    missingCa.caFile = "/nonexistent/ca.pem";
    Member member(missingCa);
    zorvane::text::Message error;
    EXPECT_FALSE(member.client.start(error));
    EXPECT_EQ(error, zorvane::text::Message(zorvane::text::MessageId::RoomCaFileUnusable,
                                            {zorvane::text::Message::literal(missingCa.caFile)}));
}

// A TLS connection to a plain port and a CA file that holds no certificate are told as what
// they are, not as an untrusted certificate.
TEST(RoomClient, TlsFailuresAreToldByTheirTrueReason) {
    using zorvane::text::Message;
    using zorvane::text::MessageId;
    TestCertificates certificates;
    ASSERT_TRUE(certificates.ok());
    LocalBroker tls({"", "", certificates.certFile(), certificates.keyFile()});
    LocalBroker plain;
    ASSERT_TRUE(tls.start()) << tls.error();
    ASSERT_TRUE(plain.start()) << plain.error();
    const auto dir = std::filesystem::path(certificates.caFile()).parent_path();
    const std::string text = (dir / "notes.txt").string();
    const std::string garbage = (dir / "garbage.pem").string();
    std::ofstream(text) << "the guild's CA is on the forum\n";
    std::ofstream(garbage) << "-----BEGIN CERTIFICATE-----\nbm90IGEgY2VydGlmaWNhdGU=\n"
                              "-----END CERTIFICATE-----\n";
    struct Case {
        const char* what;
        const LocalBroker& broker;
        std::string caFile;
        bool starts;
        Message reason;
    };
    const Case cases[] = {
        {"a plain port", plain, certificates.caFile(), true, Message(MessageId::RoomNotTls)},
        {"a file of text", tls, text, false,
         Message(MessageId::RoomCaFileNoCertificate, {Message::literal(text)})},
        {"no certificate inside the markers", tls, garbage, true,
         Message(MessageId::RoomCaFileNoCertificate, {Message::literal(garbage)})},
        {"another CA", tls, certificates.otherCaFile(), true, Message(MessageId::RoomTlsFailed)},
    };
    for (const Case& c : cases) {
        RoomOptions options = optionsFor(c.broker, "m");
        options.link.secure = true;
        options.caFile = c.caFile;
        Member member(options);
        Message error;
        ASSERT_EQ(member.client.start(error), c.starts) << c.what;
        if (!c.starts) {
            EXPECT_EQ(error, c.reason) << c.what << ": " << zorvane::text::defaultText(error);
            continue;
        }
        ASSERT_TRUE(member.recorder.waitForState(RoomState::Refused)) << c.what;
        EXPECT_EQ(member.recorder.states().back().second, zorvane::text::defaultText(c.reason))
            << c.what;
    }
}

// A message larger than any a member sends never reaches a member: the broker is told the
// largest packet the member takes, and keeps anything larger to itself, also after the
// member reconnects.
TEST(RoomClient, OversizedMessagesNeverReachTheMember) {
    LocalBroker broker;
    ASSERT_TRUE(broker.start()) << broker.error();
    Member bob(optionsFor(broker, "bob"));
    ASSERT_TRUE(bob.join());
    const std::string huge(kMaxPacketBytes + 100000, 'x');
    for (int round = 0; round < 2; ++round) {
        const std::int64_t at = 1796000100 + round;
        EXPECT_LT(publishRaw(broker.port(), bossTopic("guild", "Huge"), huge), 0x80);
        EXPECT_LT(publishRaw(broker.port(), killTopic("guild", Branch::Kill, "m", {"", "Huge", ""}),
                             huge),
                  0x80);
        KillEvent after;
        after.boss = "After";
        after.periodMinutes = 60;
        after.killUtcSeconds = at;
        after.nickname = "m";
        after.senderId = randomId();
        after.sentUtcMillis = kNow;
        after.eventId = randomId();
        EXPECT_LT(publishRaw(broker.port(), bossTopic("guild", "After"), encodeKillEvent(after)),
                  0x80);
        ASSERT_TRUE(bob.recorder.waitForKillOf("After", at));
        EXPECT_TRUE(bob.recorder.drops().empty()) << "an oversized message was read";
        EXPECT_EQ(bob.client.droppedCount(), 0U);
        // Again over a new connection.
        broker.stop();
        ASSERT_TRUE(bob.recorder.waitForState(RoomState::Reconnecting));
        ASSERT_TRUE(broker.start()) << broker.error();
        ASSERT_TRUE(bob.recorder.waitForState(RoomState::Connected));
    }
}

TEST(RoomClient, KillsSurviveABrokerRestartAndKillsMadeOfflineGoOutOnReconnect) {
    LocalBroker broker;
    ASSERT_TRUE(broker.start()) << broker.error();
    Member alice(optionsFor(broker, "alice"));
    Member bob(optionsFor(broker, "bob"));
    ASSERT_TRUE(alice.join());
    ASSERT_TRUE(bob.join());
    alice.kill("Before", 1796000100);
    ASSERT_TRUE(alice.recorder.waitFor([&] { return alice.client.pendingCount() == 0; }));

    broker.stop();
    ASSERT_TRUE(alice.recorder.waitForState(RoomState::Reconnecting));
    ASSERT_TRUE(bob.recorder.waitForState(RoomState::Reconnecting));
    alice.kill("Offline", 1796000200);
    EXPECT_EQ(alice.client.pendingCount(), 1U);

    ASSERT_TRUE(broker.start()) << broker.error();
    ASSERT_TRUE(alice.recorder.waitForState(RoomState::Connected));
    ASSERT_TRUE(bob.recorder.waitForKillOf("Offline", 1796000200));
    ASSERT_TRUE(alice.recorder.waitFor([&] { return alice.client.pendingCount() == 0; }));

    // The broker kept the kill from before the restart: a new member gets both.
    Member late(optionsFor(broker, "late"));
    ASSERT_TRUE(late.join());
    EXPECT_TRUE(late.recorder.waitFor([&] {
        return late.recorder.hasKillLocked("Before", 1796000100) &&
               late.recorder.hasKillLocked("Offline", 1796000200);
    }));
}

TEST(RoomClient, AKillMadeBeforeTheFirstConnectionIsSentOnceTheBrokerIsUp) {
    LocalBroker broker;
    Member alice(optionsFor(broker, "alice"));
    zorvane::text::Message error;
    ASSERT_TRUE(alice.client.start(error)) << zorvane::text::defaultText(error);
    alice.kill("Early", 1796000100);
    ASSERT_TRUE(alice.recorder.waitForState(RoomState::Reconnecting));
    ASSERT_TRUE(broker.start()) << broker.error();
    ASSERT_TRUE(alice.recorder.waitForState(RoomState::Connected));
    Member bob(optionsFor(broker, "bob"));
    ASSERT_TRUE(bob.join());
    EXPECT_TRUE(bob.recorder.waitForKillOf("Early", 1796000100));
}

TEST(RoomClient, MalformedMessagesAreDroppedAndCounted) {
    LocalBroker broker;
    ASSERT_TRUE(broker.start()) << broker.error();
    Member bob(optionsFor(broker, "bob"));
    ASSERT_TRUE(bob.join());
    KillEvent valid;
    valid.boss = "Real";
    valid.periodMinutes = 60;
    valid.killUtcSeconds = 1796000100;
    valid.nickname = "mallory";
    valid.senderId = randomId();
    valid.sentUtcMillis = kNow;
    valid.eventId = randomId();
    KillEvent current = valid;
    current.boss = "Current";
    current.eventId = randomId();
    const std::string room = "guild";
    const auto killOf = [&](const std::string& boss) {
        return killTopic(room, Branch::Kill, "mallory", {"", boss, ""});
    };
    struct Case {
        std::string topic;
        std::string payload;
        DropReason reason;
    };
    const Case cases[] = {
        {bossTopic(room, "X"), "not json", DropReason::NotJson},
        {bossTopic(room, "X"), std::string(5000, '{'), DropReason::TooLarge},
        {bossTopic(room, "X"), std::string("{\"v\":1}\0", 8), DropReason::NotJson},
        {bossTopic(room, "X"), "{\"v\":9}", DropReason::WrongVersion},
        {bossTopic(room, "Other"), encodeKillEvent(valid), DropReason::TopicMismatch},
        {killOf("Other"), encodeKill(current), DropReason::TopicMismatch},
        {listTopic(room, "mallory", "x"), encodeKill(current), DropReason::TopicMismatch},
        {killOf("X"), "{\"v\":2,\"type\":\"vote\"}", DropReason::UnknownType},
        {killOf("X"), encodeKillEvent(valid), DropReason::WrongVersion},
    };
    for (const Case& c : cases) {
        publishRaw(broker.port(), c.topic, c.payload);
    }
    // An empty message is how a kept message is cleared: not a malformed one.
    publishRaw(broker.port(), killOf("X"), "");
    publishRaw(broker.port(), bossTopic(room, "Real"), encodeKillEvent(valid));
    publishRaw(broker.port(), killOf("Current"), encodeKill(current));
    ASSERT_TRUE(bob.recorder.waitForKillOf("Real", 1796000100));
    ASSERT_TRUE(bob.recorder.waitForKillOf("Current", 1796000100));
    ASSERT_TRUE(
        bob.recorder.waitFor([&] { return bob.recorder.dropCountLocked() == std::size(cases); }));
    EXPECT_EQ(bob.client.droppedCount(), std::size(cases));
    std::vector<DropReason> expected;
    for (const Case& c : cases) {
        expected.push_back(c.reason);
    }
    EXPECT_EQ(bob.recorder.drops(), expected);
    const auto kills = bob.recorder.kills();
    ASSERT_EQ(kills.size(), 2U);
    EXPECT_EQ(kills[0].standing, Standing::Legacy);
    // The broker enforces no roles here: the topic names an account members may share.
    EXPECT_EQ(kills[1].standing, Standing::Unmanaged);
    EXPECT_EQ(kills[1].member, "mallory");
}

TEST(RoomClient, ClockSkewOfAMemberIsReported) {
    LocalBroker broker;
    ASSERT_TRUE(broker.start()) << broker.error();
    std::atomic<std::int64_t> aliceClock{kNow};
    Member alice(optionsFor(broker, "alice", [&] { return aliceClock.load(); }));
    Member bob(optionsFor(broker, "bob"));
    ASSERT_TRUE(alice.join());
    ASSERT_TRUE(bob.join());
    struct Step {
        std::int64_t aliceAhead; // milliseconds
        std::size_t reports;     // skew reports at bob after this kill
    };
    const Step steps[] = {{1000, 0}, {-45000, 1}, {-50000, 1}, {0, 2}};
    std::int64_t killUtc = 1796000000;
    for (const Step& s : steps) {
        aliceClock = kNow + s.aliceAhead;
        alice.kill("S", ++killUtc);
        ASSERT_TRUE(bob.recorder.waitForKillOf("S", killUtc));
        EXPECT_EQ(bob.recorder.skews().size(), s.reports) << s.aliceAhead;
    }
    const auto skews = bob.recorder.skews();
    ASSERT_EQ(skews.size(), 2U);
    EXPECT_EQ(skews[0].nickname, "alice");
    EXPECT_TRUE(skews[0].skewed);
    EXPECT_EQ(skews[0].offsetMillis, -45000);
    EXPECT_FALSE(skews[1].skewed);
}

TEST(RoomClient, StopsPromptlyWhileReconnectingAndRefusesBadKills) {
    LocalBroker broker; // never started
    Member alice(optionsFor(broker, "alice"));
    zorvane::text::Message error;
    ASSERT_TRUE(alice.client.start(error)) << zorvane::text::defaultText(error);
    ASSERT_TRUE(alice.recorder.waitForState(RoomState::Reconnecting));
    EXPECT_EQ(alice.recorder.states().back().second, "无法连接到服务器");
    std::string sendError;
    EXPECT_FALSE(alice.client.publishKill({"", 60, 0, 1796000000}, sendError));
    EXPECT_FALSE(alice.client.publishKill({std::string(kMaxBossBytes + 1, 'b'), 60, 0, 1796000000},
                                          sendError));
    EXPECT_FALSE(alice.client.publishKill({"B", -1, 0, 1796000000}, sendError));
    EXPECT_EQ(alice.client.pendingCount(), 0U);
    alice.client.stop();
    EXPECT_EQ(alice.client.state(), RoomState::Stopped);
}

namespace {

// Runs the room member helper in a time zone of its own; returns what it printed.
std::FILE* startMemberIn(const char* zone, int port, const std::string& localTime,
                         const char* mode) {
    const std::string command = std::string("TZ=") + zone + " '" + ZORVANE_ROOM_MEMBER + "' " +
                                std::to_string(port) + " " + std::to_string(kNow) + " Dragon '" +
                                localTime + "' " + mode;
    return ::popen(command.c_str(), "r");
}

std::string finish(std::FILE* member) {
    std::string output;
    char buffer[256];
    while (member != nullptr && std::fgets(buffer, sizeof buffer, member) != nullptr) {
        output += buffer;
    }
    const int status = member != nullptr ? ::pclose(member) : -1;
    return status == 0 ? output : "failed: " + output;
}

} // namespace

// Two members in different time zones, each typing its own clock: Shanghai's kill (20:00,
// 12:00:00 UTC) reads later than New York's (07:00:50, 12:00:50 UTC) on the clocks, but New
// York's is the newer instant, and both end with it.
TEST(RoomClient, MembersInDifferentZonesCompareInstants) {
    LocalBroker broker;
    ASSERT_TRUE(broker.start()) << broker.error();
    std::FILE* shanghai =
        startMemberIn("Asia/Shanghai", broker.port(), "2026-11-29 20:00:00", "first");
    std::FILE* newYork =
        startMemberIn("America/New_York", broker.port(), "2026-11-29 07:00:50", "second");
    const std::string first = finish(shanghai);
    const std::string second = finish(newYork);
    ASSERT_EQ(first.rfind("newest ", 0), 0U) << first;
    EXPECT_EQ(first, second);
    EXPECT_NE(first.find(" 1795953650\n"), std::string::npos) << first;
}

// A broker set up for earlier versions, whose access list knows only their topics, still
// makes a room: kills go out and come in on those topics, naming nobody.
TEST(RoomClient, ABrokerThatKnowsOnlyTheOldTopicsStillMakesARoom) {
    BrokerOptions options;
    options.user = "guild";
    options.password = "pw";
    options.accessList = "user guild\ntopic readwrite zorvane/v1/guild/#\n";
    LocalBroker broker(options);
    ASSERT_TRUE(broker.start()) << broker.error();
    const auto member = [&](const std::string& nickname) {
        return zorvane::testing::roomOptions(broker, nickname, "guild", "pw");
    };
    Member alice(member("alice"));
    Member bob(member("bob"));
    ASSERT_TRUE(alice.join());
    ASSERT_TRUE(bob.join());
    EXPECT_TRUE(alice.client.legacyOnly());
    EXPECT_EQ(alice.client.role(), RoomRole::Unmanaged);
    alice.kill("Dragon", 1796000100);
    ASSERT_TRUE(bob.recorder.waitForKillOf("Dragon", 1796000100));
    EXPECT_EQ(bob.recorder.kills().back().standing, Standing::Legacy);
    ASSERT_TRUE(alice.recorder.waitFor([&] { return alice.client.pendingCount() == 0; }));
}
