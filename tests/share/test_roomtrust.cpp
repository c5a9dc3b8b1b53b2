// A room a guild can trust: members with roles on a real mosquitto with the
// dynamic-security plugin, set up by the shipped configuration and room script, and the
// checks every member makes on what it receives.

#include "share/roomclient.h"
#include "tests/share/localbroker.h"
#include "tests/share/roommembers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace zorvane::share;
using namespace zorvane::testing;
using zorvane::text::Message;
using zorvane::text::MessageId;

namespace {

constexpr std::int64_t kNowSeconds = kRoomNow / 1000;

// A broker with the shipped set-up and room "guild": Olga is an officer, Rita and Rudi
// record, Rex only reads.
class TrustedRoom : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(startRoom(true)); }

    void startRoom(bool persistence) {
        BrokerOptions options;
        options.rooms = true;
        options.persistence = persistence;
        m_broker = std::make_unique<LocalBroker>(options);
        ASSERT_TRUE(m_broker->start()) << m_broker->error();
        std::string output;
        ASSERT_TRUE(m_broker->roomScript("create guild", &output)) << output;
        for (const auto& [user, role] : {std::pair{"olga", "officer"},
                                         {"rita", "recorder"},
                                         {"rudi", "recorder"},
                                         {"rex", "reader"}}) {
            ASSERT_TRUE(m_broker->roomScript(std::string("add guild ") + user + " " + role +
                                                 " --password " + user + "-pw",
                                             &output))
                << output;
        }
    }

    RoomOptions as(const std::string& user) const {
        return roomOptions(*m_broker, user + "-nick", user, user + "-pw");
    }
    // `clock`: the member's own; the tests' fixed "now" unless given.
    std::unique_ptr<RoomMember> join(const std::string& user,
                                     std::function<std::int64_t()> clock = {}) {
        RoomOptions options = as(user);
        if (clock) {
            options.utcMillis = std::move(clock);
        }
        auto member = std::make_unique<RoomMember>(options);
        EXPECT_TRUE(member->join()) << user;
        return member;
    }
    // Publishes raw bytes as a member, as a hostile program with that member's password.
    int publishAs(const std::string& user, const std::string& topic, const std::string& payload,
                  bool retain = true) {
        return publishRaw(m_broker->port(), topic, payload, user, user + "-pw", retain);
    }

    std::unique_ptr<LocalBroker> m_broker;
};

KillEvent killBy(const std::string& nickname, const std::string& boss, std::int64_t at,
                 std::int64_t sentMillis = kRoomNow) {
    KillEvent event;
    event.boss = boss;
    event.periodMinutes = 60;
    event.killUtcSeconds = at;
    event.nickname = nickname;
    event.senderId = randomId();
    event.sentUtcMillis = sentMillis;
    event.eventId = randomId();
    return event;
}

std::size_t refusedOf(const RefusedMessage& refused, Refusal refusal) {
    return refused.sender.refused[static_cast<std::size_t>(refusal)];
}

} // namespace

