#pragma once
// The dated arithmetic of a boss row: every last time stands for an instant, and the
// row is due one cycle (period + delay) after it. The next-time and countdown texts
// shown in the table are derived from the instant; nothing here reads the table.

#include "schedule/datetime.h"
#include "schedule/instant.h"
#include "text/message.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zorvane::schedule {

// Countdown texts are written with this pattern, two digits per field; a day or more
// is written in front of it ("1天01时00分00秒").
inline constexpr const char* kCountdownPattern = "h时m分s秒";

// A cycle shorter than this keeps counting from the next-time text and starts again
// whenever a pass finds it due, as a period of 0 always has.
inline constexpr std::int64_t kShortestDatedCycle = 60;

// The longest "-N" a user may type into a last time: 100 days.
inline constexpr std::int64_t kLongestMinutesAgo = 144000;

// The first "h:m:s" group of a text (runs of ASCII digits around two colons; text
// around it is ignored), its fields read as numbers. Every reader of a last time goes
// through this, so they all read the same time from the same text.
struct ClockTime {
    std::int32_t hour = 0;
    std::int32_t minute = 0;
    std::int32_t second = 0;
    // A time of day: hour 0..23, minute and second 0..60 (60 carries).
    bool valid() const;
    std::int64_t secondsOfDay() const;
};
std::optional<ClockTime> readClockTime(std::string_view text);

// The instant of `secondsOfDay` on the local date of `day` (60 minutes or seconds carry).
UtcSeconds instantOnDate(std::int64_t secondsOfDay, DateTime day);

// The instant a stored last-time text stands for when read at `now`: the latest instant
// not after `now` whose local clock showed that time, today or yesterday (a kill cannot
// lie ahead; in the hour the clocks are set back the later of the two readings that
// already passed). nullopt when the text holds no valid time of day.
std::optional<UtcSeconds> deriveLastInstant(std::string_view lastText, UtcSeconds now);
// A local reading is no instant (see Clock::instant).
std::optional<UtcSeconds> deriveLastInstant(std::string_view lastText, DateTime now) = delete;

// The instant of a kill typed into the last time at `now`: "-N" is N minutes ago (N up
// to kLongestMinutesAgo); a time of day is the latest instant not after `now` at which
// the local clock showed it, today's or else yesterday's when that lies within the last
// 12 hours. nullopt for anything else.
std::optional<UtcSeconds> typedKillInstant(std::string_view typed, UtcSeconds now);
std::optional<UtcSeconds> typedKillInstant(std::string_view typed, DateTime now) = delete;

// The next-time text: the local clock time of last + period. Every writer of a next
// time uses this. A period too large for the calendar still gives a time of day.
std::string nextTimeText(UtcSeconds last, std::int64_t periodMinutes);

// Period plus delay, in seconds.
std::int64_t cycleSeconds(std::int64_t periodMinutes, std::int64_t delayMinutes);

// Seconds from `now` until a row killed at `last` is due (<= 0 once it is).
std::int64_t secondsUntilDue(UtcSeconds last, std::int64_t periodMinutes, std::int64_t delayMinutes,
                             UtcSeconds now);

// Where a due row stands at `now`: the latest cycle start last + k * cycle not after
// `now` (k >= 1), so a new cycle begins when the old one became due and never at the
// moment someone noticed. `cycle` must be at least kShortestDatedCycle.
struct CycleStart {
    UtcSeconds start = 0;
    std::int64_t cyclesPassed = 0; // k
};
CycleStart currentCycleStart(UtcSeconds last, std::int64_t cycle, UtcSeconds now);

// The countdown of `remaining` seconds: days in front when there is at least one.
// formatCountdown is its default text, the one the table's cell holds.
text::Message countdownMessage(std::int64_t remaining);
std::string formatCountdown(std::int64_t remaining);

} // namespace zorvane::schedule
