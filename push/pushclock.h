#pragma once
// The pusher's time: a steady clock for back-off and rate limits, the UTC wall clock for
// what the texts say, and the wait between them, so tests run hours of back-off at once.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace zorvane::push {

class PushClock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~PushClock() = default;
    virtual TimePoint now() const = 0;
    // Seconds since 1970 UTC.
    virtual std::int64_t utcNow() const = 0;
    // Waits on `wake` (with `lock` held on entry and return) until `until` or a notification.
    virtual void waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake,
                           TimePoint until) = 0;
};

class SystemPushClock final : public PushClock {
public:
    TimePoint now() const override { return std::chrono::steady_clock::now(); }
    std::int64_t utcNow() const override {
        return std::chrono::duration_cast<std::chrono::seconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    }
    void waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake,
                   TimePoint until) override {
        wake.wait_until(lock, until);
    }
};

} // namespace zorvane::push
