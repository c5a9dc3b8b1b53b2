#include "push/relay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace zorvane::push {
namespace {

using namespace std::chrono_literals;

const std::string kA(32, 'a');
const std::string kB(32, 'b');
const std::string kC(32, 'c');
const std::string kChannel = "0123456789abcdef";
const std::string kOtherChannel = "fedcba9876543210";

KindSet kinds(std::initializer_list<AlertKind> list) {
    KindSet set;
    for (const AlertKind kind : list) {
        set.insert(kind);
    }
    return set;
}

std::string eventNumber(int n) {
    return eventId(AlertEvent{AlertKind::Spawn, 0, "boss" + std::to_string(n), "", "", 1796638500});
}

TEST(Relay, onlyRelaysHoldingTheChannelForTheKindAreRanked) {
    const std::vector<RelayPresence> relays = {
        {kA, {{kChannel, kinds({AlertKind::Spawn})}}},
        {kB, {{kChannel, KindSet::all()}}},
        {kC, {{kOtherChannel, KindSet::all()}}},
        {kB, {{kChannel, KindSet::all()}}}, // the same relay twice counts once
    };
    const struct {
        AlertKind kind;
        std::string channel;
        std::vector<std::string> holders;
    } cases[] = {
        {AlertKind::Spawn, kChannel, {kA, kB}},
        {AlertKind::LeadTime, kChannel, {kB}},
        {AlertKind::Spawn, kOtherChannel, {kC}},
        {AlertKind::Spawn, "1111111111111111", {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> order = relayOrder(eventNumber(1), c.channel, c.kind, relays);
        std::sort(order.begin(), order.end());
        EXPECT_EQ(order, c.holders) << kindName(c.kind) << " " << c.channel;
    }
}

TEST(Relay, everyMemberRanksAlikeWhateverOrderItLearntTheRelaysIn) {
    std::vector<RelayPresence> relays = {{kA, {{kChannel, KindSet::all()}}},
                                         {kB, {{kChannel, KindSet::all()}}},
                                         {kC, {{kChannel, KindSet::all()}}}};
    for (int n = 0; n < 20; ++n) {
        const std::vector<std::string> first =
            relayOrder(eventNumber(n), kChannel, AlertKind::Spawn, relays);
        std::sort(relays.begin(), relays.end(),
                  [](const auto& x, const auto& y) { return x.relayId < y.relayId; });
        do {
            EXPECT_EQ(relayOrder(eventNumber(n), kChannel, AlertKind::Spawn, relays), first);
        } while (
            std::next_permutation(relays.begin(), relays.end(), [](const auto& x, const auto& y) {
                return x.relayId < y.relayId;
            }));
    }
}

TEST(Relay, exactlyOneRelayPostsAtOnceAndTheNextTakesOverWhenItLeaves) {
    const std::vector<RelayPresence> all = {{kA, {{kChannel, KindSet::all()}}},
                                            {kB, {{kChannel, KindSet::all()}}},
                                            {kC, {{kChannel, KindSet::all()}}}};
    std::map<std::string, int> firsts;
    for (int n = 0; n < 300; ++n) {
        const std::string id = eventNumber(n);
        std::vector<std::pair<std::chrono::seconds, std::string>> delays;
        for (const RelayPresence& me : all) {
            delays.emplace_back(relayDelay(id, kChannel, AlertKind::Spawn, me.relayId, all),
                                me.relayId);
        }
        std::sort(delays.begin(), delays.end());
        // One at once, the others one take-over delay after another.
        ASSERT_EQ(delays[0].first, std::chrono::seconds(0));
        ASSERT_EQ(delays[1].first, kTakeOverDelay);
        ASSERT_EQ(delays[2].first, 2 * kTakeOverDelay);
        ++firsts[delays[0].second];

        // The first leaves: the second posts at once, and the third keeps its place after it.
        std::vector<RelayPresence> remaining;
        std::copy_if(all.begin(), all.end(), std::back_inserter(remaining),
                     [&](const RelayPresence& r) { return r.relayId != delays[0].second; });
        EXPECT_EQ(relayDelay(id, kChannel, AlertKind::Spawn, delays[1].second, remaining),
                  std::chrono::seconds(0));
        EXPECT_EQ(relayDelay(id, kChannel, AlertKind::Spawn, delays[2].second, remaining),
                  kTakeOverDelay);
    }
    // The work is spread: each relay posts first for a fair share of the events.
    for (const RelayPresence& relay : all) {
        EXPECT_GT(firsts[relay.relayId], 60) << relay.relayId;
    }
}

TEST(Relay, aRelayNotYetInItsOwnListCountsItself) {
    const std::vector<RelayPresence> others = {{kB, {{kChannel, KindSet::all()}}}};
    const std::vector<RelayPresence> both = {{kA, {{kChannel, KindSet::all()}}},
                                             {kB, {{kChannel, KindSet::all()}}}};
    for (int n = 0; n < 20; ++n) {
        EXPECT_EQ(relayDelay(eventNumber(n), kChannel, AlertKind::Spawn, kA, others),
                  relayDelay(eventNumber(n), kChannel, AlertKind::Spawn, kA, both));
    }
    EXPECT_EQ(relayDelay(eventNumber(0), kChannel, AlertKind::Spawn, kA, {}),
              std::chrono::seconds(0));
}

class RecordingOutbox final : public RelayOutbox {
public:
    void publishPresence(const RelayPresence& presence) override { presences.push_back(presence); }
    void publishClaim(const RelayClaim& claim) override { claims.push_back(claim); }
    std::vector<RelayPresence> presences;
    std::vector<RelayClaim> claims;
};

TEST(Relay, bookPublishesItsPresenceOnceAndItsClaimsBeforePosting) {
    RelayBook book("guild", kA);
    RecordingOutbox outbox;
    book.setOutbox(&outbox);
    const std::vector<RelayChannel> channels = {{kChannel, KindSet::all()}};
    book.setOwnChannels(channels, 900);
    book.setOwnChannels(channels, 950);
    ASSERT_EQ(outbox.presences.size(), 1u);
    // It says when this relay began: the first time it held a channel.
    EXPECT_EQ(outbox.presences[0], (RelayPresence{kA, channels, 900, 900}));

    const std::string first = eventNumber(1);
    const std::string second = eventNumber(2);
    book.claimReceived({kB, first, kChannel}, 1000);
    EXPECT_TRUE(book.claimedElsewhere(first, kChannel));
    EXPECT_FALSE(book.claimedElsewhere(first, kOtherChannel));
    EXPECT_FALSE(book.claim(first, kChannel, 1001));
    // Our own claim holds for a retry of the same post and is published once.
    EXPECT_TRUE(book.claim(second, kChannel, 1001));
    EXPECT_TRUE(book.claim(second, kChannel, 1005));
    EXPECT_FALSE(book.claimedElsewhere(second, kChannel));
    ASSERT_EQ(outbox.claims.size(), 1u);
    EXPECT_EQ(outbox.claims[0], (RelayClaim{kA, second, kChannel}));
    // A claim of another relay arriving after ours does not take the event from us.
    book.claimReceived({kB, second, kChannel}, 1006);
    EXPECT_TRUE(book.claim(second, kChannel, 1007));
    // Old claims are forgotten.
    book.claimReceived({kB, eventNumber(3), kChannel}, 1000 + 3 * 3600);
    EXPECT_FALSE(book.claimedElsewhere(first, kChannel));
    book.setOutbox(nullptr);
}

TEST(Relay, bookRanksTheRelaysPresentNow) {
    RelayBook book("guild", kA);
    book.setOwnChannels({{kChannel, KindSet::all()}}, 1000);
    // Find an event that kB ranks before kA.
    std::string id;
    const std::vector<RelayPresence> pair = {{kA, {{kChannel, KindSet::all()}}},
                                             {kB, {{kChannel, KindSet::all()}}}};
    for (int n = 0; id.empty(); ++n) {
        if (relayOrder(eventNumber(n), kChannel, AlertKind::Spawn, pair).front() == kB) {
            id = eventNumber(n);
        }
    }
    EXPECT_EQ(book.delayFor(id, kChannel, AlertKind::Spawn, 1000), std::chrono::seconds(0));
    book.presenceReceived({kB, {{kChannel, KindSet::all()}}, 990});
    book.presenceReceived({kA, {}, 990}); // our own, echoed by the broker: ignored
    EXPECT_EQ(book.delayFor(id, kChannel, AlertKind::Spawn, 1000), kTakeOverDelay);
    // kB relays other kinds only: it does not count for spawns.
    book.presenceReceived({kB, {{kChannel, kinds({AlertKind::LeadTime})}}});
    EXPECT_EQ(book.delayFor(id, kChannel, AlertKind::Spawn, 1000), std::chrono::seconds(0));
    book.presenceReceived({kB, {{kChannel, KindSet::all()}}});
    book.relayLeft(kB);
    EXPECT_EQ(book.delayFor(id, kChannel, AlertKind::Spawn, 1000), std::chrono::seconds(0));
    book.presenceReceived({kB, {{kChannel, KindSet::all()}}});
    book.forgetOthers();
    EXPECT_EQ(book.delayFor(id, kChannel, AlertKind::Spawn, 1000), std::chrono::seconds(0));
}

// An event kB ranks before kA, with both holding kChannel.
std::string eventBFirst() {
    const std::vector<RelayPresence> pair = {{kA, {{kChannel, KindSet::all()}}, 0},
                                             {kB, {{kChannel, KindSet::all()}}, 0}};
    for (int n = 0;; ++n) {
        if (relayOrder(eventNumber(n), kChannel, AlertKind::Spawn, pair).front() == kB) {
            return eventNumber(n);
        }
    }
}

TEST(Relay, aPresenceNobodyWroteForLongerThanItsLifeNoLongerRanks) {
    const RelayTiming timing{std::chrono::seconds(60), std::chrono::seconds(180)};
    const struct {
        const char* name;
        std::int64_t written; // kB's presence
        std::int64_t now;
        std::chrono::seconds delay; // kA's, for an event kB ranks first
    } cases[] = {
        {"just written", 1000, 1000, kTakeOverDelay},
        {"as old as its life", 1000, 1180, kTakeOverDelay},
        {"older than its life", 1000, 1181, std::chrono::seconds(0)},
        {"written by a clock ahead of ours", 1030, 1000, kTakeOverDelay},
        {"an earlier version's, without a time", 0, 1000 + 48 * 3600, kTakeOverDelay},
    };
    const std::string id = eventBFirst();
    for (const auto& c : cases) {
        RelayBook book("guild", kA, timing);
        book.setOwnChannels({{kChannel, KindSet::all()}}, c.now);
        ASSERT_TRUE(
            book.presenceHeard(kB, encodePresence({kB, {{kChannel, KindSet::all()}}, c.written})));
        EXPECT_EQ(book.delayFor(id, kChannel, AlertKind::Spawn, c.now), c.delay) << c.name;
        // Still known: a presence written again ranks again.
        EXPECT_EQ(book.others().size(), 1u) << c.name;
    }
}

// A member that starts just after a spawn fires the spawn's alert at once, but cannot know
// whether it was posted: claims are not kept by the broker.
TEST(Relay, aRelayThatBeganAfterAnEventFiredLeavesItToOneThatWasThere) {
    const RelayTiming timing{std::chrono::seconds(60), std::chrono::seconds(180),
                             std::chrono::seconds(10)};
    constexpr std::int64_t kBegan = 1000; // kA's first channel
    const struct {
        const char* name;
        std::int64_t fires;
        std::optional<RelayPresence> other; // kB, heard at kBegan + 2
        bool leftToOther;
        std::chrono::seconds delay; // kA's at kBegan + 2, for an event kB ranks first
    } cases[] = {
        {"fired before kA began, kB was there", 990, RelayPresence{kB, {}, 1001, 900}, true, 20s},
        {"kB began at the very moment", 990, RelayPresence{kB, {}, 1001, 990}, true, 20s},
        {"kB is of an earlier version", 990, RelayPresence{kB, {}, 1001, 0}, true, 20s},
        {"kB began after it fired too", 990, RelayPresence{kB, {}, 1001, 995}, false, 20s},
        {"kB holds the channel for other kinds", 990,
         RelayPresence{kB, {{kChannel, kinds({AlertKind::LeadTime})}}, 1001, 900}, false, 8s},
        {"kB was last written too long ago", 990, RelayPresence{kB, {}, 700, 600}, false, 8s},
        {"nobody else", 990, std::nullopt, false, 8s},
        {"fired as kA began", 1000, RelayPresence{kB, {}, 1001, 900}, false, 20s},
        {"fired as kB began", 1001, RelayPresence{kB, {}, 1001, 1001}, false, 20s},
        {"fired after both began", 1001, RelayPresence{kB, {}, 1001, 900}, false, 20s},
        {"fired after kA began, kB came later", 1001, RelayPresence{kB, {}, 1002, 1002}, false, 0s},
    };
    const std::string id = eventBFirst();
    for (const auto& c : cases) {
        RelayBook book("guild", kA, timing);
        book.setOwnChannels({{kChannel, KindSet::all()}}, kBegan);
        if (c.other) {
            RelayPresence other = *c.other;
            if (other.channels.empty()) {
                other.channels = {{kChannel, KindSet::all()}};
            }
            book.presenceReceived(other);
        }
        const std::int64_t now = kBegan + 2;
        EXPECT_EQ(book.leftToEarlierRelay(kChannel, AlertKind::Spawn, c.fires, now), c.leftToOther)
            << c.name;
        EXPECT_EQ(book.delayFor(id, kChannel, AlertKind::Spawn, now, c.fires), c.delay) << c.name;
        // Another channel nobody else holds is this relay's alone.
        EXPECT_FALSE(book.leftToEarlierRelay(kOtherChannel, AlertKind::Spawn, c.fires, now))
            << c.name;
    }
}

TEST(Relay, aLiveRelayWritesItsPresenceAgainOnceARefreshHasPassed) {
    RelayBook book("guild", kA, {std::chrono::seconds(60), std::chrono::seconds(180)});
    RecordingOutbox outbox;
    book.setOutbox(&outbox);
    EXPECT_EQ(book.refreshPresence(1000), std::nullopt); // no channel: nothing to write
    book.setOwnChannels({{kChannel, KindSet::all()}}, 1000);
    const struct {
        std::int64_t now;
        std::int64_t next;
        std::int64_t written; // the latest presence published
        std::size_t published;
    } steps[] = {
        {1030, 1060, 1000, 1}, {1060, 1120, 1060, 2}, {1119, 1120, 1060, 2},
        {1500, 1560, 1500, 3}, // a refresh missed (a sleeping computer) is made at once
        {1200, 1260, 1200, 4}, // the clock was set back: written again, not after 5 minutes
    };
    for (const auto& step : steps) {
        EXPECT_EQ(book.refreshPresence(step.now), step.next) << step.now;
        ASSERT_EQ(outbox.presences.size(), step.published) << step.now;
        EXPECT_EQ(outbox.presences.back().writtenUtc, step.written) << step.now;
        EXPECT_EQ(book.ownPresence().writtenUtc, step.written) << step.now;
    }
    book.setOutbox(nullptr);
}

TEST(Relay, channelKeysAreSharedPerAddressAndRoomAndHideTheAddress) {
    const std::string key = channelKey("guild", "https://ntfy.sh/topic_x");
    EXPECT_EQ(key.size(), 16u);
    EXPECT_EQ(key, channelKey("guild", " https://ntfy.sh/topic_x "));
    EXPECT_NE(key, channelKey("other", "https://ntfy.sh/topic_x"));
    EXPECT_NE(key, channelKey("guild", "https://ntfy.sh/topic_y"));
    EXPECT_EQ(key.find("topic"), std::string::npos);
}

TEST(Relay, payloadsReadBack) {
    const RelayPresence presence{
        kA,
        {{kChannel, kinds({AlertKind::Spawn, AlertKind::Unrecorded})}, {kOtherChannel, KindSet()}}};
    EXPECT_EQ(decodePresence(encodePresence(presence)), presence);
    RelayPresence written = presence;
    written.writtenUtc = 1796637600;
    EXPECT_EQ(decodePresence(encodePresence(written)), written);
    written.sinceUtc = 1796630000;
    EXPECT_EQ(decodePresence(encodePresence(written)), written);
    const RelayClaim claim{kB, eventNumber(7), kChannel};
    EXPECT_EQ(decodeClaim(encodeClaim(claim)), claim);
    // Kinds of later versions are skipped, the rest of the presence is kept.
    const auto later = decodePresence(R"({"v":1,"relay":")" + kA + R"(","channels":[{"key":")" +
                                      kChannel + R"(","kinds":["spawn","boss-angry"]}]})");
    ASSERT_TRUE(later);
    EXPECT_EQ(later->channels[0].kinds, kinds({AlertKind::Spawn}));
}

