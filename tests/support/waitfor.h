#pragma once
// Polls a condition that another thread or process makes true, for tests of code that
// works in the background (sound devices, helpers, connections).

#include <chrono>
#include <functional>
#include <thread>

namespace zorvane::testing {

// True as soon as `condition` holds; false once `limit` has passed without it. Generous
// limits are fine: a passing test returns at the first check that holds.
inline bool waitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds limit = std::chrono::seconds(60)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

} // namespace zorvane::testing
