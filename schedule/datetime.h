#pragma once
// Date-time values: days since 1899-12-30 00:00:00 local time as a double,
// the fraction being the time of day, kept to whole seconds.
// Why that epoch: see the glossary in ARCHITECTURE.md.

#include <string>

namespace zorvane::schedule {

using DateTime = double;

// 0100-01-01 00:00:00: what reading an unreadable date-time text yields.
inline constexpr DateTime kInvalidDateTime = -657434.0;

struct DateTimeParts {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The value of a calendar date and time; fields out of range carry into the next
// larger field (minute 60 is the next hour). Valid for years 100..9999.
DateTime makeDateTime(const DateTimeParts& parts);

// Breaks a value down to whole seconds (rounded to the nearest second).
// False for values outside years 100..9999.
bool breakDown(DateTime value, DateTimeParts& parts);

// Calendar arithmetic on whole minutes; a negative amount subtracts.
DateTime addMinutes(DateTime value, long long minutes);

// "hh:mm:ss" on a 24-hour clock, "" when the value cannot be broken down.
std::string clockTimeText(DateTime value);

} // namespace zorvane::schedule
