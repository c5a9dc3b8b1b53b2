#include "schedule/timetext.h"

#include "schedule/cycle.h"
#include "text/codec.h"
#include "text/numbers.h"
#include "text/textops.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace zorvane::schedule {
namespace {

constexpr double kTolerance = 1e-7;
// Added to a difference in seconds before truncating, so that whole-second times whose
// day fractions carry rounding noise still differ by exact whole seconds.
constexpr double kSecondNudge = 5.787037037037037e-6;

std::int32_t clampToInt32(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (value <= static_cast<double>(std::numeric_limits<std::int32_t>::min())) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(value);
}

std::string twoDigits(int value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d", value);
    return buffer;
}

// Length of the run of `c` starting at `i`.
std::size_t runLength(std::string_view pattern, std::size_t i) {
    std::size_t n = 1;
    while (i + n < pattern.size() && pattern[i + n] == pattern[i]) {
        ++n;
    }
    return n;
}

const char* const kDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};
const char* const kMonthNames[] = {"January",   "February", "March",    "April",
                                   "May",       "June",     "July",     "August",
                                   "September", "October",  "November", "December"};

int weekday(const DateTimeParts& p) {
    // Day 0 (1899-12-30) was a Saturday.
    const long long days =
        static_cast<long long>(std::floor(makeDateTime({p.year, p.month, p.day, 0, 0, 0}) + 0.5));
    return static_cast<int>(((days + 6) % 7 + 7) % 7);
}

// Copies text in single quotes literally ('' is a quote); returns the index after it.
std::size_t copyQuoted(std::string_view pattern, std::size_t i, std::string& out) {
    ++i;
    while (i < pattern.size()) {
        if (pattern[i] == '\'') {
            if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
                out += '\'';
                i += 2;
                continue;
            }
            return i + 1;
        }
        out += pattern[i++];
    }
    return i;
}

std::string formatTimePart(const DateTimeParts& p, std::string_view pattern, bool force24Hour) {
    std::string out;
    for (std::size_t i = 0; i < pattern.size();) {
        const char c = pattern[i];
        if (c == '\'') {
            i = copyQuoted(pattern, i, out);
            continue;
        }
        if (c != 'h' && c != 'H' && c != 'm' && c != 's' && c != 't') {
            out += c;
            ++i;
            continue;
        }
        const std::size_t n = runLength(pattern, i);
        i += n;
        int value = 0;
        switch (c) {
        case 'h':
            value = force24Hour ? p.hour : (p.hour % 12 == 0 ? 12 : p.hour % 12);
            break;
        case 'H':
            value = p.hour;
            break;
        case 'm':
            value = p.minute;
            break;
        case 's':
            value = p.second;
            break;
        default: {
            const char* marker = p.hour < 12 ? "AM" : "PM";
            out += n == 1 ? std::string(marker, 1) : std::string(marker);
            continue;
        }
        }
        out += n == 1 ? std::to_string(value) : twoDigits(value);
    }
    return out;
}

std::string formatDatePart(const DateTimeParts& p, std::string_view pattern) {
    std::string out;
    for (std::size_t i = 0; i < pattern.size();) {
        const char c = pattern[i];
        if (c == '\'') {
            i = copyQuoted(pattern, i, out);
            continue;
        }
        if (c != 'd' && c != 'M' && c != 'y') {
            out += c;
            ++i;
            continue;
        }
        const std::size_t n = runLength(pattern, i);
        i += n;
        if (c == 'd') {
            if (n == 1) {
                out += std::to_string(p.day);
            } else if (n == 2) {
                out += twoDigits(p.day);
            } else {
                const std::string name = kDayNames[weekday(p)];
                out += n == 3 ? name.substr(0, 3) : name;
            }
        } else if (c == 'M') {
            if (n == 1) {
                out += std::to_string(p.month);
            } else if (n == 2) {
                out += twoDigits(p.month);
            } else {
                const std::string name = kMonthNames[p.month - 1];
                out += n == 3 ? name.substr(0, 3) : name;
            }
        } else {
            if (n == 1) {
                out += std::to_string(p.year % 100);
            } else if (n == 2) {
                out += twoDigits(p.year % 100);
            } else {
                char buffer[16];
                std::snprintf(buffer, sizeof buffer, "%04d", p.year);
                out += buffer;
            }
        }
    }
    return out;
}

