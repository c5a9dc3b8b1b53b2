#include "history/csvexport.h"
#include "history/intervals.h"
#include "history/killtexts.h"

#include <gtest/gtest.h>

using namespace zorvane::history;
using zorvane::schedule::KillRecord;
using zorvane::schedule::KillSource;

namespace {

// Kills in the same second are one kill; periods unknown (0) merge nothing else.
std::vector<KillMoment> momentsAt(const std::vector<std::int64_t>& instants) {
    std::vector<KillMoment> moments;
    for (const std::int64_t instant : instants) {
        moments.push_back({instant, 0});
    }
    return moments;
}

} // namespace

TEST(KillIntervals, CountMinMedianMax) {
    struct Case {
        const char* name;
        std::vector<std::int64_t> instants;
        IntervalStats expected;
    };
    const Case cases[] = {
        {"no kill", {}, {0, 0, 0, 0}},
        {"one kill", {1000}, {0, 0, 0, 0}},
        {"two kills", {1000, 4600}, {1, 3600, 3600, 3600}},
        {"odd count", {0, 100, 400, 1000}, {3, 100, 300, 600}},
        {"even count", {0, 100, 400, 1000, 1900}, {4, 100, 450, 900}},
        {"unsorted", {1900, 0, 1000, 100, 400}, {4, 100, 450, 900}},
        {"same second twice", {50, 50, 110}, {1, 60, 60, 60}},
        {"even median of odd sum", {0, 1, 3, 6}, {3, 1, 2, 3}},
        {"even median halves", {0, 1, 4}, {2, 1, 2, 3}},
        {"before 1970", {-7200, -3600, 0}, {2, 3600, 3600, 3600}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const IntervalStats stats = intervalStats(momentsAt(c.instants));
        EXPECT_EQ(stats.count, c.expected.count);
        EXPECT_EQ(stats.minSeconds, c.expected.minSeconds);
        EXPECT_DOUBLE_EQ(stats.medianSeconds, c.expected.medianSeconds);
        EXPECT_EQ(stats.maxSeconds, c.expected.maxSeconds);
    }
}

TEST(KillIntervals, MedianOfManyShuffledIntervals) {
    // Intervals 1..1001 seconds in a scrambled order: the median is 501.
    std::vector<std::int64_t> gaps;
    for (int i = 1; i <= 1001; ++i) {
        gaps.push_back((i * 389) % 1001 + 1);
    }
    std::vector<std::int64_t> instants{0};
    for (const std::int64_t gap : gaps) {
        instants.push_back(instants.back() + gap);
    }
    const IntervalStats stats = intervalStats(momentsAt(instants));
    EXPECT_EQ(stats.count, 1001);
    EXPECT_EQ(stats.minSeconds, 1);
    EXPECT_EQ(stats.maxSeconds, 1001);
    EXPECT_DOUBLE_EQ(stats.medianSeconds, 501);
}

// A kill reported twice (a guild mate's report of the same kill, a double click and a
// typed time) counts once: within five minutes, and within half the period.
TEST(KillIntervals, AKillReportedTwiceCountsOnce) {
    struct Case {
        const char* name;
        std::vector<KillMoment> kills;
        IntervalStats expected;
    };
    // clang-format off
    const Case cases[] = {
        {"a mate's report 8 s later", {{0, 60}, {8, 60}, {3600, 60}, {7200, 60}}, {2, 3600, 3600, 3600}},
        {"reports around both kills", {{0, 60}, {30, 60}, {3590, 60}, {3600, 60}, {3640, 60}}, {1, 3590, 3590, 3590}},
        {"just under five minutes", {{0, 60}, {299, 60}, {3600, 60}}, {1, 3600, 3600, 3600}},
        {"five minutes apart: two kills", {{0, 60}, {300, 60}, {3600, 60}}, {2, 300, 1800, 3300}},
        {"short period: half of it", {{0, 6}, {170, 6}, {181, 6}}, {1, 181, 181, 181}},
        {"the shorter period counts", {{0, 60}, {100, 2}}, {1, 100, 100, 100}},
        {"unknown period: same second only", {{0, 0}, {1, 0}, {1, 60}}, {1, 1, 1, 1}},
        {"in any order", {{3600, 60}, {8, 60}, {0, 60}}, {1, 3600, 3600, 3600}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const IntervalStats stats = intervalStats(c.kills);
        EXPECT_EQ(stats.count, c.expected.count);
        EXPECT_EQ(stats.minSeconds, c.expected.minSeconds);
        EXPECT_DOUBLE_EQ(stats.medianSeconds, c.expected.medianSeconds);
        EXPECT_EQ(stats.maxSeconds, c.expected.maxSeconds);
    }
}

TEST(Csv, FieldsAreQuotedOnlyWhereNeeded) {
    struct Case {
        const char* value;
        bool isText;
        const char* expected;
    };
    const Case cases[] = {
        {"plain", true, "plain"},
        {"", true, ""},
        {"赤炎魔王", true, "赤炎魔王"},
        {"a,b", true, "\"a,b\""},
        {"say \"hi\"", true, "\"say \"\"hi\"\"\""},
        {"\"", true, "\"\"\"\""},
        {"two\nlines", true, "\"two\nlines\""},
        {"cr\rlf\r\n", true, "\"cr\rlf\r\n\""},
        {"世界Boss，第二层", true, "世界Boss，第二层"},
        {"=HYPERLINK(\"x\")", true, "\"'=HYPERLINK(\"\"x\"\")\""},
        {"+1", true, "'+1"},
        {"-5", true, "'-5"},
        {"@x", true, "'@x"},
        {"\tx", true, "'\tx"},
        {"-5", false, "-5"},
        {"2027-01-15 08:00:00", false, "2027-01-15 08:00:00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(csvField(c.value, c.isText), c.expected);
    }
}

TEST(Csv, BomHeaderAndCrlfLines) {
    EXPECT_EQ(killsCsv({}),
              "\xEF\xBB\xBF"
              "BOSS事件,本地时间,UTC时间,周期(分),延迟(分),来源,发送者,服务器,分线\r\n");
    KillRecord onLine{"黑龙", 172800, 60, 0, KillSource::Remote, "小红"};
    onLine.server = "二区";
    onLine.line = "3";
    const std::string csv = killsCsv({{"甲\n乙", 0, 1440, 30, KillSource::Remote, "小明"},
                                      {"丙", 86400, 90, 0, KillSource::RollOver, ""},
                                      onLine});
    EXPECT_NE(csv.find("\r\n\"甲\n乙\"," + localTimeText(0) +
                       ",1970-01-01T00:00:00Z,1440,30,远程,小明,,\r\n"),
              std::string::npos)
        << csv;
    EXPECT_NE(
        csv.find("\r\n丙," + localTimeText(86400) + ",1970-01-02T00:00:00Z,90,0,自动轮换,,,\r\n"),
        std::string::npos)
        << csv;
    EXPECT_NE(csv.find("\r\n黑龙," + localTimeText(172800) +
                       ",1970-01-03T00:00:00Z,60,0,远程,小红,二区,3\r\n"),
              std::string::npos)
        << csv;
}

TEST(KillTexts, SourceKeysReadBackAndUnknownKeysAreRefused) {
    for (const KillSource source :
         {KillSource::DoubleClick, KillSource::Typed, KillSource::RollOver, KillSource::CommandLine,
          KillSource::Remote}) {
        EXPECT_EQ(sourceFromKey(sourceKey(source)), source);
        EXPECT_NE(sourceLabel(source), "未知");
    }
    EXPECT_FALSE(sourceFromKey("teleport"));
    EXPECT_EQ(sourceLabel(static_cast<KillSource>(-1)), "未知");
}

TEST(KillTexts, Durations) {
    const std::pair<std::int64_t, const char*> cases[] = {
        {0, "0秒"},
        {59, "59秒"},
        {60, "1分00秒"},
        {3599, "59分59秒"},
        {3600, "1时00分00秒"},
        {86399, "23时59分59秒"},
        {86400, "1天00时00分"},
        {90061, "1天01时01分"},
        {-125, "-2分05秒"},
    };
    for (const auto& [seconds, expected] : cases) {
        EXPECT_EQ(durationText(seconds), expected) << seconds;
    }
    EXPECT_EQ(utcTimeText(1'800'000'000), "2027-01-15T08:00:00Z");
}
