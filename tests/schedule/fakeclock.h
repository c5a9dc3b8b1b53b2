#pragma once
// A clock that stands still at a chosen local date-time.

#include "schedule/clock.h"

namespace zorvane::schedule::testing {

class FakeClock final : public Clock {
public:
    explicit FakeClock(DateTimeParts parts) : m_now(makeDateTime(parts)) {}
    DateTime now() const override { return m_now; }
    void set(DateTimeParts parts) { m_now = makeDateTime(parts); }

private:
    DateTime m_now;
};

// 7 December 2026 at the given clock time.
inline FakeClock clockAt(int hour, int minute, int second) {
    return FakeClock({2026, 12, 7, hour, minute, second});
}

} // namespace zorvane::schedule::testing
