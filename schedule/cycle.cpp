#include "schedule/cycle.h"

#include "schedule/timetext.h"
#include "text/numbers.h"
#include "text/textops.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

namespace zorvane::schedule {
namespace {

constexpr std::int64_t kDay = 86400;
constexpr std::int64_t kTwelveHours = 12 * 3600;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::size_t digitRun(std::string_view text, std::size_t at) {
    std::size_t end = at;
    while (end < text.size() && isDigit(text[end])) {
        ++end;
    }
    return end - at;
}

std::int64_t secondsOfDayOf(DateTime value) {
    DateTimeParts p;
    if (!breakDown(value, p)) {
        return 0;
    }
    return p.hour * 3600LL + p.minute * 60LL + p.second;
}

std::int32_t clampToInt32(std::int64_t value) {
    if (value > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (value < std::numeric_limits<std::int32_t>::min()) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(value);
}

// "-N" with N ASCII digits, blanks around allowed; -1 when the text is not of that form.
std::int64_t minutesAgo(std::string_view typed) {
    const std::string trimmed = text::trim(typed);
    if (trimmed.size() < 2 || trimmed[0] != '-' || digitRun(trimmed, 1) != trimmed.size() - 1) {
        return -1;
    }
    if (trimmed.size() > 12) {
        return kLongestMinutesAgo + 1;
    }
    return std::stoll(trimmed.substr(1));
}

} // namespace

bool ClockTime::valid() const {
    return hour >= 0 && hour <= 23 && minute >= 0 && minute <= 60 && second >= 0 && second <= 60;
}

std::int64_t ClockTime::secondsOfDay() const {
    return hour * 3600LL + minute * 60LL + second;
}

std::optional<ClockTime> readClockTime(std::string_view text) {
    // The leftmost match of "(\d+):(\d+):(\d+)": a match can only start where a run of
    // digits starts, and each group takes its whole run.
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!isDigit(text[i]) || (i > 0 && isDigit(text[i - 1]))) {
            continue;
        }
        const std::size_t h = digitRun(text, i);
        std::size_t at = i + h;
        if (at >= text.size() || text[at] != ':') {
            continue;
        }
        const std::size_t m = digitRun(text, at + 1);
        if (m == 0) {
            continue;
        }
        const std::size_t mAt = at + 1;
        at = mAt + m;
        if (at >= text.size() || text[at] != ':') {
            continue;
        }
        const std::size_t s = digitRun(text, at + 1);
        if (s == 0) {
            continue;
        }
        ClockTime time;
        time.hour = text::textToInteger(text.substr(i, h));
        time.minute = text::textToInteger(text.substr(mAt, m));
        time.second = text::textToInteger(text.substr(at + 1, s));
        return time;
    }
    return std::nullopt;
}

namespace {

// The local date-time of `secondsOfDay` on the local date of `day` (60 minutes or seconds
// carry).
DateTime onDate(std::int64_t secondsOfDay, DateTime day) {
    DateTimeParts p;
    if (!breakDown(day, p)) {
        return day;
    }
    p.hour = static_cast<int>(secondsOfDay / 3600);
    p.minute = static_cast<int>(secondsOfDay / 60 % 60);
    p.second = static_cast<int>(secondsOfDay % 60);
    return makeDateTime(p);
}

// The latest instant not after `now` at which the local clock showed the time of day:
// today's reading, else yesterday's.
struct PastReading {
    UtcSeconds instant = 0;
    bool today = false;
};
std::optional<PastReading> latestPastReading(const ClockTime& time, UtcSeconds now) {
    const DateTime local = toLocal(now);
    if (local == kInvalidDateTime) {
        return std::nullopt;
    }
    const std::int64_t of = time.secondsOfDay();
    if (const std::optional<UtcSeconds> today = latestInstantOf(onDate(of, local), now)) {
        return PastReading{*today, true};
    }
    if (const std::optional<UtcSeconds> yesterday =
            latestInstantOf(onDate(of, addMinutes(local, -24 * 60)), now)) {
        return PastReading{*yesterday, false};
    }
    return std::nullopt;
}

} // namespace

