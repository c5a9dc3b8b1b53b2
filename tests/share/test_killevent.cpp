#include "share/killevent.h"
#include "share/remotekill.h"

#include <gtest/gtest.h>

#include <set>

using namespace zorvane::share;

namespace {

KillEvent sampleEvent() {
    KillEvent event;
    event.boss = "火龙 Lord";
    event.periodMinutes = 120;
    event.delayMinutes = 5;
    event.killUtcSeconds = 1796000000;
    event.nickname = "小明";
    event.senderId = "0123456789abcdef0123456789abcdef";
    event.sentUtcMillis = 1796000000123;
    event.eventId = "fedcba9876543210fedcba9876543210";
    return event;
}

// A payload with one field replaced by raw JSON text (or removed when json is null).
std::string withField(const char* key, const char* json) {
    std::string payload = R"({"v":1,"boss":"Boss","period":60,"delay":0,"kill":1796000000,)"
                          R"("nick":"n","from":"0123456789abcdef0123456789abcdef",)"
                          R"("sent":1796000000000,"id":"fedcba9876543210fedcba9876543210"})";
    const std::string quotedKey = std::string("\"") + key + "\":";
    const auto start = payload.find(quotedKey);
    auto end = start + quotedKey.size();
    int depth = 0;
    bool inString = false;
    for (; end < payload.size(); ++end) {
        const char c = payload[end];
        if (inString) {
            if (c == '\\') {
                ++end;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            ++depth;
        } else if (c == '}' || c == ']') {
            if (depth == 0) {
                break;
            }
            --depth;
        } else if (c == ',' && depth == 0) {
            break;
        }
    }
    if (json == nullptr) {
        const bool last = payload[end] == '}';
        return payload.substr(0, last ? start - 1 : start) + payload.substr(last ? end : end + 1);
    }
    return payload.substr(0, start) + quotedKey + json + payload.substr(end);
}

} // namespace

TEST(KillEvent, EncodedEventsDecodeToTheSameEvent) {
    KillEvent plain = sampleEvent();
    KillEvent edges = sampleEvent();
    edges.boss = std::string(kMaxBossBytes, 'b');
    edges.nickname = "a\"b\\c/d";
    edges.periodMinutes = kMaxMinutes;
    edges.delayMinutes = 0;
    edges.killUtcSeconds = kLatestUtcSeconds;
    edges.sentUtcMillis = kEarliestUtcSeconds * 1000;
    for (const KillEvent& event : {plain, edges}) {
        ASSERT_EQ(checkKillEvent(event), "");
        const std::string payload = encodeKillEvent(event);
        EXPECT_LE(payload.size(), kMaxPayloadBytes);
        const DecodeResult result = decodeKillEvent(payload);
        ASSERT_TRUE(result.event) << result.detail;
        EXPECT_EQ(*result.event, event);
    }
    EXPECT_TRUE(decodeKillEvent(withField("v", "1")).event)
        << "the reference payload itself must be valid";
}

TEST(KillEvent, DropsMalformedAndHostilePayloadsWithAReason) {
    struct Case {
        std::string payload;
        DropReason reason;
    };
    const Case cases[] = {
        {std::string(kMaxPayloadBytes + 1, ' '), DropReason::TooLarge},
        {"", DropReason::NotJson},
        {"{", DropReason::NotJson},
        {"[1,2]", DropReason::NotJson},
        {"\"text\"", DropReason::NotJson},
        {std::string(2000, '[') + std::string(2000, ']'), DropReason::NotJson},
        {"{\"boss\":\"\xff\"}", DropReason::NotJson}, // invalid UTF-8 inside JSON
        {withField("v", nullptr), DropReason::WrongVersion},
        {withField("v", "2"), DropReason::WrongVersion},
        {withField("v", "\"1\""), DropReason::WrongVersion},
        {withField("boss", nullptr), DropReason::MissingField},
        {withField("id", nullptr), DropReason::MissingField},
        {withField("sent", nullptr), DropReason::MissingField},
        {withField("boss", "7"), DropReason::WrongType},
        {withField("nick", "null"), DropReason::WrongType},
        {withField("period", "\"60\""), DropReason::WrongType},
        {withField("period", "60.5"), DropReason::WrongType},
        {withField("kill", "1.796e9"), DropReason::WrongType},
        {withField("delay", "true"), DropReason::WrongType},
        {withField("period", "-1"), DropReason::OutOfRange},
        {withField("period", "527041"), DropReason::OutOfRange},
        {withField("delay", "18446744073709551615"), DropReason::OutOfRange},
        {withField("kill", "946684799"), DropReason::OutOfRange},
        {withField("kill", "4102444801"), DropReason::OutOfRange},
        {withField("sent", "-9223372036854775808"), DropReason::OutOfRange},
        {withField("boss", "\"\""), DropReason::BadText},
        {withField("boss", "\" Boss\""), DropReason::BadText},
        {withField("boss", "\"a\\u0000b\""), DropReason::BadText},
        {withField("boss", "\"a\\nb\""), DropReason::BadText},
        {withField("nick", ("\"" + std::string(kMaxNicknameBytes + 1, 'n') + "\"").c_str()),
         DropReason::BadText},
        {withField("from", "\"0123456789ABCDEF0123456789ABCDEF\""), DropReason::BadId},
        {withField("id", "\"fedcba98\""), DropReason::BadId},
        {withField("id", "\"fedcba9876543210fedcba987654321g\""), DropReason::BadId},
    };
    for (const Case& c : cases) {
        const DecodeResult result = decodeKillEvent(c.payload);
        EXPECT_FALSE(result.event) << c.payload.substr(0, 200);
        EXPECT_EQ(result.reason, c.reason) << c.payload.substr(0, 200) << " -> "
                                           << describe(result.reason) << ": " << result.detail;
        EXPECT_FALSE(result.detail.empty()) << c.payload.substr(0, 200);
    }
}

TEST(KillEvent, TopicLevelsCannotCarryWildcardsSeparatorsOrNul) {
    struct Case {
        std::string boss;
        std::string topic;
    };
    const Case cases[] = {
        {"Boss", "zorvane/v1/guild/Boss"},
        {"  Boss  ", "zorvane/v1/guild/Boss"},
        {"a/b", "zorvane/v1/guild/a%2Fb"},
        {"+#", "zorvane/v1/guild/%2B%23"},
        {std::string("a\0b", 3), "zorvane/v1/guild/a%00b"},
        {"龙", "zorvane/v1/guild/%E9%BE%99"},
        {"a%2Fb", "zorvane/v1/guild/a%252Fb"},
        {"x y.z-_", "zorvane/v1/guild/x%20y.z-_"},
    };
    std::set<std::string> topics;
    for (const Case& c : cases) {
        const std::string topic = bossTopic("guild", c.boss);
        EXPECT_EQ(topic, c.topic);
        const std::string level = topic.substr(std::string("zorvane/v1/guild/").size());
        EXPECT_EQ(level.find_first_of(std::string("/+#\0", 4)), std::string::npos) << c.topic;
        topics.insert(topic);
    }
    EXPECT_EQ(topics.size(), std::size(cases) - 1) << "only the untrimmed name shares a topic";
    EXPECT_EQ(roomFilter("公会/x"), "zorvane/v1/%E5%85%AC%E4%BC%9A%2Fx/+");

    KillEvent event = sampleEvent();
    EXPECT_TRUE(topicMatches(bossTopic("r", event.boss), "r", event));
    EXPECT_FALSE(topicMatches(bossTopic("r", "Other"), "r", event));
    EXPECT_FALSE(topicMatches(bossTopic("other room", event.boss), "r", event));
}

TEST(KillEvent, RandomIdsAreHexAndDistinct) {
    std::set<std::string> ids;
    for (int i = 0; i < 1000; ++i) {
        const std::string id = randomId();
        ASSERT_EQ(id.size(), 32U);
        ASSERT_EQ(id.find_first_not_of("0123456789abcdef"), std::string::npos) << id;
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), 1000U);
}

