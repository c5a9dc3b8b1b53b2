#pragma once
// Time texts and the arithmetic of a boss row's cycle. Every time of day in the
// table is a clock-time text "hh:mm:ss"; periods and delays are whole minutes.

#include "schedule/clock.h"
#include "schedule/datetime.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace zorvane::schedule {

// Date part (datePattern) followed by time part (timePattern), each formatted only
// when its pattern has at least 3 bytes; "" when neither is given or the value
// cannot be broken down. force24Hour makes "hh" give 00-23.
std::string formatDateTime(DateTime value, std::string_view datePattern,
                           std::string_view timePattern, bool force24Hour = false);

// Seconds as text: the last "d", "h", "m" and "s" of the pattern (default
// "d天h小时m分s秒") become days, hours, minutes, seconds; padding makes them two digits.
std::string formatDuration(std::int32_t seconds, std::string_view pattern = {},
                           bool padding = false);

// "0" repeated up to `width` bytes in front of the text.
std::string padLeftZeros(std::string_view text, int width);

// Seconds of the day of "h:m:s"; missing pieces count as 0 ('12:30' gives 45000).
std::int32_t timeTextToSeconds(std::string_view text);

// True when the first "h:m:s" group in the text is a valid time of day (minute and
// second may be 60) not later than now's clock time.
bool isPastTimeOfDay(std::string_view text, const Clock& clock);

// The first "h:m:s" group of a typed text, its fields read as numbers: 'abc 1:2:3 xyz'
// gives '1:2:3', '009:05:00' gives '9:5:0'; "" when there is none.
std::string typedClockTime(std::string_view text);

// Text-to-integer of the first two characters ('07:30:00' gives 7).
std::int32_t hourField(std::string_view text);

// "Y/M/D h:m:s" (one- or two-digit fields, minute and second 60 carry) to a value;
// kInvalidDateTime for anything else.
DateTime parseDateTime(std::string_view text);

// The clock-time text placed on today's date (of `clock`); kInvalidDateTime when unreadable.
DateTime dateAnchoredTime(std::string_view clockTimeText, const Clock& clock);

// Seconds until a row is due, counting its delay; <= 0 when it is due.
std::int32_t remainingSeconds(std::string_view lastTime, std::string_view nextTime,
                              std::int32_t periodMinutes, std::int32_t delayMinutes,
                              const Clock& clock);

} // namespace zorvane::schedule