TEST_F(TrustedRoom, EachMemberLearnsItsRoleAndMaySendOnlyAsItself) {
    auto olga = join("olga");
    auto rita = join("rita");
    auto rex = join("rex");
    const struct {
        RoomMember& member;
        RoomRole role;
    } roles[] = {{*olga, RoomRole::Officer}, {*rita, RoomRole::Recorder}, {*rex, RoomRole::Reader}};
    for (const auto& r : roles) {
        EXPECT_EQ(r.member.client.role(), r.role) << describe(r.role);
        EXPECT_EQ(r.member.recorder.roles(), std::vector<RoomRole>{r.role});
    }
    EXPECT_EQ(roleMessage(RoomRole::Officer), Message(MessageId::RoomRoleOfficer));

    rita.get()->kill("Dragon", kNowSeconds - 600);
    olga->kill("Hydra", kNowSeconds - 300);
    ASSERT_TRUE(rex->recorder.waitForKillOf("Dragon", kNowSeconds - 600));
    ASSERT_TRUE(rex->recorder.waitForKillOf("Hydra", kNowSeconds - 300));
    for (const KillEvent& kill : rex->recorder.kills()) {
        EXPECT_EQ(kill.member, kill.boss == "Dragon" ? "rita" : "olga");
        EXPECT_EQ(kill.standing, kill.boss == "Dragon" ? Standing::Member : Standing::Officer);
    }

    // A reader cannot record, and is told so at once.
    Message error;
    EXPECT_FALSE(rex->client.publishKill({"Dragon", 60, 0, kNowSeconds - 60}, error));
    EXPECT_EQ(error, Message(MessageId::RoomReaderCannotSend));

    // A member cannot send under another member's name, nor as an officer: the broker
    // refuses, and nobody receives it.
    const std::string forged = encodeKill(killBy("olga-nick", "Golem", kNowSeconds - 60));
    EXPECT_EQ(
        publishAs("rita", killTopic("guild", Branch::Kill, "olga", {"", "Golem", ""}), forged),
        0x87);
    EXPECT_EQ(
        publishAs("rita", killTopic("guild", Branch::Officer, "rita", {"", "Golem", ""}), forged),
        0x87);
    EXPECT_EQ(publishAs("rex", killTopic("guild", Branch::Kill, "rex", {"", "Golem", ""}), forged),
              0x87);
    // Rita's own topic takes it, naming her whatever the message says.
    EXPECT_LT(
        publishAs("rita", killTopic("guild", Branch::Kill, "rita", {"", "Golem", ""}), forged),
        0x80);
    ASSERT_TRUE(rex->recorder.waitForKillOf("Golem", kNowSeconds - 60));
    const auto kills = rex->recorder.kills();
    EXPECT_EQ(kills.back().member, "rita");
    EXPECT_EQ(kills.back().nickname, "olga-nick");
    EXPECT_EQ(kills.size(), 3U);
}

TEST_F(TrustedRoom, ARevokedMemberIsCutOffAndARoleChangeTakesEffectAtOnce) {
    auto rita = join("rita");
    auto rex = join("rex");
    std::string output;
    ASSERT_TRUE(m_broker->roomScript("list guild", &output));
    EXPECT_EQ(output, "olga officer\nrex reader\nrita recorder\nrudi recorder\n");

    ASSERT_TRUE(m_broker->roomScript("revoke guild rita", &output)) << output;
    // Told why, in the member's words, and refused from then on.
    ASSERT_TRUE(rita->recorder.waitForState(RoomState::Refused)) << [&] {
        std::string all;
        for (const auto& [state, reason] : rita->recorder.states()) {
            all += std::string(describe(state)) + ": " + reason + "\n";
        }
        return all;
    }();
    EXPECT_EQ(rita->recorder.states().back().second, "服务器拒绝了用户名或密码（未授权）");
    // The broker closes the connection of a member whose roles change (MQTT 3.1.1 tells no
    // reason); the member connects again and is refused.
    bool cutOff = false;
    for (const auto& [state, reason] : rita->recorder.states()) {
        cutOff = cutOff ||
                 (state == RoomState::Reconnecting &&
                  reason == zorvane::text::defaultText(Message(MessageId::RoomConnectionLost)));
    }
    EXPECT_TRUE(cutOff);
    EXPECT_FALSE(rita->client.needsUpgrade());
    ASSERT_TRUE(m_broker->roomScript("list guild", &output));
    EXPECT_EQ(output, "olga officer\nrex reader\nrudi recorder\n");
    // Added back, she is let in again without being restarted.
    ASSERT_TRUE(m_broker->roomScript("add guild rita recorder --password rita-pw", &output))
        << output;
    ASSERT_TRUE(rita->recorder.waitFor([&] {
        return rita->recorder.hasStateLocked(RoomState::Connected) &&
               rita->recorder.hasRoleLocked(RoomRole::Recorder);
    }));

    ASSERT_TRUE(m_broker->roomScript("role guild rex recorder", &output)) << output;
    ASSERT_TRUE(rex->recorder.waitFor([&] {
        return rex->recorder.hasRoleLocked(RoomRole::Recorder);
    })) <<
        [&] {
            std::string all;
            for (const auto& [state, reason] : rex->recorder.states()) {
                all += std::string(describe(state)) + ": " + reason + "\n";
            }
            for (auto r : rex->recorder.roles()) {
                all += std::string("role ") + describe(r) + "\n";
            }
            return all;
        }();
    ASSERT_TRUE(rex->recorder.waitForState(RoomState::Connected));
    auto olga = join("olga");
    rex->kill("Dragon", kNowSeconds - 100);
    EXPECT_TRUE(olga->recorder.waitForKillOf("Dragon", kNowSeconds - 100));
}

