#include "periodic/intervaltimer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

using zorvane::periodic::IntervalTimer;
using namespace std::chrono_literals;

namespace {

// Polls until the condition holds or two seconds have passed.
template <typename Predicate> bool eventually(Predicate predicate) {
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (std::chrono::steady_clock::now() < deadline) {
        if (predicate()) {
            return true;
        }
        std::this_thread::sleep_for(1ms);
    }
    return predicate();
}

} // namespace

TEST(IntervalTimer, CallsAtOnceThenRepeatsAndStopEndsTheWorker) {
    IntervalTimer timer;
    std::atomic<int> calls{0};
    std::atomic<std::intptr_t> seen{0};
    const long handle = timer.start(
        [&](std::intptr_t p) {
            seen = p;
            ++calls;
        },
        5, 0, 42);
    EXPECT_GT(handle, 0);
    EXPECT_TRUE(eventually([&] { return calls >= 3; }));
    EXPECT_EQ(seen, 42);
    EXPECT_EQ(timer.stop(), IntervalTimer::kStopped);
    EXPECT_EQ(timer.handle(), 0);
    const int after = calls;
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(calls, after);
}

TEST(IntervalTimer, StartOnRunningTimerKeepsHandlerAndInterval) {
    IntervalTimer timer;
    std::atomic<int> first{0}, second{0};
    const long handle = timer.start([&](std::intptr_t) { ++first; }, 5);
    EXPECT_EQ(timer.start([&](std::intptr_t) { ++second; }, 1), handle);
    EXPECT_TRUE(eventually([&] { return first >= 2; }));
    EXPECT_EQ(second, 0);
    EXPECT_EQ(timer.stop(), IntervalTimer::kStopped);
}

TEST(IntervalTimer, StopWithoutWorkerOrWithoutWait) {
    IntervalTimer idle;
    EXPECT_EQ(idle.stop(), IntervalTimer::kNoWorker);
    EXPECT_EQ(idle.stop(10, true), IntervalTimer::kNoWorker);
    EXPECT_FALSE(idle.pause());
    EXPECT_FALSE(idle.resume());
    EXPECT_FALSE(idle.kill());

    IntervalTimer timer;
    std::atomic<bool> inHandler{false};
    std::atomic<bool> release{false};
    timer.start(
        [&](std::intptr_t) {
            inHandler = true;
            while (!release) {
                std::this_thread::sleep_for(1ms);
            }
        },
        1000);
    ASSERT_TRUE(eventually([&] { return inHandler.load(); }));
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(timer.stop(std::nullopt, true), IntervalTimer::kStopped);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 500ms);
    EXPECT_GT(timer.handle(), 0);
    release = true;
    // The queued wake-up ends the worker at its next sleep, not after the 1000 ms interval.
    EXPECT_TRUE(eventually([&] { return timer.handle() == 0; }));
}

TEST(IntervalTimer, StopThatTimesOutNeverCallsTheHandlerAgain) {
    IntervalTimer timer;
    std::atomic<int> calls{0};
    std::atomic<bool> release{false};
    timer.start(
        [&](std::intptr_t) {
            ++calls;
            while (!release) {
                std::this_thread::sleep_for(1ms);
            }
        },
        1);
    ASSERT_TRUE(eventually([&] { return calls == 1; }));
    EXPECT_EQ(timer.stop(30), IntervalTimer::kTimedOut);
    release = true;
    EXPECT_TRUE(eventually([&] { return timer.handle() == 0; }));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(calls, 1);
}

TEST(IntervalTimer, RestartsAfterTheWorkerEnded) {
    IntervalTimer timer;
    std::atomic<int> calls{0};
    const long first = timer.start([&](std::intptr_t) { ++calls; }, 2);
    ASSERT_TRUE(eventually([&] { return calls >= 1; }));
    ASSERT_EQ(timer.stop(), IntervalTimer::kStopped);
    std::atomic<int> later{0};
    const long second = timer.start([&](std::intptr_t) { ++later; }, 2);
    EXPECT_GT(second, 0);
    EXPECT_NE(second, first);
    EXPECT_TRUE(eventually([&] { return later >= 2; }));
    EXPECT_EQ(timer.stop(), IntervalTimer::kStopped);
}

