#include "schedule/clock.h"

#include <ctime>

namespace zorvane::schedule {

DateTime SystemClock::now() const {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    return makeDateTime({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                         local.tm_min, local.tm_sec});
}

} // namespace zorvane::schedule