// A room made before the role markers still gives every member its role (asked over MQTT
// 5), and says it wants upgrading; upgraded, members learn their roles from the markers.
TEST_F(TrustedRoom, ARoomWithoutRoleMarkersStillGivesRolesAndCanBeUpgraded) {
    // What the earlier room script left: no marker grants at all.
    const std::string ctrl = "mosquitto_ctrl -h 127.0.0.1 -p " + std::to_string(m_broker->port()) +
                             " -u " + kAdmin + " -P " + kAdminPassword + " dynsec ";
    for (const std::string& removal :
         {std::string("zorvane:guild:room subscribeLiteral zorvane/roles/guild/member"),
          std::string("zorvane:guild:legacy subscribeLiteral zorvane/roles/guild/legacy"),
          std::string("zorvane:guild:olga subscribeLiteral zorvane/roles/guild/officer"),
          std::string("zorvane:guild:rita subscribeLiteral zorvane/roles/guild/recorder")}) {
        ASSERT_TRUE(runCommand(ctrl + "removeRoleACL " + removal + " >/dev/null 2>&1")) << removal;
    }
    const struct {
        const char* user;
        RoomRole role;
    } members[] = {
        {"olga", RoomRole::Officer}, {"rita", RoomRole::Recorder}, {"rex", RoomRole::Reader}};
    for (const bool upgraded : {false, true}) {
        if (upgraded) {
            std::string output;
            ASSERT_TRUE(m_broker->roomScript("upgrade guild", &output)) << output;
            EXPECT_EQ(output, "room guild upgraded (4 members)\n");
            // Running it again changes nothing.
            ASSERT_TRUE(m_broker->roomScript("upgrade guild", &output)) << output;
        }
        for (const auto& m : members) {
            auto member = join(m.user);
            EXPECT_EQ(member->client.role(), m.role) << m.user << " upgraded " << upgraded;
            EXPECT_EQ(member->client.needsUpgrade(), !upgraded) << m.user;
            EXPECT_EQ(member->recorder.upgradeNotices(),
                      upgraded ? std::vector<bool>{} : std::vector<bool>{true})
                << m.user;
        }
        // Kills still go round.
        auto rita = join("rita");
        auto rex = join("rex");
        const std::string boss = upgraded ? "Hydra" : "Dragon";
        rita->kill(boss, kNowSeconds - 60);
        ASSERT_TRUE(rex->recorder.waitForKillOf(boss, kNowSeconds - 60)) << boss;
        ASSERT_TRUE(rita->recorder.waitFor([&] { return rita->client.pendingCount() == 0; }));
    }
    auto late = join("rex");
    ASSERT_TRUE(late->recorder.waitFor([&] { return late->recorder.catchUpCountLocked() == 1; }));
    std::set<std::pair<std::string, Standing>> seen;
    for (const KillEvent& kill : late->recorder.kills()) {
        seen.insert({kill.boss, kill.standing});
    }
    EXPECT_TRUE(seen.count({"Hydra", Standing::Member}) == 1);
}

