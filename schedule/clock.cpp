#include "schedule/clock.h"

#include <ctime>

namespace zorvane::schedule {

UtcSeconds SystemClock::instant() const {
    return static_cast<UtcSeconds>(std::time(nullptr));
}

} // namespace zorvane::schedule
