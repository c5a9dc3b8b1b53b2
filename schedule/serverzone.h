#pragma once
// The time zone a boss's server keeps, in which its spawn times are read: the computer's
// own zone (the C library's, so TZ is honoured), an IANA zone from the system's tzdata, or
// a fixed offset from UTC with no daylight saving.

#include "schedule/instant.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace date {
class time_zone;
}

namespace zorvane::schedule {

// A reading of a zone's wall clock. weekday: 0 Monday .. 6 Sunday.
struct WallTime {
    int year = 1970;
    int month = 1;
    int day = 1;
    int weekday = 3;
    std::int32_t secondsOfDay = 0;
    // Days since 1970-01-01 of the wall date, for stepping across days.
    std::int64_t dayNumber = 0;
};

class ServerZone {
public:
    // The computer's zone.
    ServerZone() = default;
    static ServerZone local() { return {}; }
    // A fixed offset east of UTC, in minutes (-18 h .. +18 h); nullopt beyond.
    static std::optional<ServerZone> fixed(int offsetMinutes);
    // An IANA name known to the system's tzdata; nullopt otherwise.
    static std::optional<ServerZone> named(std::string_view name);
    // The stored form: "" the computer's zone, "UTC+08:00" / "UTC-03:30" a fixed offset
    // ("UTC" alone is +00:00), anything else an IANA name. nullopt when unreadable.
    static std::optional<ServerZone> fromText(std::string_view text);

    // The stored form fromText reads.
    std::string text() const;
    bool isLocal() const { return m_kind == Kind::Local; }
    bool operator==(const ServerZone& other) const;

    // Seconds east of UTC at `instant`.
    std::int32_t offsetAt(UtcSeconds instant) const;
    // The zone's wall clock at `instant`.
    WallTime wallTime(UtcSeconds instant) const;
    // Every instant at which the zone's clock shows `secondsOfDay` on wall day `dayNumber`,
    // earliest first: one as a rule, two in the hour the clocks are set back, none in the
    // hour they skip.
    std::vector<UtcSeconds> instantsOf(std::int64_t dayNumber, std::int32_t secondsOfDay) const;
    // The zone's clock at `instant` as "hh:mm:ss".
    std::string clockText(UtcSeconds instant) const;
    // The zone's short name at `instant` ("CST", "CEST", "UTC+08:00").
    std::string abbreviation(UtcSeconds instant) const;

private:
    enum class Kind { Local, Fixed, Named };
    Kind m_kind = Kind::Local;
    std::int32_t m_offsetSeconds = 0;
    const date::time_zone* m_zone = nullptr;
};

// Beijing time (Asia/Shanghai; UTC+08:00, which it has kept since 1991, where the system
// has no tzdata).
const ServerZone& beijingZone();

// Days since 1970-01-01 of a calendar date, and back.
std::int64_t dayNumberOf(int year, int month, int day);
WallTime wallDay(std::int64_t dayNumber);

} // namespace zorvane::schedule
