#pragma once
// The pusher's clock for tests: it stands still, and a wait for a moment moves it there at
// once and notes how long the wait would have been, so back-off and rate limits run in no
// time and their waits can be checked.

#include "push/pushclock.h"
#include "schedule/instant.h"

#include <mutex>
#include <vector>

namespace zorvane::testing {

class FakePushClock final : public push::PushClock {
public:
    // 2026-12-07 10:00:00 UTC, the day the other test clocks stand on.
    static constexpr std::int64_t kStartUtc = 1796637600;

    TimePoint now() const override {
        const std::lock_guard lock(m_mutex);
        return m_now;
    }
    std::int64_t utcNow() const override {
        const std::lock_guard lock(m_mutex);
        return kStartUtc +
               std::chrono::duration_cast<std::chrono::seconds>(m_now - TimePoint{}).count();
    }
    void waitUntil(std::unique_lock<std::mutex>&, std::condition_variable&,
                   TimePoint until) override {
        const std::lock_guard lock(m_mutex);
        if (until > m_now) {
            m_waits.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(until - m_now));
            m_now = until;
        }
    }

    void advance(std::chrono::milliseconds by) {
        const std::lock_guard lock(m_mutex);
        m_now += by;
    }
    // Every wait the pusher's thread made, in order.
    std::vector<std::chrono::milliseconds> waits() const {
        const std::lock_guard lock(m_mutex);
        return m_waits;
    }

private:
    mutable std::mutex m_mutex;
    TimePoint m_now{};
    std::vector<std::chrono::milliseconds> m_waits;
};

} // namespace zorvane::testing
