#include "schedule/serverzone.h"

#include <date/date.h>
#include <date/tz.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <exception>

namespace zorvane::schedule {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr int kLongestOffsetMinutes = 18 * 60;

date::sys_seconds sysSeconds(UtcSeconds instant) {
    return date::sys_seconds{std::chrono::seconds{instant}};
}

// The C library's view of the computer's zone at `instant`; false when it cannot say.
bool localParts(UtcSeconds instant, std::tm& out) {
    const std::time_t t = static_cast<std::time_t>(instant);
#ifdef _WIN32
    return localtime_s(&out, &t) == 0;
#else
    return localtime_r(&t, &out) != nullptr;
#endif
}

std::string offsetText(std::int32_t seconds) {
    const int minutes = seconds / 60;
    const int magnitude = minutes < 0 ? -minutes : minutes;
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "UTC%c%02d:%02d", minutes < 0 ? '-' : '+', magnitude / 60,
                  magnitude % 60);
    return buffer;
}

// "+8", "-03:30", "+0530" after an optional "UTC" or "GMT"; nullopt for anything else.
std::optional<int> readOffsetMinutes(std::string_view text) {
    for (const std::string_view prefix : {"UTC", "GMT"}) {
        if (text.substr(0, prefix.size()) == prefix) {
            text.remove_prefix(prefix.size());
            if (text.empty()) {
                return 0;
            }
            break;
        }
    }
    if (text.size() < 2 || (text[0] != '+' && text[0] != '-')) {
        return std::nullopt;
    }
    const int sign = text[0] == '-' ? -1 : 1;
    text.remove_prefix(1);
    std::string digits;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ':' && i > 0 && i + 3 == text.size()) {
            continue;
        }
        if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
        digits += text[i];
    }
    int hours = 0;
    int minutes = 0;
    if (digits.size() <= 2) {
        hours = std::stoi(digits);
    } else if (digits.size() <= 4) {
        hours = std::stoi(digits.substr(0, digits.size() - 2));
        minutes = std::stoi(digits.substr(digits.size() - 2));
    } else {
        return std::nullopt;
    }
    if (minutes > 59) {
        return std::nullopt;
    }
    return sign * (hours * 60 + minutes);
}

} // namespace

std::int64_t dayNumberOf(int year, int month, int day) {
    const date::sys_days days{date::year{year} / date::month{static_cast<unsigned>(month)} /
                              date::day{static_cast<unsigned>(day)}};
    return days.time_since_epoch().count();
}

WallTime wallDay(std::int64_t dayNumber) {
    const date::sys_days days{date::days{dayNumber}};
    const date::year_month_day ymd{days};
    WallTime wall;
    wall.year = static_cast<int>(ymd.year());
    wall.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
    wall.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
    // iso_encoding: Monday 1 .. Sunday 7.
    wall.weekday = static_cast<int>(date::weekday{days}.iso_encoding()) - 1;
    wall.dayNumber = dayNumber;
    return wall;
}

std::optional<ServerZone> ServerZone::fixed(int offsetMinutes) {
    if (offsetMinutes < -kLongestOffsetMinutes || offsetMinutes > kLongestOffsetMinutes) {
        return std::nullopt;
    }
    ServerZone zone;
    zone.m_kind = Kind::Fixed;
    zone.m_offsetSeconds = offsetMinutes * 60;
    return zone;
}

std::optional<ServerZone> ServerZone::named(std::string_view name) {
    if (name.empty()) {
        return std::nullopt;
    }
    try {
        ServerZone zone;
        zone.m_kind = Kind::Named;
        zone.m_zone = date::locate_zone(name);
        return zone;
    } catch (const std::exception&) {
        // Not in the system's tzdata (or no tzdata at all).
        return std::nullopt;
    }
}

std::optional<ServerZone> ServerZone::fromText(std::string_view text) {
    if (text.empty()) {
        return local();
    }
    if (const std::optional<int> minutes = readOffsetMinutes(text)) {
        return fixed(*minutes);
    }
    return named(text);
}

std::string ServerZone::text() const {
    switch (m_kind) {
    case Kind::Local:
        return {};
    case Kind::Fixed:
        return offsetText(m_offsetSeconds);
    case Kind::Named:
        return std::string(m_zone->name());
    }
    return {};
}

bool ServerZone::operator==(const ServerZone& other) const {
    return m_kind == other.m_kind && m_offsetSeconds == other.m_offsetSeconds &&
           m_zone == other.m_zone;
}

std::int32_t ServerZone::offsetAt(UtcSeconds instant) const {
    switch (m_kind) {
    case Kind::Local: {
        std::tm tm{};
        if (!localParts(instant, tm)) {
            return 0;
        }
#ifdef _WIN32
        long bias = 0;
        _get_timezone(&bias);
        return static_cast<std::int32_t>(-bias + (tm.tm_isdst > 0 ? 3600 : 0));
#else
        return static_cast<std::int32_t>(tm.tm_gmtoff);
#endif
    }
    case Kind::Fixed:
        return m_offsetSeconds;
    case Kind::Named:
        return static_cast<std::int32_t>(m_zone->get_info(sysSeconds(instant)).offset.count());
    }
    return 0;
}

WallTime ServerZone::wallTime(UtcSeconds instant) const {
    const std::int64_t wall = instant + offsetAt(instant);
    // Floor division, so instants before 1970 land on the right day.
    std::int64_t day = wall / kSecondsPerDay;
    if (wall % kSecondsPerDay < 0) {
        --day;
    }
    WallTime time = wallDay(day);
    time.secondsOfDay = static_cast<std::int32_t>(wall - day * kSecondsPerDay);
    return time;
}

std::vector<UtcSeconds> ServerZone::instantsOf(std::int64_t dayNumber,
                                               std::int32_t secondsOfDay) const {
    const std::int64_t wall = dayNumber * kSecondsPerDay + secondsOfDay;
    // The offsets in force a day either side cover every reading of a wall time, since no
    // zone changes its offset twice within two days.
    std::vector<UtcSeconds> found;
    for (const std::int64_t probe : {wall - kSecondsPerDay, wall + kSecondsPerDay}) {
        const UtcSeconds candidate = wall - offsetAt(probe);
        if (candidate + offsetAt(candidate) == wall) {
            found.push_back(candidate);
        }
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

std::string ServerZone::clockText(UtcSeconds instant) const {
    const std::int32_t seconds = wallTime(instant).secondsOfDay;
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
    return buffer;
}

const ServerZone& beijingZone() {
    static const ServerZone zone =
        ServerZone::named("Asia/Shanghai").value_or(*ServerZone::fixed(8 * 60));
    return zone;
}

std::string ServerZone::abbreviation(UtcSeconds instant) const {
    switch (m_kind) {
    case Kind::Local: {
        std::tm tm{};
        char buffer[64] = {};
        if (localParts(instant, tm) && std::strftime(buffer, sizeof buffer, "%Z", &tm) > 0) {
            return buffer;
        }
        return offsetText(offsetAt(instant));
    }
    case Kind::Fixed:
        return offsetText(m_offsetSeconds);
    case Kind::Named: {
        std::string abbrev = m_zone->get_info(sysSeconds(instant)).abbrev;
        // tzdata writes "+08" where a zone has no letters of its own.
        if (abbrev.empty() || abbrev[0] == '+' || abbrev[0] == '-') {
            return offsetText(offsetAt(instant));
        }
        return abbrev;
    }
    }
    return {};
}

} // namespace zorvane::schedule