TEST(IntervalTimer, WakeUpDuringInitialDelayEndsWithoutAHandlerCall) {
    IntervalTimer timer;
    std::atomic<int> calls{0};
    timer.start([&](std::intptr_t) { ++calls; }, 1, 10'000);
    EXPECT_EQ(timer.stop(), IntervalTimer::kStopped);
    EXPECT_EQ(timer.handle(), 0);
    EXPECT_EQ(calls, 0);
}

TEST(IntervalTimer, PauseHoldsTheWorkerAndStopFromPauseEndsIt) {
    IntervalTimer timer;
    std::atomic<int> calls{0};
    timer.start([&](std::intptr_t) { ++calls; }, 1);
    ASSERT_TRUE(eventually([&] { return calls >= 1; }));
    EXPECT_TRUE(timer.pause());
    EXPECT_FALSE(timer.pause());
    std::this_thread::sleep_for(10ms);
    const int held = calls;
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(calls, held);
    EXPECT_TRUE(timer.resume());
    EXPECT_FALSE(timer.resume());
    EXPECT_TRUE(eventually([&] { return calls > held + 1; }));
    EXPECT_TRUE(timer.pause());
    EXPECT_EQ(timer.stop(), IntervalTimer::kStopped);
    EXPECT_EQ(timer.handle(), 0);
}

TEST(IntervalTimer, KillForgetsTheWorkerAndSetIntervalApplies) {
    IntervalTimer timer;
    std::atomic<int> calls{0};
    timer.start([&](std::intptr_t) { ++calls; }, 10'000);
    ASSERT_TRUE(eventually([&] { return calls == 1; }));
    timer.setInterval(1);
    EXPECT_TRUE(timer.kill());
    EXPECT_EQ(timer.handle(), 0);
    EXPECT_FALSE(timer.kill());
    EXPECT_EQ(timer.stop(), IntervalTimer::kNoWorker);
    // A new start after kill joins the old worker and runs the new interval.
    timer.start([&](std::intptr_t) { ++calls; }, 1);
    EXPECT_TRUE(eventually([&] { return calls >= 4; }));
}

TEST(IntervalTimer, SleepUntilTheNextBeat) {
    struct Case {
        const char* what;
        std::int64_t nowMs;
        int intervalMs;
        int phaseMs;
        std::int64_t sleepMs;
    };
    const Case cases[] = {
        {"on a beat: the next one", 10'005, 1000, 5, 1000},
        {"woken a little late", 10'012, 1000, 5, 993},
        {"a handler that ran long", 10'600, 1000, 5, 405},
        {"just before a beat", 10'940, 1000, 5, 65},
        {"a twentieth ahead counts as served", 10'955, 1000, 5, 1050},
        {"woken a little early by the system clock", 10'003, 1000, 5, 1002},
        {"no phase", 10'000, 1000, 0, 1000},
        {"phase beyond the interval wraps", 10'010, 1000, 1010, 1000},
        {"before the epoch", -995, 1000, 5, 1000},
        {"before the epoch, mid-interval", -1500, 1000, 5, 505},
        {"a short interval", 103, 10, 0, 7},
        {"an interval of 1", 41, 1, 0, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IntervalTimer::msUntilBeat(c.nowMs, c.intervalMs, c.phaseMs), c.sleepMs)
            << c.what;
    }
}

TEST(IntervalTimer, BeatingTimerCallsOnTheBeatsAndCanStopBeating) {
    // Calls after the first land on the system clock's beats, whatever the handler costs;
    // the tolerance allows for a busy machine waking the worker late.
    IntervalTimer timer;
    constexpr int kInterval = 100;
    constexpr int kPhase = 7;
    timer.setBeat(kPhase);
    std::mutex mutex;
    std::vector<std::int64_t> calledAtMs;
    timer.start(
        [&](std::intptr_t) {
            const std::lock_guard lock(mutex);
            calledAtMs.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count());
            // A handler taking almost a third of the interval shifts nothing.
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        },
        kInterval);
    ASSERT_TRUE(eventually([&] {
        const std::lock_guard lock(mutex);
        return calledAtMs.size() >= 6;
    }));
    EXPECT_EQ(timer.stop(), IntervalTimer::kStopped);
    int onBeat = 0;
    for (std::size_t i = 1; i < calledAtMs.size(); ++i) {
        const std::int64_t past = ((calledAtMs[i] - kPhase) % kInterval + kInterval) % kInterval;
        onBeat += past < kInterval / 2 ? 1 : 0;
    }
    // Without beats the calls would drift by the handler's 30 ms each round, and about
    // half of them would fall in the second half of an interval.
    EXPECT_GE(onBeat, static_cast<int>(calledAtMs.size()) - 2);

    // Without a phase the timer sleeps a whole interval after each call again.
    timer.setBeat(std::nullopt);
    std::atomic<int> calls{0};
    timer.start([&](std::intptr_t) { ++calls; }, 1);
    EXPECT_TRUE(eventually([&] { return calls >= 3; }));
    EXPECT_EQ(timer.stop(), IntervalTimer::kStopped);
}
