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

    schedule::DateTime now() const override {
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

    void set(const schedule::DateTimeParts& parts) {
        const std::lock_guard lock(m_mutex);
        m_now = schedule::makeDateTime(parts);
    }
    // The test day at the given clock time.
    void set(int hour, int minute, int second) {
        schedule::DateTimeParts parts = kTestDay;
        parts.hour = hour;
        parts.minute = minute;
        parts.second = second;
        set(parts);
    }
    // Moves the clock by whole seconds (back when negative), across days as the
    // calendar does.
    void advance(long long seconds) {
        const std::lock_guard lock(m_mutex);
        schedule::DateTimeParts parts;
        schedule::breakDown(m_now, parts);
        const long long total = parts.second + seconds;
        // Carry whole minutes so that no field overflows an int.
        long long minutes = total / 60;
        long long rest = total % 60;
        if (rest < 0) {
            rest += 60;
            --minutes;
        }
        parts.second = static_cast<int>(rest);
        m_now = schedule::addMinutes(schedule::makeDateTime(parts), minutes);
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
    schedule::DateTime m_now = 0;
    mutable int m_readings = 0;
    std::function<void(int)> m_onRead;
};

// A clock standing on the test day at the given clock time.
inline FakeClock clockAt(int hour, int minute, int second) {
    return FakeClock(hour, minute, second);
}

} // namespace zorvane::testing