UtcSeconds instantOnDate(std::int64_t secondsOfDay, DateTime day) {
    return toUtc(onDate(secondsOfDay, day));
}

std::optional<UtcSeconds> deriveLastInstant(std::string_view lastText, UtcSeconds now) {
    const std::optional<ClockTime> time = readClockTime(lastText);
    if (!time || !time->valid()) {
        return std::nullopt;
    }
    const std::optional<PastReading> reading = latestPastReading(*time, now);
    return reading ? std::optional(reading->instant) : std::nullopt;
}

std::optional<UtcSeconds> typedKillInstant(std::string_view typed, UtcSeconds now) {
    const std::int64_t ago = minutesAgo(typed);
    if (ago >= 0) {
        if (ago > kLongestMinutesAgo) {
            return std::nullopt;
        }
        return now - ago * 60;
    }
    const std::optional<ClockTime> time = readClockTime(typed);
    if (!time || !time->valid()) {
        return std::nullopt;
    }
    const std::optional<PastReading> reading = latestPastReading(*time, now);
    // Yesterday's only if that is recent enough to be what was meant.
    if (!reading || (!reading->today && now - reading->instant > kTwelveHours)) {
        return std::nullopt;
    }
    return reading->instant;
}

std::string nextTimeText(UtcSeconds last, std::int64_t periodMinutes) {
    // Within a few thousand years the calendar knows the date; beyond, only the time of
    // day can be shown, which is what the cell holds anyway.
    constexpr std::int64_t kCalendarMinutes = 1000LL * 366 * 24 * 60;
    if (periodMinutes > -kCalendarMinutes && periodMinutes < kCalendarMinutes) {
        const std::string text = clockTimeText(toLocal(last + periodMinutes * 60));
        if (!text.empty()) {
            return text;
        }
    }
    const std::int64_t lastOfDay = secondsOfDayOf(toLocal(last));
    const std::int64_t ofDay = ((lastOfDay + periodMinutes % (24 * 60) * 60) % kDay + kDay) % kDay;
    return formatDuration(static_cast<std::int32_t>(ofDay), "h:m:s", true);
}

std::int64_t cycleSeconds(std::int64_t periodMinutes, std::int64_t delayMinutes) {
    return (periodMinutes + delayMinutes) * 60;
}

std::int64_t secondsUntilDue(UtcSeconds last, std::int64_t periodMinutes, std::int64_t delayMinutes,
                             UtcSeconds now) {
    return last + cycleSeconds(periodMinutes, delayMinutes) - now;
}

CycleStart currentCycleStart(UtcSeconds last, std::int64_t cycle, UtcSeconds now) {
    if (cycle < kShortestDatedCycle) {
        return {now, 1};
    }
    const std::int64_t k = now > last ? std::max<std::int64_t>(1, (now - last) / cycle) : 1;
    return {last + k * cycle, k};
}

text::Message countdownMessage(std::int64_t remaining) {
    // Each piece as the countdown pattern "h时m分s秒" writes it, so the default text is
    // the cell text the table has always shown.
    const auto pieces = [](std::int32_t seconds) {
        return std::vector<text::Message>{
            text::Message::literal(formatDuration(seconds, "h", true)),
            text::Message::literal(formatDuration(seconds, "m", true)),
            text::Message::literal(formatDuration(seconds, "s", true))};
    };
    if (remaining < kDay) {
        return text::Message(text::MessageId::Countdown, pieces(clampToInt32(remaining)));
    }
    std::vector<text::Message> args{text::Message::literal(text::integerText(remaining / kDay))};
    for (text::Message& piece : pieces(static_cast<std::int32_t>(remaining % kDay))) {
        args.push_back(std::move(piece));
    }
    return text::Message(text::MessageId::CountdownDays, std::move(args));
}

std::string formatCountdown(std::int64_t remaining) {
    return text::defaultText(countdownMessage(remaining));
}

} // namespace zorvane::schedule