TEST_F(TrustedRoom, KillsThatCannotBeTrueAreRefusedWithAReasonAndCountedPerMember) {
    auto olga = join("olga");
    auto rudi = join("rudi");
    rudi->kill("Dragon", kNowSeconds - 3600);
    ASSERT_TRUE(olga->recorder.waitForKillOf("Dragon", kNowSeconds - 3600));

    const auto topicOf = [](const std::string& boss) {
        return killTopic("guild", Branch::Kill, "rita", {"", boss, ""});
    };
    struct Case {
        const char* what;
        KillEvent kill;
        std::optional<Refusal> refusal; // nullopt: dropped as malformed
    };
    std::vector<Case> cases = {
        {"ten years ahead", killBy("rita", "Golem", kNowSeconds + 10 * 365 * 86400),
         Refusal::InFuture},
        {"two minutes ahead", killBy("rita", "Golem", kNowSeconds + 120), Refusal::InFuture},
        {"a re-kill 20 minutes after Rudi's", killBy("rita", "Dragon", kNowSeconds - 2400),
         Refusal::TooEarly},
    };
    // The refused re-kill was one of Rita's kills of this minute too: five more may come.
    for (int i = 0; i < 8; ++i) {
        cases.push_back({"one of eight kills in a minute",
                         killBy("rita", "Boss " + std::to_string(i), kNowSeconds - 30 + i),
                         i < 5 ? std::nullopt : std::optional(Refusal::TooMany)});
    }
    std::size_t refusals = 0;
    for (const Case& c : cases) {
        ASSERT_LT(publishAs("rita", topicOf(c.kill.boss), encodeKill(c.kill), false), 0x80)
            << c.what;
        if (c.refusal) {
            ++refusals;
        }
    }
    // Before 1970, and after 2100: not readable as a kill at all.
    std::string ancient = encodeKill(killBy("rita", "Golem", kNowSeconds));
    ancient.replace(ancient.find(std::to_string(kNowSeconds)), std::to_string(kNowSeconds).size(),
                    "-86400");
    std::string distant = encodeKill(killBy("rita", "Golem", kNowSeconds));
    distant.replace(distant.find(std::to_string(kNowSeconds)), std::to_string(kNowSeconds).size(),
                    "4102444801");
    for (const std::string& payload : {ancient, distant}) {
        ASSERT_LT(publishAs("rita", topicOf("Golem"), payload, false), 0x80);
    }
    ASSERT_TRUE(olga->recorder.waitFor([&] {
        return olga->recorder.refusalCountLocked() == refusals &&
               olga->recorder.dropCountLocked() == 2 &&
               olga->recorder.hasKillLocked("Boss 4", kNowSeconds - 26);
    }));
    const auto refused = olga->recorder.refusals();
    std::size_t index = 0;
    for (const Case& c : cases) {
        if (!c.refusal) {
            continue;
        }
        ASSERT_LT(index, refused.size());
        EXPECT_EQ(refused[index].refusal, *c.refusal) << c.what;
        EXPECT_EQ(refused[index].kill.member, "rita") << c.what;
        EXPECT_FALSE(refused[index].reason.empty()) << c.what;
        ++index;
    }
    const RefusedMessage& last = refused.back();
    EXPECT_EQ(refusedOf(last, Refusal::InFuture), 2U);
    EXPECT_EQ(refusedOf(last, Refusal::TooEarly), 1U);
    EXPECT_EQ(refusedOf(last, Refusal::TooMany), 3U);
    EXPECT_EQ(last.sender.accepted, 5U);
    EXPECT_EQ(olga->recorder.drops(),
              (std::vector{DropReason::OutOfRange, DropReason::OutOfRange}));
    EXPECT_EQ(zorvane::text::defaultText(refused[0].reason), "击杀时间在将来：晚于现在超过 60 秒");

    // The row stays Rudi's; an officer may re-kill early.
    EXPECT_EQ(olga->client.newestKill({"", "Dragon", ""})->member, "rudi");
    olga->kill("Dragon", kNowSeconds - 2000);
    ASSERT_TRUE(rudi->recorder.waitForKillOf("Dragon", kNowSeconds - 2000));
    EXPECT_EQ(rudi->recorder.kills().back().standing, Standing::Officer);
}

