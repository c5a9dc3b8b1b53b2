#pragma once
// Where "now" comes from. The schedule code never reads the wall clock itself,
// so that tests can run it at any time of day.

#include "schedule/datetime.h"

namespace zorvane::schedule {

class Clock {
public:
    virtual ~Clock() = default;
    // The current local date-time, to whole seconds.
    virtual DateTime now() const = 0;
};

// The machine's local wall clock.
class SystemClock final : public Clock {
public:
    DateTime now() const override;
};

// One reading of another clock, so that a computation sees a single "now" even when it
// straddles a second (or midnight).
class FrozenClock final : public Clock {
public:
    explicit FrozenClock(DateTime now) : m_now(now) {}
    DateTime now() const override { return m_now; }

private:
    DateTime m_now;
};

} // namespace zorvane::schedule
