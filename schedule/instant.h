#pragma once
// Instants on the UTC time line, in whole seconds since 1970-01-01 00:00:00 UTC, and
// their conversion to and from the local date-time values the table shows. Cycle
// arithmetic runs on instants, so midnight and daylight-saving changes cost nothing.

#include "schedule/datetime.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zorvane::schedule {

using UtcSeconds = std::int64_t;

// The instant of a local date-time. A local time that occurs twice (clocks set back)
// takes the one the C library picks; one that never occurs (clocks set forward) moves
// forward by the gap.
UtcSeconds toUtc(DateTime local);

// The local date-time of an instant; kInvalidDateTime when the C library cannot break
// it down.
DateTime toLocal(UtcSeconds instant);

// "2026-12-08T14:30:00Z".
std::string utcText(UtcSeconds instant);

// Reads utcText's form (the "Z" and the seconds are required); nullopt otherwise.
std::optional<UtcSeconds> parseUtcText(std::string_view text);

} // namespace zorvane::schedule
