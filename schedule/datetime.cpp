#include "schedule/datetime.h"

#include <cmath>
#include <cstdio>

namespace zorvane::schedule {
namespace {

constexpr long long kSecondsPerDay = 86400;
// Days from 0000-03-01 (proleptic Gregorian) to 1899-12-30.
constexpr long long kEpochDays = 693899;

// Days since 0000-03-01 of a proleptic Gregorian date (month 1..12, any day count).
long long daysFromCivil(long long y, long long m, long long d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe;
}

void civilFromDays(long long z, int& year, int& month, int& day) {
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

long long toSeconds(DateTime value) {
    return std::llround(value * kSecondsPerDay);
}

DateTime fromSeconds(long long seconds) {
    return static_cast<double>(seconds) / kSecondsPerDay;
}

} // namespace

DateTime makeDateTime(const DateTimeParts& p) {
    // Normalise the month first so that daysFromCivil sees 1..12; days carry freely.
    long long months = static_cast<long long>(p.year) * 12 + (p.month - 1);
    const long long year = months >= 0 ? months / 12 : (months - 11) / 12;
    const long long month = months - year * 12 + 1;
    const long long days = daysFromCivil(year, month, 1) + (p.day - 1) - kEpochDays;
    const long long seconds = days * kSecondsPerDay + static_cast<long long>(p.hour) * 3600 +
                              static_cast<long long>(p.minute) * 60 + p.second;
    return fromSeconds(seconds);
}

bool breakDown(DateTime value, DateTimeParts& parts) {
    if (!std::isfinite(value) || value < kInvalidDateTime || value >= 2958466.0) {
        return false;
    }
    const long long seconds = toSeconds(value);
    long long days =
        seconds >= 0 ? seconds / kSecondsPerDay : (seconds - (kSecondsPerDay - 1)) / kSecondsPerDay;
    const long long secondOfDay = seconds - days * kSecondsPerDay;
    civilFromDays(days + kEpochDays, parts.year, parts.month, parts.day);
    parts.hour = static_cast<int>(secondOfDay / 3600);
    parts.minute = static_cast<int>(secondOfDay % 3600 / 60);
    parts.second = static_cast<int>(secondOfDay % 60);
    return true;
}

DateTime addMinutes(DateTime value, long long minutes) {
    return fromSeconds(toSeconds(value) + minutes * 60);
}

std::string clockTimeText(DateTime value) {
    DateTimeParts p;
    if (!breakDown(value, p)) {
        return {};
    }
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", p.hour, p.minute, p.second);
    return buffer;
}

} // namespace zorvane::schedule
