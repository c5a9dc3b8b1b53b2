#pragma once
// Where "now" comes from. The schedule code never reads the wall clock itself,
// so that tests can run it at any time of day.

#include "schedule/datetime.h"
#include "schedule/instant.h"

namespace zorvane::schedule {

class Clock {
public:
    virtual ~Clock() = default;
    // The current instant, to whole seconds. Every "now" starts here: a local reading
    // cannot be turned back into an instant in the hour the clocks are set back, when
    // each reading occurs twice.
    virtual UtcSeconds instant() const = 0;
    // The local date-time of one reading of instant(), for what the table shows.
    DateTime now() const { return toLocal(instant()); }
};

// The machine's wall clock.
class SystemClock final : public Clock {
public:
    UtcSeconds instant() const override;
};

// One reading of another clock, so that a computation sees a single "now" even when it
// straddles a second (or midnight).
class FrozenClock final : public Clock {
public:
    explicit FrozenClock(UtcSeconds instant) : m_instant(instant) {}
    UtcSeconds instant() const override { return m_instant; }

private:
    UtcSeconds m_instant;
};

} // namespace zorvane::schedule