int secondsOfDay(const Clock& clock) {
    DateTimeParts p;
    if (!breakDown(clock.now(), p)) {
        return 0;
    }
    return p.hour * 3600 + p.minute * 60 + p.second;
}

// Reads 1..maxDigits ASCII digits at `i`; false when there are none or too many.
bool readField(std::string_view text, std::size_t& i, std::size_t maxDigits, int& value) {
    const std::size_t start = i;
    value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        if (i - start == maxDigits) {
            return false;
        }
        value = value * 10 + (text[i] - '0');
        ++i;
    }
    return i > start;
}

bool expect(std::string_view text, std::size_t& i, char c) {
    if (i < text.size() && text[i] == c) {
        ++i;
        return true;
    }
    return false;
}

bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

} // namespace

std::string formatDateTime(DateTime value, std::string_view datePattern,
                           std::string_view timePattern, bool force24Hour) {
    if (datePattern.empty() && timePattern.empty()) {
        return {};
    }
    DateTimeParts parts;
    if (!breakDown(value, parts)) {
        return {};
    }
    std::string result;
    if (datePattern.size() >= 3) {
        result = formatDatePart(parts, datePattern);
    }
    if (timePattern.size() >= 3) {
        result += formatTimePart(parts, timePattern, force24Hour);
    }
    return result;
}

std::string formatDuration(std::int32_t seconds, std::string_view pattern, bool padding) {
    std::string result = pattern.empty() ? std::string("d天h小时m分s秒") : std::string(pattern);
    const double x = seconds;
    const double values[] = {
        std::trunc(x / 86400),
        std::trunc(std::fmod(x, 86400) / 3600),
        std::trunc(std::fmod(std::fmod(x, 86400), 3600) / 60),
        std::trunc(std::fmod(std::fmod(std::fmod(x, 86400), 3600), 60)),
    };
    const char letters[] = {'d', 'h', 'm', 's'};
    for (int i = 0; i < 4; ++i) {
        // UTF-8 trail bytes are never ASCII, so a letter is never found inside a character.
        const long at = text::findLast(result, std::string_view(&letters[i], 1));
        if (at < 0) {
            continue;
        }
        std::string digits = text::integerText(static_cast<long long>(values[i]));
        if (padding) {
            digits = padLeftZeros(digits, 2);
        }
        result.replace(static_cast<std::size_t>(at), 1, digits);
    }
    return result;
}

std::string padLeftZeros(std::string_view text, int width) {
    const long long missing = static_cast<long long>(width) - static_cast<long long>(text.size());
    std::string result;
    if (missing > 0) {
        result.assign(static_cast<std::size_t>(missing), '0');
    }
    result += text;
    return result;
}

std::int32_t timeTextToSeconds(std::string_view text) {
    if (text.empty()) {
        return 0;
    }
    const std::vector<std::string> pieces = text::split(text, ":");
    double fields[3] = {0, 0, 0};
    for (std::size_t i = 0; i < pieces.size() && i < 3; ++i) {
        fields[i] = text::textToNumber(pieces[i]);
    }
    return clampToInt32(std::trunc(fields[0] * 3600 + fields[1] * 60 + fields[2]));
}

bool isPastTimeOfDay(std::string_view text, const Clock& clock) {
    const std::optional<ClockTime> time = readClockTime(text);
    if (!time || !time->valid()) {
        return false;
    }
    const double input = static_cast<double>(time->secondsOfDay());
    const double current = secondsOfDay(clock);
    return current - input >= -kTolerance;
}

std::string typedClockTime(std::string_view text) {
    const std::optional<ClockTime> time = readClockTime(text);
    if (!time) {
        return {};
    }
    return text::integerText(time->hour) + ":" + text::integerText(time->minute) + ":" +
           text::integerText(time->second);
}