TEST(Relay, payloadsAreReadStrictly) {
    const std::string channels = R"(,"channels":[{"key":")" + kChannel + R"(","kinds":[]}]})";
    std::string manyChannels = R"({"v":1,"relay":")" + kA + R"(","channels":[)";
    for (std::size_t i = 0; i <= kMaxRelayChannels; ++i) {
        manyChannels += (i ? "," : "") + std::string(R"({"key":")") + kChannel + R"(","kinds":[]})";
    }
    manyChannels += "]}";
    const std::string presences[] = {
        "",
        "[]",
        "not json",
        R"({"v":2,"relay":")" + kA + "\"" + channels,
        R"({"relay":")" + kA + "\"" + channels,
        R"({"v":1,"relay":"ABC")" + channels,
        R"({"v":1,"relay":")" + kA.substr(1) + "\"" + channels,
        R"({"v":1,"relay":")" + kA + R"(","channels":{}})",
        R"({"v":1,"relay":")" + kA + R"(","channels":[{"key":"xyz","kinds":[]}]})",
        R"({"v":1,"relay":")" + kA + R"(","channels":[{"key":")" + kChannel + R"("}]})",
        R"({"v":1,"relay":")" + kA + R"(","channels":[7]})",
        R"({"v":1,"relay":")" + kA + R"(","at":"1796637600")" + channels,
        R"({"v":1,"relay":")" + kA + R"(","at":0)" + channels,
        R"({"v":1,"relay":")" + kA + R"(","at":-5)" + channels,
        R"({"v":1,"relay":")" + kA + R"(","at":17966376.5)" + channels,
        R"({"v":1,"relay":")" + kA + R"(","since":0)" + channels,
        R"({"v":1,"relay":")" + kA + R"(","since":"1796637600")" + channels,
        manyChannels,
        R"({"v":1,"relay":")" + kA + "\"" + channels + std::string(kMaxRelayPayloadBytes, ' '),
    };
    for (const std::string& payload : presences) {
        EXPECT_EQ(decodePresence(payload), std::nullopt) << payload.substr(0, 120);
    }
    const std::string id = eventNumber(1);
    const std::string claims[] = {
        R"({"v":1,"relay":")" + kA + R"(","event":")" + id + R"("})",
        R"({"v":1,"relay":")" + kA + R"(","event":")" + id + R"(","channel":7})",
        R"({"v":1,"relay":")" + kA + R"(","event":"x","channel":")" + kChannel + "\"}",
        R"({"v":"1","relay":")" + kA + R"(","event":")" + id + R"(","channel":")" + kChannel +
            "\"}",
    };
    for (const std::string& payload : claims) {
        EXPECT_EQ(decodeClaim(payload), std::nullopt) << payload;
    }
}

