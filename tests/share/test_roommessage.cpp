// The room's topics and the messages of version 2.

#include "share/roommessage.h"
#include "share/roomtopics.h"

#include <gtest/gtest.h>

#include <set>

using namespace zorvane::share;

namespace {

const std::string kId = "fedcba9876543210fedcba9876543210";
const std::string kFrom = "0123456789abcdef0123456789abcdef";

KillEvent sampleKill() {
    KillEvent event;
    event.boss = "黑龙";
    event.server = "二区";
    event.line = "3线";
    event.periodMinutes = 120;
    event.delayMinutes = 5;
    event.killUtcSeconds = 1796000000;
    event.nickname = "小明";
    event.senderId = kFrom;
    event.sentUtcMillis = 1796000000123;
    event.eventId = kId;
    return event;
}

// A restart's payload with one piece of it replaced.
std::string restartPayload(const std::string& from, const std::string& to) {
    std::string payload = encodeRestart({"", 1796000000, "rita", kFrom, 1796000000123, kId});
    payload.replace(payload.find(from), from.size(), to);
    return payload;
}

Retraction sampleRetraction() {
    return {kId,    "alice", {"", "Dragon", ""}, 1796000000,
            "olga", kFrom,   1796000100000,      "00000000000000000000000000000001"};
}

} // namespace

TEST(RoomTopics, EveryTopicReadsBackToWhatItNames) {
    const std::string room = "iron wolves";
    const KillKey lined{"二区", "黑龙", "3"};
    const KillKey plain{"", "Dragon", ""};
    struct Case {
        std::string topic;
        TopicAddress address;
    };
    const Case cases[] = {
        {killTopic(room, Branch::Kill, "alice", plain), {Branch::Kill, "alice", plain, ""}},
        {killTopic(room, Branch::Officer, "olga", lined), {Branch::Officer, "olga", lined, ""}},
        {killTopic(room, Branch::Kill, "", {"", "a/b+#", ""}),
         {Branch::Kill, "", {"", "a/b+#", ""}, ""}},
        {retractTopic(room, "olga", kId), {Branch::Retract, "olga", {}, kId}},
        {listTopic(room, "olga", "秋季"), {Branch::List, "olga", {}, "秋季"}},
        {syncTopic(room, "alice"), {Branch::Sync, "alice", {}, ""}},
        {probeTopic(room, "alice"), {Branch::Probe, "alice", {}, ""}},
        {legacyTopic(room, " Dragon "), {Branch::Legacy, "", plain, ""}},
        {restartTopic(room, Branch::Kill, "rita", ""), {Branch::Restart, "rita", {}, "kill"}},
        {restartTopic(room, Branch::Officer, "olga", "二区"),
         {Branch::Restart, "olga", {"二区", "", ""}, "officer"}},
    };
    std::set<std::string> topics;
    for (const Case& c : cases) {
        const std::optional<TopicAddress> address = parseTopic(c.topic, room);
        ASSERT_TRUE(address) << c.topic;
        EXPECT_EQ(*address, c.address) << c.topic;
        EXPECT_FALSE(parseTopic(c.topic, "other room")) << c.topic;
        topics.insert(c.topic);
    }
    EXPECT_EQ(topics.size(), std::size(cases));
    EXPECT_EQ(killTopic(room, Branch::Kill, "alice", lined),
              "zorvane/v2/iron%20wolves/kill/alice/%E4%BA%8C%E5%8C%BA/%E9%BB%91%E9%BE%99/3");
    // The topics of earlier versions are the same kills with no server and no line.
    EXPECT_EQ(legacyTopic(room, "Dragon"), "zorvane/v1/iron%20wolves/Dragon");
}

// The role markers lie outside the room's topics, whose subscription every member has,
// so that only the access list's own grants of them answer.
TEST(RoomTopics, RoleMarkersLieOutsideTheRoomsTopics) {
    const struct {
        RoleMarker marker;
        const char* topic;
    } cases[] = {
        {RoleMarker::Member, "zorvane/roles/iron%20wolves/member"},
        {RoleMarker::Recorder, "zorvane/roles/iron%20wolves/recorder"},
        {RoleMarker::Officer, "zorvane/roles/iron%20wolves/officer"},
        {RoleMarker::Legacy, "zorvane/roles/iron%20wolves/legacy"},
        {RoleMarker::Nobody, "zorvane/roles/iron%20wolves/nobody"},
    };
    static_assert(std::size(cases) == kRoleMarkerCount);
    for (const auto& c : cases) {
        const std::string topic = roleMarkerTopic("iron wolves", c.marker);
        EXPECT_EQ(topic, c.topic);
        EXPECT_TRUE(isRoleMarkerTopic(topic)) << topic;
        EXPECT_FALSE(parseTopic(topic, "iron wolves")) << topic;
        for (const std::string& filter : roomSubscription("iron wolves", "alice").filters) {
            EXPECT_NE(topic.rfind(filter.substr(0, filter.find('#')), 0), 0U) << filter;
        }
    }
    EXPECT_FALSE(isRoleMarkerTopic(syncTopic("iron wolves", "alice")));
}

