#include "app/killrecords.h"

#include "text/numbers.h"
#include "text/textops.h"

#include <ctime>

namespace zorvane::app {

std::int64_t utcSecondsOfLocal(schedule::DateTime local) {
    schedule::DateTimeParts parts;
    if (!schedule::breakDown(local, parts)) {
        return 0;
    }
    std::tm fields{};
    fields.tm_year = parts.year - 1900;
    fields.tm_mon = parts.month - 1;
    fields.tm_mday = parts.day;
    fields.tm_hour = parts.hour;
    fields.tm_min = parts.minute;
    fields.tm_sec = parts.second;
    fields.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&fields));
}

schedule::KillRecord killRecordOfRow(const schedule::BossRow& row, schedule::DateTime now,
                                     schedule::KillSource source) {
    return schedule::KillRecord{text::trim(row.text[schedule::kNameColumn]),
                                utcSecondsOfLocal(now),
                                text::textToInteger(row.text[schedule::kPeriodColumn]),
                                text::textToInteger(row.text[schedule::kDelayColumn]),
                                source,
                                {}};
}

} // namespace zorvane::app
