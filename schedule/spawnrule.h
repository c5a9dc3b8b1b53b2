#pragma once
// When a boss appears: after a kill, within a window (the row's period is the earliest,
// its delay the width; a delay of 0 is a single time), or at fixed clock times of its
// server's zone, optionally on given weekdays. Pure functions of the rule, what the row
// recorded and "now": where the boss stands, when it is next due and how long is left.

#include "schedule/instant.h"
#include "schedule/serverzone.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorvane::schedule {

enum class SpawnKind { AfterKill, FixedTimes };

// What a server restart does to a row.
enum class RestartAnchor {
    Unchanged,  // the row keeps counting from its last kill
    AsKill,     // as if it had been killed at the restart
    SpawnAfter, // it spawns a set number of minutes after the restart
};

struct SpawnRule {
    SpawnKind kind = SpawnKind::AfterKill;
    // FixedTimes: seconds of the server's day, ascending, no two alike.
    std::vector<std::int32_t> times;
    // FixedTimes: bit d set for weekday d (0 Monday .. 6 Sunday); 0 means every day.
    std::uint8_t weekdays = 0;
    ServerZone zone;
    RestartAnchor restart = RestartAnchor::Unchanged;
    std::int32_t restartMinutes = 0; // SpawnAfter
    // Minutes after a spawn nobody recorded a kill for at which the player is reminded;
    // 0: never.
    std::int32_t remindMinutes = 0;

    // The rule every row had before rules existed: after a kill, in the computer's zone,
    // untouched by a restart.
    bool isDefault() const;
    bool operator==(const SpawnRule& other) const = default;
};

// The stored form, without the zone (stored apart): "" for the default rule; otherwise
// "after" or "at 12:00 20:30" with " on 6 7" (1 Monday .. 7 Sunday), then " restart kill"
// or " restart spawn 30" when a restart moves the row, then " remind 3" when an unrecorded
// spawn is reminded of.
std::string spawnRuleText(const SpawnRule& rule);
// Reads spawnRuleText's form; nullopt for anything else (the zone is left local).
std::optional<SpawnRule> parseSpawnRule(std::string_view text);

// "12:00 20:30" into seconds of the day (ascending, distinct); nullopt when a piece is not
// a time of day or nothing is given.
std::optional<std::vector<std::int32_t>> parseTimesOfDay(std::string_view text);
std::string timesOfDayText(const std::vector<std::int32_t>& times);

// The reminder minutes the rule editor offers a fixed-times rule that has none yet.
inline constexpr std::int32_t kSuggestedRemindMinutes = 3;

// The spawn of a fixed-times rule: the first one after `after`, the last one at or before
// `atOrBefore`. nullopt when the rule has no times (or for an after-kill rule). Searches at
// most two weeks, which covers every weekday pattern.
std::optional<UtcSeconds> nextFixedSpawn(const SpawnRule& rule, UtcSeconds after);
std::optional<UtcSeconds> previousFixedSpawn(const SpawnRule& rule, UtcSeconds atOrBefore);

enum class SpawnPhase {
    Unknown,    // after-kill rule, no kill ever
    Waiting,    // before the (next) earliest moment
    WindowOpen, // between earliest and latest: maybe up
    Up,         // spawned and nobody recorded a kill since
};

// What a row recorded, as the rule needs it.
struct SpawnFacts {
    std::int32_t periodMinutes = 0;
    std::int32_t delayMinutes = 0;
    std::optional<UtcSeconds> lastKill;
    // The spawn moment the timer saw pass without a kill (its cycle rolled over meanwhile).
    std::optional<UtcSeconds> upSince;
    // When a spawn was marked as taken by others: no kill time, but no longer up.
    std::optional<UtcSeconds> missedAt;
};

struct SpawnView {
    SpawnPhase phase = SpawnPhase::Unknown;
    std::optional<UtcSeconds> earliest; // the window's or the fixed spawn's moment ahead/now
    std::optional<UtcSeconds> latest;   // the window's end (== earliest for a single time)
    std::optional<UtcSeconds> upSince;  // Up: since when
    // Waiting: seconds to earliest; WindowOpen: to latest; Up: to the next spawn when
    // known, else 0.
    std::int64_t secondsLeft = 0;
    double fraction = 0;        // WindowOpen: how far through, 0..1
    std::int64_t upSeconds = 0; // Up: how long since upSince
    bool operator==(const SpawnView&) const = default;
};

SpawnView spawnView(const SpawnRule& rule, const SpawnFacts& facts, UtcSeconds now);
// A view read at `now` that was made earlier: its phase holds until the next reading, its
// counts follow now.
void moveViewOn(SpawnView& view, UtcSeconds now);
// spawnView of a fixed-times rule whose spawns around `now` are known already (a pass over
// many rows looks them up only when one has passed).
SpawnView fixedSpawnView(std::optional<UtcSeconds> previous, std::optional<UtcSeconds> next,
                         const SpawnFacts& facts, UtcSeconds now);

// The facts after a server restart at `restart`, by the rule's RestartAnchor.
SpawnFacts afterRestart(const SpawnRule& rule, const SpawnFacts& facts, UtcSeconds restart);

} // namespace zorvane::schedule