std::int32_t hourField(std::string_view text) {
    // The hour is the first two bytes of the file's double-byte text, so a full-width
    // digit counts as one field character there.
    if (text.size() >= 2 && static_cast<unsigned char>(text[0]) < 0x80 &&
        static_cast<unsigned char>(text[1]) < 0x80) {
        return text::textToInteger(text.substr(0, 2));
    }
    const std::string bytes = text::utf8ToGb18030(text);
    return text::textToInteger(text::gb18030ToUtf8(std::string_view(bytes).substr(0, 2)));
}

DateTime parseDateTime(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') {
        ++i;
    }
    DateTimeParts p;
    if (!readField(text, i, 4, p.year)) {
        return kInvalidDateTime;
    }
    const char separator = i < text.size() ? text[i] : '\0';
    if (separator != '/' && separator != '-') {
        return kInvalidDateTime;
    }
    ++i;
    if (!readField(text, i, 2, p.month) || !expect(text, i, separator) ||
        !readField(text, i, 2, p.day)) {
        return kInvalidDateTime;
    }
    p.hour = p.minute = p.second = 0;
    std::size_t blanks = i;
    while (i < text.size() && text[i] == ' ') {
        ++i;
    }
    if (i < text.size()) {
        if (i == blanks || !readField(text, i, 2, p.hour) || !expect(text, i, ':') ||
            !readField(text, i, 2, p.minute)) {
            return kInvalidDateTime;
        }
        if (expect(text, i, ':') && !readField(text, i, 2, p.second)) {
            return kInvalidDateTime;
        }
        while (i < text.size() && text[i] == ' ') {
            ++i;
        }
        if (i != text.size()) {
            return kInvalidDateTime;
        }
    }
    if (p.year < 100 || p.month < 1 || p.month > 12 || p.day < 1 ||
        p.day > daysInMonth(p.year, p.month) || p.hour > 23 || p.minute > 60 || p.second > 60) {
        return kInvalidDateTime;
    }
    // Minute and second 60 carry into the next field, as a typed kill time may hold them.
    return makeDateTime(p);
}

DateTime dateAnchoredTime(std::string_view clockTimeText, const Clock& clock) {
    DateTimeParts today;
    if (!breakDown(clock.now(), today)) {
        return kInvalidDateTime;
    }
    std::string anchored = std::to_string(today.year) + "/" + std::to_string(today.month) + "/" +
                           std::to_string(today.day) + " ";
    anchored += clockTimeText;
    return parseDateTime(anchored);
}

std::int32_t remainingSeconds(std::string_view lastTime, std::string_view nextTime,
                              std::int32_t periodMinutes, std::int32_t delayMinutes,
                              const Clock& liveClock) {
    const UtcSeconds instant = liveClock.instant();
    const DateTime now = toLocal(instant);
    const FrozenClock clock(instant);
    // The hour of a text with words around its time is the time's hour, as every other
    // reader of a last time sees it.
    const auto hourOf = [](std::string_view text) {
        const std::optional<ClockTime> time = readClockTime(text);
        return time && time->valid() ? time->hour : hourField(text);
    };
    if (hourOf(lastTime) - hourOf(nextTime) > kTolerance) {
        const std::string found = typedClockTime(lastTime);
        DateTime last = dateAnchoredTime(found.empty() ? lastTime : std::string_view(found), clock);
        if (last != kInvalidDateTime) {
            // Past midnight a last time later than the clock is yesterday's kill.
            DateTimeParts p;
            const int lastOfDay = breakDown(last, p) ? p.hour * 3600 + p.minute * 60 + p.second : 0;
            if (lastOfDay > secondsOfDay(clock)) {
                last = addMinutes(last, -24 * 60);
            }
        }
        const DateTime t = addMinutes(last, periodMinutes);
        const double d = std::trunc((t - now) * 86400 + kSecondNudge);
        return clampToInt32(std::trunc(d + static_cast<double>(delayMinutes) * 60));
    }
    const double n = std::trunc(timeTextToSeconds(nextTime) +
                                std::trunc(static_cast<double>(delayMinutes) * 60));
    return clampToInt32(n - secondsOfDay(clock));
}

} // namespace zorvane::schedule