TEST(RemoteKill, NewerKillsApplyOlderAndDuplicatesChangeNothing) {
    struct Case {
        bool inTable;
        std::optional<std::int64_t> last;
        bool seen;
        std::int64_t remote;
        RemoteKillVerdict verdict;
    };
    const Case cases[] = {
        {true, std::nullopt, false, 1000, RemoteKillVerdict::Apply},
        {true, 999, false, 1000, RemoteKillVerdict::Apply},
        {true, 1000, false, 1000, RemoteKillVerdict::Older},
        {true, 1001, false, 1000, RemoteKillVerdict::Older},
        {true, 999, true, 1000, RemoteKillVerdict::Duplicate},
        {true, std::nullopt, true, 1000, RemoteKillVerdict::Duplicate},
        {false, std::nullopt, false, 1000, RemoteKillVerdict::UnknownBoss},
        {false, std::nullopt, true, 1000, RemoteKillVerdict::Duplicate},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(judgeRemoteKill(c.inTable, c.last, c.seen, c.remote), c.verdict)
            << c.inTable << " " << c.last.value_or(-1) << " " << c.seen << " " << c.remote;
    }
}

TEST(RemoteKill, SkewIsReportedPerMemberWhenItChanges) {
    struct Step {
        const char* sender;
        std::int64_t sent;
        std::int64_t arrival;
        bool reported;
        bool skewed;
    };
    const Step steps[] = {
        {"a", 100000, 100000, false, false}, // in agreement: not news
        {"b", 100000, 130001, true, true},   // 30.001 s behind
        {"b", 100000, 140000, false, true},  // still off: said already
        {"a", 130000, 100000, false, false}, // exactly 30 s ahead is still in agreement
        {"a", 130001, 100000, true, true},   // a's clock goes off
        {"b", 100000, 100500, true, false},  // b back in agreement
        {"c", 0, 100000, true, true},        // a new member far off
    };
    SkewWatch watch;
    for (const Step& s : steps) {
        const auto report =
            watch.observe(s.sender, std::string("nick-") + s.sender, s.sent, s.arrival);
        ASSERT_EQ(report.has_value(), s.reported) << s.sender << " " << s.sent << " " << s.arrival;
        if (report) {
            EXPECT_EQ(report->senderId, s.sender);
            EXPECT_EQ(report->nickname, std::string("nick-") + s.sender);
            EXPECT_EQ(report->skewed, s.skewed);
            EXPECT_EQ(report->offsetMillis, s.sent - s.arrival);
        }
    }
}
