#pragma once
// What the history keeps of a row when a kill is recorded in it.

#include "schedule/bosstable.h"
#include "schedule/datetime.h"
#include "schedule/services.h"

#include <cstdint>

namespace zorvane::app {

// Seconds since 1970-01-01 UTC of a local date-time; in a repeated hour of a
// daylight-saving change the system picks one of the two.
std::int64_t utcSecondsOfLocal(schedule::DateTime local);

// The row's trimmed name, its period and delay as numbers (text-to-integer), at `now`.
schedule::KillRecord killRecordOfRow(const schedule::BossRow& row, schedule::DateTime now,
                                     schedule::KillSource source);

} // namespace zorvane::app
