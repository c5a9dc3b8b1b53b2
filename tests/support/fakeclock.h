#pragma once
// The one test clock: it stands still until a test sets or advances it. Safe to read
// from any thread, since timers and the tick read it from their workers while the test
// thread moves it.

#include "schedule/clock.h"

#include <functional>
#include <mutex>
#include <utility>

namespace zorvane::testing {

// The day every test clock stands on unless a test names another.
inline constexpr schedule::DateTimeParts kTestDay{2026, 12, 7, 0, 0, 0};

class FakeClock final : public schedule::Clock {
public:
    // The test day at the given clock time.
    explicit FakeClock(int hour = 10, int minute = 0, int second = 0) { set(hour, minute, second); }
    explicit FakeClock(const schedule::DateTimeParts& parts) { set(parts); }
    FakeClock(const FakeClock&) = delete;
    FakeClock& operator=(const FakeClock&) = delete;

    schedule::UtcSeconds instant() const override {
        std::unique_lock lock(m_mutex);
        const int reading = ++m_readings;
        const std::function<void(int)> hook = m_onRead;
        // Unlocked while the hook runs, so that it may move the clock.
        lock.unlock();
        if (hook) {
            hook(reading);
        }
        lock.lock();
        return m_now;
    }

    // The local reading `parts`; in the hour the clocks are set back, the C library's pick
    // of its two instants (setInstant chooses).
    void set(const schedule::DateTimeParts& parts) {
        setInstant(schedule::toUtc(schedule::makeDateTime(parts)));
    }
    void setInstant(schedule::UtcSeconds instant) {
        const std::lock_guard lock(m_mutex);
        m_now = instant;
    }
    // The test day at the given clock time.
    void set(int hour, int minute, int second) {
        schedule::DateTimeParts parts = kTestDay;
        parts.hour = hour;
        parts.minute = minute;
        parts.second = second;
        set(parts);
    }
    // Moves the clock by whole seconds (back when negative), as time passes: across a
    // change of the clocks the local reading moves by the change as well.
    void advance(long long seconds) {
        const std::lock_guard lock(m_mutex);
        m_now += seconds;
    }

    // Runs `hook(n)` at the n-th reading (counted from 1) before that reading returns,
    // so a test can act at a chosen moment of the code under test; an empty function
    // removes it.
    void onRead(std::function<void(int reading)> hook) {
        const std::lock_guard lock(m_mutex);
        m_onRead = std::move(hook);
    }
    // How often the clock has been read.
    int readings() const {
        const std::lock_guard lock(m_mutex);
        return m_readings;
    }

private:
    mutable std::mutex m_mutex;
    schedule::UtcSeconds m_now = 0;
    mutable int m_readings = 0;
    std::function<void(int)> m_onRead;
};

// A clock standing on the test day at the given clock time.
inline FakeClock clockAt(int hour, int minute, int second) {
    return FakeClock(hour, minute, second);
}

} // namespace zorvane::testing