TEST(RoomTopics, TopicsThatNoMemberWritesAreNotRead) {
    const char* const topics[] = {
        "zorvane/v2/r/kill/alice/Dragon",      // a level short
        "zorvane/v2/r/kill/alice//Dragon//x",  // a level over
        "zorvane/v2/r/kill/alice///",          // no boss
        "zorvane/v2/r/kill/alice//%e9%be%99/", // lower-case escape
        "zorvane/v2/r/kill/alice//%41/",       // an escaped letter
        "zorvane/v2/r/kill/alice//a%2/",       // a broken escape
        "zorvane/v2/r/kill/al ice//Dragon/",   // a blank not escaped
        "zorvane/v2/r/retract/olga",           // no event
        "zorvane/v2/r/sync/alice/x",
        "zorvane/v2/r/other/alice//Dragon/",
        "zorvane/v3/r/kill/alice//Dragon/",
        "zorvane/v1/r/Dragon/x",
        "zorvane/v1/r",
    };
    for (const char* topic : topics) {
        EXPECT_FALSE(parseTopic(topic, "r")) << topic;
    }
    EXPECT_EQ(decodeTopicLevel("a%2Fb%25"), std::optional<std::string>("a/b%"));
    EXPECT_EQ(decodeTopicLevel(""), std::optional<std::string>(""));
}

// The push relays' topics lie beside the boss topics of earlier versions and never among them.
TEST(RoomTopics, RelayTopicsAreReadOnlyAsWritten) {
    const std::string id(32, 'a');
    EXPECT_EQ(relayTopic("iron wolves", id), "zorvane/v1/iron%20wolves/~relay/" + id);
    EXPECT_EQ(claimTopic("iron wolves"), "zorvane/v1/iron%20wolves/~claim");
    const struct {
        std::string topic;
        std::optional<std::string> relayId; // "" for a claim
    } cases[] = {
        {relayTopic("r", id), id},
        {claimTopic("r"), ""},
        {relayTopic("r", ""), std::nullopt},
        {relayTopic("r", id + "/x"), std::nullopt},
        {relayTopic("r", "a-b"), std::nullopt},
        {relayTopic("r", std::string(65, 'a')), std::nullopt},
        {relayTopic("other", id), std::nullopt},
        {claimTopic("r") + "/x", std::nullopt},
        {legacyTopic("r", "~claim"), std::nullopt}, // a boss named so is escaped
    };
    for (const auto& c : cases) {
        const std::optional<RelayAddress> address = parseRelayTopic(c.topic, "r");
        ASSERT_EQ(address.has_value(), c.relayId.has_value()) << c.topic;
        if (address) {
            EXPECT_EQ(address->claim, c.relayId->empty()) << c.topic;
            EXPECT_EQ(address->relayId, *c.relayId) << c.topic;
        }
    }
}

// A restart is heard by every member that knows restarts, whoever may send it, and by none
// of the members that subscribe only to what earlier versions knew.
TEST(RoomTopics, RestartsReachTheirFiltersAndNoKillFilter) {
    const std::string room = "guild";
    const Subscription subscription = roomSubscription(room, "rex");
    const std::string earlierKills = "zorvane/v2/guild/kill/+/+/+/+";
    const std::string earlierOfficers = "zorvane/v2/guild/officer/+/+/+/+";
    struct Case {
        std::string topic;
        bool restartFilters; // matched by the restart filters of the subscription
    };
    const Case cases[] = {
        {restartTopic(room, Branch::Kill, "rita", ""), true},
        {restartTopic(room, Branch::Officer, "olga", "二区"), true},
        {killTopic(room, Branch::Kill, "rita", {"", "restart", ""}), false},
    };
    const auto matches = [](const std::string& filter, const std::string& topic) {
        // MQTT's rule: '+' is one whole level.
        std::size_t f = 0;
        std::size_t t = 0;
        while (f <= filter.size() && t <= topic.size()) {
            const std::size_t fe = std::min(filter.find('/', f), filter.size());
            const std::size_t te = std::min(topic.find('/', t), topic.size());
            if (filter.compare(f, fe - f, "+") != 0 &&
                filter.compare(f, fe - f, topic, t, te - t) != 0) {
                return false;
            }
            if (fe == filter.size() || te == topic.size()) {
                return fe == filter.size() && te == topic.size();
            }
            f = fe + 1;
            t = te + 1;
        }
        return false;
    };
    for (const Case& c : cases) {
        const std::size_t at = subscription.restartFilterIndex;
        EXPECT_EQ(matches(subscription.filters[at], c.topic) ||
                      matches(subscription.filters[at + 1], c.topic),
                  c.restartFilters)
            << c.topic;
        EXPECT_EQ(matches(earlierKills, c.topic) || matches(earlierOfficers, c.topic),
                  !c.restartFilters)
            << c.topic;
    }
}

