#pragma once
// Instants on the UTC time line, in whole seconds since 1970-01-01 00:00:00 UTC, and
// their conversion to and from the local date-time values the table shows. Cycle
// arithmetic runs on instants, so midnight and daylight-saving changes cost nothing.

#include "schedule/datetime.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorvane::schedule {

using UtcSeconds = std::int64_t;

// The instant of a local date-time. A local time that occurs twice (clocks set back)
// takes the one the C library picks; one that never occurs (clocks set forward) moves
// forward by the gap. Only for readings that carry no instant (a clock time typed or
// stored as text): "now" comes from Clock::instant, never from a local reading.
UtcSeconds toUtc(DateTime local);

// Every instant whose local date-time is `local`, earliest first: one as a rule, two in
// the hour the clocks are set back, none in the hour they skip.
std::vector<UtcSeconds> instantsOf(DateTime local);

// The latest instant not after `limit` whose local date-time is `local`; in the hour the
// clocks skip, the instant toUtc moves it to, when that is not after `limit`. nullopt
// when the local time lies after `limit` on every reading.
std::optional<UtcSeconds> latestInstantOf(DateTime local, UtcSeconds limit);

// The local date-time of an instant; kInvalidDateTime when the C library cannot break
// it down.
DateTime toLocal(UtcSeconds instant);
// Seconds the computer's zone is ahead of UTC at `instant`; a change between two passes
// means the zone or its daylight-saving offset changed.
std::int64_t localOffsetAt(UtcSeconds instant);

// "2026-12-08T14:30:00Z".
std::string utcText(UtcSeconds instant);

// Reads utcText's form (the "Z" and the seconds are required); nullopt otherwise.
std::optional<UtcSeconds> parseUtcText(std::string_view text);

} // namespace zorvane::schedule
