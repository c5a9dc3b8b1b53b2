#include "schedule/instant.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace zorvane::schedule {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
// Days from 1899-12-30 (day 0 of date-time values) to 1970-01-01.
constexpr std::int64_t kUnixEpochDays = 25569;

// Seconds since 1970-01-01 of a calendar date and time read as UTC (no time zone).
std::int64_t civilSeconds(const DateTimeParts& p) {
    return std::llround(makeDateTime(p) * kSecondsPerDay) - kUnixEpochDays * kSecondsPerDay;
}

DateTimeParts civilParts(std::int64_t seconds) {
    DateTimeParts p;
    breakDown(static_cast<double>(seconds + kUnixEpochDays * kSecondsPerDay) / kSecondsPerDay, p);
    return p;
}

bool localParts(std::int64_t instant, std::tm& local) {
    const std::time_t t = static_cast<std::time_t>(instant);
#ifdef _WIN32
    return localtime_s(&local, &t) == 0;
#else
    return localtime_r(&t, &local) != nullptr;
#endif
}

// The C library's form of a clock reading, for mktime.
std::tm tmOf(const DateTimeParts& p, int isDst) {
    std::tm tm{};
    tm.tm_year = p.year - 1900;
    tm.tm_mon = p.month - 1;
    tm.tm_mday = p.day;
    tm.tm_hour = p.hour;
    tm.tm_min = p.minute;
    tm.tm_sec = p.second;
    tm.tm_isdst = isDst;
    return tm;
}

bool sameReading(const std::tm& local, const DateTimeParts& p) {
    return local.tm_year + 1900 == p.year && local.tm_mon + 1 == p.month &&
           local.tm_mday == p.day && local.tm_hour == p.hour && local.tm_min == p.minute &&
           local.tm_sec == p.second;
}

bool digitsAt(std::string_view text, std::size_t at, std::size_t count, int& value) {
    if (at + count > text.size()) {
        return false;
    }
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

} // namespace

UtcSeconds toUtc(DateTime local) {
    DateTimeParts p;
    if (!breakDown(local, p)) {
        return civilSeconds({});
    }
    std::tm tm = tmOf(p, -1);
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1)) {
        // Outside what the C library handles: take the local time as UTC.
        return civilSeconds(p);
    }
    return static_cast<UtcSeconds>(t);
}

std::vector<UtcSeconds> instantsOf(DateTime local) {
    std::vector<UtcSeconds> found;
    DateTimeParts p;
    if (!breakDown(local, p)) {
        return found;
    }
#ifdef _WIN32
    // Without the zone's offsets at hand, each of the two readings the C library knows.
    for (const int dst : {1, 0}) {
        std::tm tm = tmOf(p, dst);
        const std::time_t t = std::mktime(&tm);
        std::tm back{};
        if (t != static_cast<std::time_t>(-1) && localParts(t, back) && sameReading(back, p)) {
            found.push_back(static_cast<UtcSeconds>(t));
        }
    }
#else
    const std::int64_t asUtc = civilSeconds(p);
    // The zone's offsets a day either side cover every change that can make this
    // reading occur twice or not at all; each offset gives at most one instant.
    std::array<long, 3> offsets{};
    std::size_t count = 0;
    for (const std::int64_t probe : {asUtc - 86400, asUtc, asUtc + 86400}) {
        std::tm around{};
        if (!localParts(probe, around)) {
            continue;
        }
        if (std::find(offsets.begin(), offsets.begin() + count, around.tm_gmtoff) ==
            offsets.begin() + count) {
            offsets[count++] = around.tm_gmtoff;
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        const std::int64_t candidate = asUtc - offsets[i];
        std::tm back{};
        if (localParts(candidate, back) && back.tm_gmtoff == offsets[i] && sameReading(back, p)) {
            found.push_back(candidate);
        }
    }
#endif
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

std::optional<UtcSeconds> latestInstantOf(DateTime local, UtcSeconds limit) {
    const std::vector<UtcSeconds> instants = instantsOf(local);
    if (instants.empty()) {
        // Skipped by the clocks: where the C library moves it.
        const UtcSeconds moved = toUtc(local);
        return moved <= limit ? std::optional(moved) : std::nullopt;
    }
    for (auto it = instants.rbegin(); it != instants.rend(); ++it) {
        if (*it <= limit) {
            return *it;
        }
    }
    return std::nullopt;
}

DateTime toLocal(UtcSeconds instant) {
    std::tm local{};
    if (!localParts(instant, local)) {
        return kInvalidDateTime;
    }
    if (local.tm_year + 1900 < 100 || local.tm_year + 1900 > 9999) {
        return kInvalidDateTime;
    }
    return makeDateTime({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                         local.tm_min, local.tm_sec});
}

std::string utcText(UtcSeconds instant) {
    const DateTimeParts p = civilParts(instant);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02dZ", p.year, p.month, p.day,
                  p.hour, p.minute, p.second);
    return buffer;
}

std::optional<UtcSeconds> parseUtcText(std::string_view text) {
    DateTimeParts p;
    if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
        text[13] != ':' || text[16] != ':' || text[19] != 'Z' || !digitsAt(text, 0, 4, p.year) ||
        !digitsAt(text, 5, 2, p.month) || !digitsAt(text, 8, 2, p.day) ||
        !digitsAt(text, 11, 2, p.hour) || !digitsAt(text, 14, 2, p.minute) ||
        !digitsAt(text, 17, 2, p.second)) {
        return std::nullopt;
    }
    if (p.year < 1970 || p.month < 1 || p.month > 12 || p.day < 1 || p.day > 31 || p.hour > 23 ||
        p.minute > 59 || p.second > 59) {
        return std::nullopt;
    }
    const std::int64_t seconds = civilSeconds(p);
    // A day beyond the month's end (2027-02-30) would carry into the next month.
    if (civilParts(seconds).day != p.day) {
        return std::nullopt;
    }
    return seconds;
}

std::int64_t localOffsetAt(UtcSeconds instant) {
    constexpr std::int64_t kSecondsPerDay = 86400;
    constexpr std::int64_t kUnixEpochDays = 25569; // 1899-12-30 to 1970-01-01
    return std::llround(toLocal(instant) * kSecondsPerDay) - kUnixEpochDays * kSecondsPerDay -
           instant;
}

} // namespace zorvane::schedule