TEST_F(TrustedRoom, ARecordersKillsOverTheLimitWaitTheirTurnSoEveryMemberKeepsThem) {
    // One clock for both, moved by the test: the minute is the same minute on both.
    auto now = std::make_shared<std::atomic<std::int64_t>>(kRoomNow);
    const auto joinPaced = [&](const std::string& user) {
        RoomOptions options = as(user);
        options.utcMillis = [now] { return now->load(); };
        options.paceCheckMillis = 20;
        auto member = std::make_unique<RoomMember>(options);
        EXPECT_TRUE(member->join()) << user;
        return member;
    };
    auto olga = joinPaced("olga");
    auto rita = joinPaced("rita");
    // A raid: Rita records nine bosses within one second.
    constexpr int kKills = 9;
    for (int i = 0; i < kKills; ++i) {
        rita->kill("Boss " + std::to_string(i), kNowSeconds - 60 + i);
    }
    ASSERT_TRUE(olga->recorder.waitFor([&] { return olga->recorder.killCountLocked() == 6; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(olga->recorder.kills().size(), 6U) << "a seventh kill went out within the minute";
    EXPECT_EQ(rita->client.pendingCount(), 3U);
    // A minute and the margin later, the rest go, in the order they were recorded.
    *now += 62000;
    ASSERT_TRUE(olga->recorder.waitFor([&] { return olga->recorder.killCountLocked() == kKills; }));
    EXPECT_TRUE(olga->recorder.refusals().empty());
    const std::vector<KillEvent> kills = olga->recorder.kills();
    for (int i = 0; i < kKills; ++i) {
        const KillKey key{"", "Boss " + std::to_string(i), ""};
        EXPECT_EQ(kills[static_cast<std::size_t>(i)].boss, key.boss);
        ASSERT_TRUE(rita->client.newestKill(key).has_value()) << key.boss;
        ASSERT_TRUE(olga->client.newestKill(key).has_value()) << key.boss;
        EXPECT_EQ(olga->client.newestKill(key)->eventId, rita->client.newestKill(key)->eventId)
            << key.boss;
        // Sent when it went out: a member joining later places it in its own minute.
        EXPECT_EQ(kills[static_cast<std::size_t>(i)].sentUtcMillis,
                  i < 6 ? kRoomNow : kRoomNow + 62000)
            << key.boss;
    }
    ASSERT_TRUE(rita->recorder.waitFor([&] { return rita->client.pendingCount() == 0; }));
    // An officer's kills are not limited.
    for (int i = 0; i < kKills; ++i) {
        olga->kill("Hydra " + std::to_string(i), kNowSeconds - 30 + i);
    }
    ASSERT_TRUE(rita->recorder.waitFor([&] { return rita->recorder.killCountLocked() == kKills; }));
}

TEST_F(TrustedRoom, AnOfficerRetractsAKillForEveryoneAndOwnKillsAreUndone) {
    auto olga = join("olga");
    auto rita = join("rita");
    auto rudi = join("rudi");
    rudi->kill("Dragon", kNowSeconds - 7200);
    ASSERT_TRUE(olga->recorder.waitForKillOf("Dragon", kNowSeconds - 7200));
    const std::string bad = rita->kill("Dragon", kNowSeconds - 60);
    ASSERT_TRUE(olga->recorder.waitForKillOf("Dragon", kNowSeconds - 60));
    ASSERT_TRUE(rudi->recorder.waitForKillOf("Dragon", kNowSeconds - 60));

    // Rudi may not take back Rita's kill.
    Message error;
    EXPECT_FALSE(rudi->client.retractKill(bad, error));
    EXPECT_EQ(error, Message(MessageId::RoomRefusedNotTheirs));

    RetractionJudgement here;
    ASSERT_TRUE(olga->client.retractKill(bad, error, &here)) << zorvane::text::defaultText(error);
    ASSERT_TRUE(here.restored);
    EXPECT_EQ(here.restored->killUtcSeconds, kNowSeconds - 7200);
    for (RoomMember* member : {rita.get(), rudi.get()}) {
        ASSERT_TRUE(member->recorder.waitFor(
            [&] { return member->recorder.retractionCountLocked() == 1; }));
        const RetractedKill retracted = member->recorder.retractions().back();
        EXPECT_EQ(retracted.member, "olga");
        EXPECT_EQ(retracted.standing, Standing::Officer);
        EXPECT_EQ(retracted.retraction.targetEventId, bad);
        EXPECT_TRUE(retracted.wasNewest);
        ASSERT_TRUE(retracted.restored);
        EXPECT_EQ(retracted.restored->killUtcSeconds, kNowSeconds - 7200);
        EXPECT_EQ(member->client.newestKill({"", "Dragon", ""})->member, "rudi");
    }

    // Rudi undoes his own kill of the Hydra: a retraction goes out on his own topic.
    const std::string mistake = rudi->kill("Hydra", kNowSeconds - 30);
    ASSERT_TRUE(olga->recorder.waitForKillOf("Hydra", kNowSeconds - 30));
    ASSERT_TRUE(rudi->client.retractKill(mistake, error)) << zorvane::text::defaultText(error);
    ASSERT_TRUE(
        olga->recorder.waitFor([&] { return olga->recorder.retractionCountLocked() == 1; }));
    EXPECT_EQ(olga->recorder.retractions().back().member, "rudi");

    // Who joins later sees neither retracted kill.
    ASSERT_TRUE(olga->recorder.waitFor([&] { return olga->client.pendingCount() == 0; }));
    ASSERT_TRUE(rudi->recorder.waitFor([&] { return rudi->client.pendingCount() == 0; }));
    auto rex = join("rex");
    ASSERT_TRUE(rex->recorder.waitFor([&] { return rex->recorder.catchUpCountLocked() == 1; }));
    EXPECT_EQ(rex->client.newestKill({"", "Dragon", ""})->killUtcSeconds, kNowSeconds - 7200);
    EXPECT_FALSE(rex->client.newestKill({"", "Hydra", ""}));
    for (const KillEvent& kill : rex->recorder.kills()) {
        EXPECT_NE(kill.eventId, bad);
        EXPECT_NE(kill.eventId, mistake);
    }
}

// Two members who kill the same boss in the same second end with the same last kill.
TEST_F(TrustedRoom, ASimultaneousKillEndsTheSameOnBothMembers) {
    auto rita = join("rita");
    auto rudi = join("rudi");
    const std::string first = rita->kill("Dragon", kNowSeconds - 10);
    const std::string second = rudi->kill("Dragon", kNowSeconds - 10);
    const KillKey key{"", "Dragon", ""};
    const std::string winner = std::max(first, second);
    for (RoomMember* member : {rita.get(), rudi.get()}) {
        ASSERT_TRUE(member->recorder.waitFor([&] {
            return member->client.newestKill(key) &&
                   member->client.newestKill(key)->eventId == winner;
        }));
    }
    // Whoever joins later agrees.
    auto rex = join("rex");
    ASSERT_TRUE(rex->recorder.waitFor([&] { return rex->recorder.catchUpCountLocked() == 1; }));
    EXPECT_EQ(rex->client.newestKill(key)->eventId, winner);
}

TEST_F(TrustedRoom, ABrokerKilledWithItsSettingsKeepsEveryKill) {
    // Rita's kills go out 20 s apart, as a member's would: within the limit per minute.
    auto rita = join("rita", steppingClock(kRoomNow - 3600000, 20000));
    constexpr int kKills = 40;
    for (int i = 0; i < kKills; ++i) {
        rita->kill("Boss " + std::to_string(i), kNowSeconds - 3600 + i, 600);
    }
    ASSERT_TRUE(rita->recorder.waitFor([&] { return rita->client.pendingCount() == 0; }));
    // Saved after every change, at the end of the broker's turn that took it: once the
    // broker has answered anything after the last kill (it works one turn at a time), a
    // crash loses nothing.
    ASSERT_LT(publishAs("rex", syncTopic("guild", "rex"), "x", false), 0x80);
    m_broker->crash();
    rita->client.stop();
    ASSERT_TRUE(m_broker->start()) << m_broker->error();
    auto rex = join("rex");
    ASSERT_TRUE(rex->recorder.waitFor([&] { return rex->recorder.catchUpCountLocked() == 1; }));
    EXPECT_EQ(rex->recorder.kills().size(), static_cast<std::size_t>(kKills));
    // Each kill, and its copy for members of earlier versions.
    EXPECT_EQ(rex->recorder.catchUps().front().first, static_cast<std::size_t>(2 * kKills));
}

TEST_F(TrustedRoom, MembersSendAgainWhatABrokerWithoutPersistenceLostAndNeverEchoEachOther) {
    ASSERT_NO_FATAL_FAILURE(startRoom(false));
    auto olga = join("olga", steppingClock(kRoomNow, 20000));
    auto rita = join("rita", steppingClock(kRoomNow, 20000));
    constexpr int kKills = 12;
    for (int i = 0; i < kKills; ++i) {
        // Half are Rita's, half Olga's; Rita's go by minutes, well under the limit per minute.
        RoomMember& member = i % 2 == 0 ? *rita : *olga;
        member.kill("Boss " + std::to_string(i), kNowSeconds - 3600 + i * 60, 600);
    }
    for (RoomMember* member : {olga.get(), rita.get()}) {
        ASSERT_TRUE(member->recorder.waitFor([&] {
            return member->client.pendingCount() == 0 &&
                   member->recorder.killCountLocked() == kKills / 2;
        }));
    }
    // The broker's members survive (they are the plugin's file); its kept kills do not.
    m_broker->crash();
    ASSERT_TRUE(m_broker->start()) << m_broker->error();
    std::size_t relayed = 0;
    for (RoomMember* member : {olga.get(), rita.get()}) {
        ASSERT_TRUE(
            member->recorder.waitFor([&] { return member->recorder.catchUpCountLocked() == 2; }));
        relayed += member->recorder.catchUps().back().second;
    }
    // Each key went out again once or twice (both hold every kill), and once only per
    // member: after that, nothing more moves.
    EXPECT_GE(relayed, static_cast<std::size_t>(kKills));
    EXPECT_LE(relayed, static_cast<std::size_t>(2 * kKills));
    for (RoomMember* member : {olga.get(), rita.get()}) {
        ASSERT_TRUE(member->recorder.waitFor([&] { return member->client.pendingCount() == 0; }));
    }
    auto rex = join("rex");
    ASSERT_TRUE(rex->recorder.waitFor([&] { return rex->recorder.catchUpCountLocked() == 1; }));
    std::set<std::string> bosses;
    for (const KillEvent& kill : rex->recorder.kills()) {
        bosses.insert(kill.boss);
    }
    EXPECT_EQ(bosses.size(), static_cast<std::size_t>(kKills));
    const std::size_t killsBefore = olga->recorder.kills().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(olga->recorder.kills().size(), killsBefore) << "members echo each other";
    EXPECT_EQ(olga->recorder.catchUps().size(), 2U);
}

TEST_F(TrustedRoom, RevokingWithPurgeClearsWhatTheMemberKept) {
    auto rita = join("rita");
    rita->kill("Dragon", kNowSeconds - 600);
    rita->kill("Hydra", kNowSeconds - 500);
    ASSERT_TRUE(rita->recorder.waitFor([&] { return rita->client.pendingCount() == 0; }));
    std::string output;
    ASSERT_TRUE(m_broker->roomScript("revoke guild rita --purge", &output)) << output;
    EXPECT_NE(output.find("2 kept messages cleared"), std::string::npos) << output;
    auto rex = join("rex");
    ASSERT_TRUE(rex->recorder.waitFor([&] { return rex->recorder.catchUpCountLocked() == 1; }));
    // The copies on the topics of earlier versions stay: they name nobody.
    for (const KillEvent& kill : rex->recorder.kills()) {
        EXPECT_EQ(kill.standing, Standing::Legacy) << kill.boss;
    }
}

TEST_F(TrustedRoom, ARoomClosedToEarlierVersionsGetsNoCopies) {
    std::string output;
    ASSERT_TRUE(m_broker->roomScript("legacy guild off", &output)) << output;
    auto rita = join("rita");
    auto rex = join("rex");
    rita->kill("Dragon", kNowSeconds - 600);
    ASSERT_TRUE(rex->recorder.waitForKillOf("Dragon", kNowSeconds - 600));
    ASSERT_TRUE(rita->recorder.waitFor([&] { return rita->client.pendingCount() == 0; }));
    // The broker refused the copy; the member stops sending copies and tells nobody.
    rita->kill("Hydra", kNowSeconds - 500);
    ASSERT_TRUE(rex->recorder.waitForKillOf("Hydra", kNowSeconds - 500));
    EXPECT_TRUE(rita->recorder.sendRefusals().empty());
    const KillEvent legacy = killBy("old-member", "Golem", kNowSeconds - 60);
    EXPECT_EQ(publishAs("rita", legacyTopic("guild", "Golem"), encodeKillEvent(legacy)), 0x87);
}

// A server restart goes to the room like a kill: recorders and officers tell it, a reader
// cannot, one that cannot be true is refused with its reason, one older than what a member
// knows changes nothing, and a member who joins later still hears the newest.
TEST_F(TrustedRoom, ARestartIsToldByWhoMayRecordAndCheckedLikeAKill) {
    auto rex = join("rex");
    auto olga = join("olga");
    auto rita = join("rita");

    Message error;
    EXPECT_FALSE(rex->client.publishRestart("", kNowSeconds - 60, error));
    EXPECT_EQ(error, Message(MessageId::RoomReaderCannotSend));

    struct Case {
        const char* user;
        std::int64_t restartOffset; // seconds from now
        bool told;                  // rex hears of it at all
        std::optional<Refusal> refusal;
        Standing standing;
    };
    const Case cases[] = {
        {"rita", -900, true, std::nullopt, Standing::Member},
        {"olga", -300, true, std::nullopt, Standing::Officer},
        // Older than olga's: changes nothing, so rex is not told.
        {"rita", -600, false, std::nullopt, Standing::Member},
        // Beyond the tolerance of the clocks: refused, with the reason.
        {"rita", 3600, true, Refusal::InFuture, Standing::Member},
    };
    std::size_t expected = 0;
    for (const Case& c : cases) {
        RoomMember& sender = std::string(c.user) == "olga" ? *olga : *rita;
        if (c.restartOffset > 0) {
            // A member's own client never sends such a thing; a program with its password can.
            const ServerRestart forged{
                "", kNowSeconds + c.restartOffset, "rita-nick", randomId(), kRoomNow, randomId()};
            EXPECT_LT(publishAs(c.user, restartTopic("guild", Branch::Kill, c.user, ""),
                                encodeRestart(forged)),
                      0x80);
        } else {
            ASSERT_TRUE(sender.client.publishRestart("", kNowSeconds + c.restartOffset, error))
                << zorvane::text::defaultText(error);
            ASSERT_TRUE(sender.recorder.waitFor([&] { return sender.client.pendingCount() == 0; }));
        }
        // A kill after each restart, on the same connection, marks that the restart has
        // arrived; the forged one comes on a connection of its own and is waited for.
        const std::string marker = std::string("mark ") + std::to_string(expected) + c.user;
        sender.kill(marker, kNowSeconds - 30);
        ASSERT_TRUE(rex->recorder.waitForKillOf(marker, kNowSeconds - 30));
        expected += c.told ? 1 : 0;
        ASSERT_TRUE(
            rex->recorder.waitFor([&] { return rex->recorder.restartCountLocked() >= expected; }));
        const std::vector<ReceivedRestart> heard = rex->recorder.restarts();
        ASSERT_EQ(heard.size(), expected) << c.user << " " << c.restartOffset;
        if (!c.told) {
            continue;
        }
        const ReceivedRestart& last = heard.back();
        EXPECT_EQ(last.member, c.user);
        EXPECT_EQ(last.standing, c.standing);
        EXPECT_EQ(last.restart.restartUtcSeconds, kNowSeconds + c.restartOffset);
        EXPECT_EQ(last.refusal, c.refusal);
        if (c.refusal) {
            EXPECT_EQ(last.sender.refused[static_cast<std::size_t>(*c.refusal)], 1U);
            EXPECT_FALSE(last.reason.empty());
        }
    }
    // The teller never hears its own.
    for (const ReceivedRestart& heard : olga->recorder.restarts()) {
        EXPECT_EQ(heard.member, "rita");
    }

    // Who joins later hears the newest the broker kept of each member, oldest first; rita's
    // newest is the refused one, which is refused there too.
    auto rudi = join("rudi");
    ASSERT_TRUE(rudi->recorder.waitFor([&] { return rudi->recorder.catchUpCountLocked() == 1; }));
    const std::vector<ReceivedRestart> late = rudi->recorder.restarts();
    ASSERT_EQ(late.size(), 2U);
    EXPECT_EQ(late[0].member, "olga");
    EXPECT_FALSE(late[0].refusal);
    EXPECT_EQ(late[1].refusal, std::optional(Refusal::InFuture));
}
