// Spawn rules read in a server's zone: windows after a kill, fixed clock times across
// midnight, week ends and both daylight-saving changes, fixed offsets, restarts, and the
// stored forms.

#include "schedule/serverzone.h"
#include "schedule/spawnrule.h"

#include "tests/support/timezone.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

using namespace zorvane::schedule;

namespace {

UtcSeconds at(const char* text) {
    const std::optional<UtcSeconds> instant = parseUtcText(text);
    EXPECT_TRUE(instant) << text;
    return instant.value_or(0);
}

ServerZone zoneOf(const char* text) {
    const std::optional<ServerZone> zone = ServerZone::fromText(text);
    EXPECT_TRUE(zone) << text;
    return zone.value_or(ServerZone{});
}

SpawnRule fixedRule(const char* zone, const char* times, std::uint8_t weekdays = 0) {
    SpawnRule rule;
    rule.kind = SpawnKind::FixedTimes;
    rule.times = parseTimesOfDay(times).value();
    rule.weekdays = weekdays;
    rule.zone = zoneOf(zone);
    return rule;
}

constexpr std::uint8_t kSaturday = 1u << 5;

struct FixedCase {
    const char* what;
    const char* playerTz;
    const char* zone;
    const char* times;
    std::uint8_t weekdays;
    const char* now;
    const char* previous;
    const char* next;
};

void PrintTo(const FixedCase& c, std::ostream* os) {
    *os << c.what;
}

class FixedTimes : public ::testing::TestWithParam<FixedCase> {};

TEST_P(FixedTimes, PreviousAndNextSpawn) {
    const FixedCase& c = GetParam();
    const zorvane::testing::ScopedTimeZone tz(c.playerTz);
    const SpawnRule rule = fixedRule(c.zone, c.times, c.weekdays);
    EXPECT_EQ(utcText(previousFixedSpawn(rule, at(c.now)).value()), c.previous) << c.what;
    EXPECT_EQ(utcText(nextFixedSpawn(rule, at(c.now)).value()), c.next) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Zones, FixedTimes,
    ::testing::Values(
        // 12:00 and 20:00 Beijing time, watched from Berlin: 04:00 and 12:00 UTC.
        FixedCase{"beijing noon from berlin", "Europe/Berlin", "Asia/Shanghai", "12:00 20:00", 0,
                  "2026-12-09T05:00:00Z", "2026-12-09T04:00:00Z", "2026-12-09T12:00:00Z"},
        FixedCase{"beijing evening, across its midnight", "Europe/Berlin", "Asia/Shanghai",
                  "12:00 20:00", 0, "2026-12-09T16:30:00Z", "2026-12-09T12:00:00Z",
                  "2026-12-10T04:00:00Z"},
        FixedCase{"00:30 just after midnight", "UTC", "Asia/Shanghai", "00:30", 0,
                  "2026-12-09T16:00:00Z", "2026-12-08T16:30:00Z", "2026-12-09T16:30:00Z"},
        FixedCase{"a spawn at now is the previous one", "UTC", "Asia/Shanghai", "12:00", 0,
                  "2026-12-09T04:00:00Z", "2026-12-09T04:00:00Z", "2026-12-10T04:00:00Z"},
        // Saturday 21:00 Berlin, seen on Sunday and on Friday night.
        FixedCase{"weekly, seen on sunday", "Asia/Shanghai", "Europe/Berlin", "21:00", kSaturday,
                  "2026-12-13T09:00:00Z", "2026-12-12T20:00:00Z", "2026-12-19T20:00:00Z"},
        FixedCase{"weekly, seen the evening before", "Europe/Berlin", "Europe/Berlin", "21:00",
                  kSaturday, "2026-12-11T22:00:00Z", "2026-12-05T20:00:00Z",
                  "2026-12-12T20:00:00Z"},
        FixedCase{"weekly across the year's end", "UTC", "Europe/Berlin", "21:00", kSaturday,
                  "2026-12-31T12:00:00Z", "2026-12-26T20:00:00Z", "2027-01-02T20:00:00Z"},
        // Berlin sets its clocks back on 2027-10-31: 02:30 occurs at 00:30 and 01:30 UTC.
        // It spawns once, at the first reading.
        FixedCase{"repeated hour, before it", "Europe/Berlin", "Europe/Berlin", "02:30", 0,
                  "2027-10-31T00:00:00Z", "2027-10-30T00:30:00Z", "2027-10-31T00:30:00Z"},
        FixedCase{"repeated hour, second reading is no spawn", "Europe/Berlin", "Europe/Berlin",
                  "02:30", 0, "2027-10-31T00:45:00Z", "2027-10-31T00:30:00Z",
                  "2027-11-01T01:30:00Z"},
        FixedCase{"repeated hour through the computer's zone", "Europe/Berlin", "", "02:30", 0,
                  "2027-10-31T00:45:00Z", "2027-10-31T00:30:00Z", "2027-11-01T01:30:00Z"},
        // Spring, 2027-03-28: 02:00-03:00 is skipped; 02:30 spawns as the clocks jump.
        FixedCase{"skipped hour", "Europe/Berlin", "Europe/Berlin", "02:30", 0,
                  "2027-03-28T00:00:00Z", "2027-03-27T01:30:00Z", "2027-03-28T01:00:00Z"},
        FixedCase{"skipped hour through the computer's zone", "Europe/Berlin", "", "02:30", 0,
                  "2027-03-28T00:00:00Z", "2027-03-27T01:30:00Z", "2027-03-28T01:00:00Z"},
        FixedCase{"after the skipped hour", "Europe/Berlin", "Europe/Berlin", "02:30 03:30", 0,
                  "2027-03-28T01:00:00Z", "2027-03-28T01:00:00Z", "2027-03-28T01:30:00Z"},
        // New York: 2027-03-14 skips 02:00-03:00 at 07:00 UTC; 2027-11-07 repeats 01:00-02:00.
        FixedCase{"new york spring", "Europe/Berlin", "America/New_York", "02:15", 0,
                  "2027-03-14T05:00:00Z", "2027-03-13T07:15:00Z", "2027-03-14T07:00:00Z"},
        FixedCase{"new york autumn", "Asia/Shanghai", "America/New_York", "01:30", 0,
                  "2027-11-07T05:45:00Z", "2027-11-07T05:30:00Z", "2027-11-08T06:30:00Z"},
        // A fixed offset keeps no daylight saving: noon at UTC+09:00 is 03:00 UTC all year.
        FixedCase{"fixed offset in summer", "Europe/Berlin", "UTC+09:00", "12:00", 0,
                  "2027-07-01T00:00:00Z", "2027-06-30T03:00:00Z", "2027-07-01T03:00:00Z"},
        FixedCase{"fixed offset across the autumn change", "Europe/Berlin", "UTC-03:30", "01:00", 0,
                  "2027-10-31T00:00:00Z", "2027-10-30T04:30:00Z", "2027-10-31T04:30:00Z"}));

struct ViewCase {
    const char* what;
    SpawnRule rule;
    SpawnFacts facts;
    const char* now;
    SpawnPhase phase;
    std::int64_t secondsLeft;
    std::optional<const char*> upSince;
    double fraction;
};

SpawnFacts window(int period, int delay, std::optional<const char*> kill,
                  std::optional<const char*> up = std::nullopt,
                  std::optional<const char*> missed = std::nullopt) {
    SpawnFacts facts;
    facts.periodMinutes = period;
    facts.delayMinutes = delay;
    if (kill) {
        facts.lastKill = at(*kill);
    }
    if (up) {
        facts.upSince = at(*up);
    }
    if (missed) {
        facts.missedAt = at(*missed);
    }
    return facts;
}

void PrintTo(const ViewCase& c, std::ostream* os) {
    *os << c.what;
}

class Views : public ::testing::TestWithParam<ViewCase> {};

TEST_P(Views, PhaseAndTimeLeft) {
    const ViewCase& c = GetParam();
    const zorvane::testing::ScopedTimeZone tz("Europe/Berlin");
    const SpawnView view = spawnView(c.rule, c.facts, at(c.now));
    EXPECT_EQ(view.phase, c.phase) << c.what;
    EXPECT_EQ(view.secondsLeft, c.secondsLeft) << c.what;
    EXPECT_EQ(view.upSince ? utcText(*view.upSince) : "-", c.upSince ? *c.upSince : "-") << c.what;
    EXPECT_DOUBLE_EQ(view.fraction, c.fraction) << c.what;
}

const SpawnRule kAfterKill;
const char* const kKill = "2027-10-31T00:20:00Z"; // 02:20 summer time in Berlin

INSTANTIATE_TEST_SUITE_P(
    Rules, Views,
    ::testing::Values(
        ViewCase{"never killed", kAfterKill, window(60, 30, std::nullopt), "2027-10-31T03:00:00Z",
                 SpawnPhase::Unknown, 0, std::nullopt, 0},
        // Killed in the repeated hour: the window is 01:20-01:50 UTC whatever the clock says.
        ViewCase{"waiting", kAfterKill, window(60, 30, kKill), "2027-10-31T00:50:00Z",
                 SpawnPhase::Waiting, 1800, std::nullopt, 0},
        ViewCase{"window half through", kAfterKill, window(60, 30, kKill), "2027-10-31T01:35:00Z",
                 SpawnPhase::WindowOpen, 900, std::nullopt, 0.5},
        ViewCase{"window over", kAfterKill, window(60, 30, kKill), "2027-10-31T02:00:00Z",
                 SpawnPhase::Up, 0, "2027-10-31T01:50:00Z", 0},
        ViewCase{"single time due", kAfterKill, window(60, 0, kKill), "2027-10-31T01:20:00Z",
                 SpawnPhase::Up, 0, "2027-10-31T01:20:00Z", 0},
        ViewCase{"missed after it was up", kAfterKill,
                 window(60, 0, kKill, std::nullopt, "2027-10-31T01:30:00Z"), "2027-10-31T01:40:00Z",
                 SpawnPhase::Waiting, 0, std::nullopt, 0},
        // Rolled over by the timer: up since the roll-over while the next cycle counts.
        ViewCase{"up since roll-over", kAfterKill,
                 window(60, 0, "2027-10-31T01:20:00Z", "2027-10-31T01:20:00Z"),
                 "2027-10-31T01:50:00Z", SpawnPhase::Up, 1800, "2027-10-31T01:20:00Z", 0},
        ViewCase{
            "roll-over marked missed", kAfterKill,
            window(60, 0, "2027-10-31T01:20:00Z", "2027-10-31T01:20:00Z", "2027-10-31T01:30:00Z"),
            "2027-10-31T01:50:00Z", SpawnPhase::Waiting, 1800, std::nullopt, 0},
        ViewCase{"fixed, nobody killed it", fixedRule("Asia/Shanghai", "12:00 20:00"),
                 window(0, 0, std::nullopt), "2026-12-09T05:00:00Z", SpawnPhase::Up, 25200,
                 "2026-12-09T04:00:00Z", 0},
        ViewCase{"fixed, killed after the spawn", fixedRule("Asia/Shanghai", "12:00 20:00"),
                 window(0, 0, "2026-12-09T04:10:00Z"), "2026-12-09T05:00:00Z", SpawnPhase::Waiting,
                 25200, std::nullopt, 0},
        ViewCase{"fixed, killed before the spawn", fixedRule("Asia/Shanghai", "12:00 20:00"),
                 window(0, 0, "2026-12-08T12:10:00Z"), "2026-12-09T05:00:00Z", SpawnPhase::Up,
                 25200, "2026-12-09T04:00:00Z", 0},
        ViewCase{"fixed, taken by others", fixedRule("Asia/Shanghai", "12:00 20:00"),
                 window(0, 0, std::nullopt, std::nullopt, "2026-12-09T04:30:00Z"),
                 "2026-12-09T05:00:00Z", SpawnPhase::Waiting, 25200, std::nullopt, 0}));

TEST(ServerZone, StoredForms) {
    struct Case {
        const char* text;
        std::optional<std::string> stored;
    };
    const Case cases[] = {
        {"", ""},
        {"Asia/Shanghai", "Asia/Shanghai"},
        {"UTC+08:00", "UTC+08:00"},
        {"+8", "UTC+08:00"},
        {"UTC-3:30", "UTC-03:30"},
        {"GMT+0530", "UTC+05:30"},
        {"UTC", "UTC+00:00"},
        {"+19", std::nullopt},
        {"UTC+08:75", std::nullopt},
        {"Mars/Olympus_Mons", std::nullopt},
        {"../../etc/passwd", std::nullopt},
    };
    for (const Case& c : cases) {
        const std::optional<ServerZone> zone = ServerZone::fromText(c.text);
        EXPECT_EQ(zone ? std::optional(zone->text()) : std::nullopt, c.stored) << c.text;
    }
}

TEST(ServerZone, WallTimeAndNames) {
    const zorvane::testing::ScopedTimeZone tz("America/New_York");
    struct Case {
        const char* zone;
        const char* instant;
        int weekday;
        int secondsOfDay;
        const char* abbreviation;
    };
    const Case cases[] = {
        {"Asia/Shanghai", "2026-12-12T16:30:00Z", 6, 1800, "CST"},
        {"Europe/Berlin", "2027-10-31T00:30:00Z", 6, 9000, "CEST"},
        {"Europe/Berlin", "2027-10-31T01:30:00Z", 6, 9000, "CET"},
        {"", "2026-12-12T16:30:00Z", 5, 41400, "EST"},
        {"UTC+05:45", "2026-12-12T20:00:00Z", 6, 6300, "UTC+05:45"},
    };
    for (const Case& c : cases) {
        const ServerZone zone = zoneOf(c.zone);
        const WallTime wall = zone.wallTime(at(c.instant));
        EXPECT_EQ(wall.weekday, c.weekday) << c.zone << " " << c.instant;
        EXPECT_EQ(wall.secondsOfDay, c.secondsOfDay) << c.zone << " " << c.instant;
        EXPECT_EQ(zone.abbreviation(at(c.instant)), c.abbreviation) << c.zone << " " << c.instant;
    }
}

TEST(SpawnRuleText, RoundTripsAndRefuses) {
    struct Case {
        const char* text;
        std::optional<std::string> stored; // nullopt: refused
    };
    const Case cases[] = {
        {"", ""},
        {"after", ""},
        {"after restart kill", "after restart kill"},
        {"after restart spawn 30", "after restart spawn 30"},
        {"at 20:00 12:00", "at 12:00 20:00"},
        {"at 12:00 12:00:00", "at 12:00"},
        {"at 21:00 on 6", "at 21:00 on 6"},
        {"at 21:00 on 7 1 restart kill", "at 21:00 on 1 7 restart kill"},
        {"at 12:00:30", "at 12:00:30"},
        {"at", std::nullopt},
        {"at 24:00", std::nullopt},
        {"at 12:60", std::nullopt},
        {"at noon", std::nullopt},
        {"at 21:00 on", std::nullopt},
        {"at 21:00 on 8", std::nullopt},
        {"after restart", std::nullopt},
        {"after restart spawn", std::nullopt},
        {"after restart spawn -5", std::nullopt},
        {"after restart soon", std::nullopt},
        {"before", std::nullopt},
        {"after remind 3", "after remind 3"},
        {"after remind 0", ""},
        {"at 12:00 on 6 restart kill remind 5", "at 12:00 on 6 restart kill remind 5"},
        {"at 12:00 remind 5", "at 12:00 remind 5"},
        {"after remind", std::nullopt},
        {"after remind soon", std::nullopt},
        {"after remind 3 restart kill", std::nullopt},
        {"after restart kill extra", std::nullopt},
    };
    for (const Case& c : cases) {
        const std::optional<SpawnRule> rule = parseSpawnRule(c.text);
        EXPECT_EQ(rule ? std::optional(spawnRuleText(*rule)) : std::nullopt, c.stored) << c.text;
    }
}

TEST(SpawnRule, RestartReanchors) {
    SpawnRule asKill;
    asKill.restart = RestartAnchor::AsKill;
    SpawnRule spawnAfter;
    spawnAfter.restart = RestartAnchor::SpawnAfter;
    spawnAfter.restartMinutes = 30;
    SpawnRule fixedAsKill = fixedRule("Asia/Shanghai", "12:00 20:00");
    fixedAsKill.restart = RestartAnchor::AsKill;
    const char* const restart = "2026-12-09T06:00:00Z";
    struct Case {
        const char* what;
        SpawnRule rule;
        SpawnPhase phase; // at restart + 10 minutes
        std::int64_t secondsLeft;
    };
    const Case cases[] = {
        {"unchanged keeps the old window", kAfterKill, SpawnPhase::Up, 0},
        {"as a kill", asKill, SpawnPhase::Waiting, 3000},
        {"spawns 30 minutes after", spawnAfter, SpawnPhase::Waiting, 1200},
        {"fixed times: the current spawn is taken", fixedAsKill, SpawnPhase::Waiting, 21000},
    };
    for (const Case& c : cases) {
        // Killed the day before, up since long ago.
        const SpawnFacts before = window(60, 0, "2026-12-08T00:00:00Z");
        const SpawnFacts after = afterRestart(c.rule, before, at(restart));
        const SpawnView view = spawnView(c.rule, after, at(restart) + 600);
        EXPECT_EQ(view.phase, c.phase) << c.what;
        EXPECT_EQ(view.secondsLeft, c.secondsLeft) << c.what;
    }
}

} // namespace