TEST(RoomMessage, MessagesOfEveryTypeDecodeToWhatWasEncoded) {
    KillEvent relayed = sampleKill();
    relayed.relayed = true;
    relayed.server.clear();
    relayed.line.clear();
    for (const KillEvent& kill : {sampleKill(), relayed}) {
        const MessageDecode result = decodeRoomMessage(encodeKill(kill));
        ASSERT_TRUE(result.message) << result.detail;
        EXPECT_EQ(result.message->type, MessageType::Kill);
        EXPECT_EQ(result.message->kill, kill);
    }
    const MessageDecode retraction = decodeRoomMessage(encodeRetraction(sampleRetraction()));
    ASSERT_TRUE(retraction.message) << retraction.detail;
    EXPECT_EQ(retraction.message->type, MessageType::Retraction);
    EXPECT_EQ(retraction.message->retraction, sampleRetraction());

    BossListOffer list{
        "autumn", R"({"bosses":[{"name":"黑龙","lines":60}]})", "olga", kFrom, 1796000000000, kId};
    list.listJson = std::string(R"({"pad":")") + std::string(kMaxListBytes - 20, 'x') + "\"}";
    const MessageDecode offer = decodeRoomMessage(encodeListOffer(list));
    ASSERT_TRUE(offer.message) << offer.detail;
    EXPECT_EQ(offer.message->list, list);

    for (const ServerRestart& restart :
         {ServerRestart{"", 1796000000, "rita", kFrom, 1796000000123, kId},
          ServerRestart{"二区", 1796000000, "olga", kFrom, 1796000000123, kId}}) {
        const MessageDecode told = decodeRoomMessage(encodeRestart(restart));
        ASSERT_TRUE(told.message) << told.detail;
        EXPECT_EQ(told.message->type, MessageType::Restart);
        EXPECT_EQ(told.message->restart, restart);
    }
}

TEST(RoomMessage, MalformedAndHostileMessagesAreDroppedWithAReason) {
    const std::string kill = encodeKill(sampleKill());
    const auto replaced = [&](const std::string& from, const std::string& to) {
        std::string payload = kill;
        payload.replace(payload.find(from), from.size(), to);
        return payload;
    };
    struct Case {
        std::string payload;
        DropReason reason;
    };
    const Case cases[] = {
        {replaced("\"v\":2", "\"v\":1"), DropReason::WrongVersion},
        {replaced("\"type\":\"kill\"", "\"type\":\"ban\""), DropReason::UnknownType},
        {replaced("\"type\":\"kill\"", "\"type\":7"), DropReason::WrongType},
        {replaced("\"line\":\"3线\"", "\"line\":3"), DropReason::WrongType},
        {replaced("\"line\":\"3线\",", ""), DropReason::MissingField},
        {replaced("\"server\":\"二区\"", "\"server\":\" 二区\""), DropReason::BadText},
        {replaced("\"kill\":1796000000", "\"kill\":-86400"), DropReason::OutOfRange},
        {replaced("\"kill\":1796000000", "\"kill\":4102444801"), DropReason::OutOfRange},
        {replaced("\"boss\":\"黑龙\"", "\"relay\":1,\"boss\":\"黑龙\""), DropReason::WrongType},
        // A kill may not use the room a list has.
        {replaced("\"boss\":\"黑龙\"", "\"boss\":\"" + std::string(kMaxBossBytes, 'b') +
                                           "\",\"pad\":\"" + std::string(kMaxPayloadBytes, 'p') +
                                           "\""),
         DropReason::TooLarge},
        {std::string(kMaxListBytes + kMaxPayloadBytes + 1, ' '), DropReason::TooLarge},
        {"{\"v\":2,\"type\":\"list\",\"name\":\"x\",\"list\":[1],\"nick\":\"n\",\"from\":\"" +
             kFrom + "\",\"sent\":1796000000000,\"id\":\"" + kId + "\"}",
         DropReason::WrongType},
        {encodeRetraction(sampleRetraction())
             .replace(encodeRetraction(sampleRetraction()).find(kId), 32, std::string(32, 'X')),
         DropReason::BadId},
        {std::string("{\"v\":2}\0", 8), DropReason::NotJson},
        {restartPayload("\"restart\":1796000000", "\"restart\":\"12:00\""), DropReason::WrongType},
        {restartPayload("\"restart\":1796000000", "\"restart\":4102444801"),
         DropReason::OutOfRange},
        {restartPayload("\"restart\":1796000000,", ""), DropReason::MissingField},
        {restartPayload("\"server\":\"\"", "\"server\":\"\\u0007\""), DropReason::BadText},
        {restartPayload(kId, std::string(32, 'g')), DropReason::BadId},
        {restartPayload("\"server\":\"\"",
                        "\"server\":\"\",\"pad\":\"" + std::string(kMaxPayloadBytes, 'p') + "\""),
         DropReason::TooLarge},
    };
    for (const Case& c : cases) {
        const MessageDecode result = decodeRoomMessage(c.payload);
        EXPECT_FALSE(result.message) << c.payload.substr(0, 160);
        EXPECT_EQ(result.reason, c.reason) << c.payload.substr(0, 160) << " -> "
                                           << describe(result.reason) << ": " << result.detail;
        EXPECT_FALSE(result.detail.empty());
    }
}