TEST(Relay, bookTakesWhatTheBrokerCarriedOnlyFromTheRightTopic) {
    const std::string presence = encodePresence({kB, {{kChannel, KindSet::all()}}});
    const struct {
        std::string topicId;
        std::string payload;
        bool taken;
        std::size_t others; // after a presence of kB was known
    } cases[] = {
        {kB, presence, true, 1},     {kB, "", true, 0}, // cleared: kB left
        {kC, "", true, 1},                              // another relay left
        {kC, presence, false, 1},                       // kB's presence on kC's topic
        {kB, "{\"v\":1}", false, 1},                    // unreadable
    };
    for (const auto& c : cases) {
        RelayBook book("guild", kA);
        ASSERT_TRUE(book.presenceHeard(kB, presence));
        EXPECT_EQ(book.presenceHeard(c.topicId, c.payload), c.taken) << c.payload;
        EXPECT_EQ(book.others().size(), c.others) << c.topicId << " " << c.payload;
    }
    RelayBook book("guild", kA);
    const std::string event = eventNumber(1);
    EXPECT_FALSE(book.claimHeard("not json", 100));
    EXPECT_FALSE(book.claimedElsewhere(event, kChannel));
    EXPECT_TRUE(book.claimHeard(encodeClaim({kB, event, kChannel}), 100));
    EXPECT_TRUE(book.claimedElsewhere(event, kChannel));
    EXPECT_FALSE(book.claim(event, kChannel, 101));
}

} // namespace
} // namespace zorvane::push
