#include "periodic/globals.h"
#include "periodic/locks.h"
#include "work/worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace zorvane::periodic;

TEST(Locks, CriticalSectionLockIsReentrantAndExcludesOtherThreads) {
    CriticalSectionLock lock;
    lock.enter();
    EXPECT_TRUE(lock.tryEnter());
    auto other = std::async(std::launch::async, [&] { return lock.tryEnter(); });
    EXPECT_FALSE(other.get());
    lock.leave();
    lock.leave();
    auto later = std::async(std::launch::async, [&] {
        const bool entered = lock.tryEnter();
        if (entered) {
            lock.leave();
        }
        return entered;
    });
    EXPECT_TRUE(later.get());
}

TEST(Locks, SectionsAndThreadsFromTheGlobals) {
    AppGlobals globals;
    EXPECT_EQ(globals.announcementSection(), nullptr);
    Section section = createSection(globals.createdSections());
    globals.announcementSection() = section;
    EXPECT_EQ(globals.createdSections().size(), 1u);
    std::atomic<long> seen{-1};
    std::thread::id id;
    globals.announcementThread() = startThread(
        [&](long parameter) {
            enterSection(globals.announcementSection());
            seen = parameter;
            leaveSection(globals.announcementSection());
        },
        7, &id);
    EXPECT_EQ(id, globals.announcementThread().get_id());
    globals.teardown();
    EXPECT_EQ(seen, 7);
    EXPECT_FALSE(globals.announcementThread().joinable());
}

// The two timers' workers are called by what they drive, so a thread list tells them apart.
TEST(Locks, TheTimersOfTheGlobalsNameTheirWorkers) {
    AppGlobals globals;
    std::promise<std::string> tick;
    std::promise<std::string> clock;
    std::once_flag tickOnce;
    std::once_flag clockOnce;
    globals.tickTimer().start(
        [&](std::intptr_t) {
            std::call_once(tickOnce, [&] { tick.set_value(zorvane::work::thisThreadName()); });
        },
        1000);
    globals.clockTimer().start(
        [&](std::intptr_t) {
            std::call_once(clockOnce, [&] { clock.set_value(zorvane::work::thisThreadName()); });
        },
        1000);
    EXPECT_EQ(tick.get_future().get(), "tick");
    EXPECT_EQ(clock.get_future().get(), "clock");
    globals.teardown();
}

TEST(Locks, TheTimersOfTheGlobalsBeatTogether) {
    // The tick and the clock wake at one moment, so the window thread is woken once for
    // both: with a 100 ms interval each call after the first lands in the first half of an
    // interval past the shared phase (a busy machine may wake one late now and then).
    AppGlobals globals;
    constexpr int kInterval = 100;
    std::mutex mutex;
    std::vector<std::int64_t> tickAt;
    std::vector<std::int64_t> clockAt;
    const auto recorder = [&](std::vector<std::int64_t>& calls) {
        return [&](std::intptr_t) {
            const std::lock_guard lock(mutex);
            calls.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::system_clock::now().time_since_epoch())
                                .count());
        };
    };
    // Started 30 ms apart: without beats they would stay 30 ms apart.
    globals.tickTimer().start(recorder(tickAt), kInterval);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    globals.clockTimer().start(recorder(clockAt), kInterval);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (std::chrono::steady_clock::now() < deadline) {
        {
            const std::lock_guard lock(mutex);
            if (tickAt.size() >= 6 && clockAt.size() >= 6) {
                break;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    globals.teardown();
    for (const std::vector<std::int64_t>* calls : {&tickAt, &clockAt}) {
        ASSERT_GE(calls->size(), 6U);
        int onBeat = 0;
        for (std::size_t i = 1; i < calls->size(); ++i) {
            const std::int64_t past =
                (((*calls)[i] - kBeatPhaseMs) % kInterval + kInterval) % kInterval;
            onBeat += past < kInterval / 4 ? 1 : 0;
        }
        EXPECT_GE(onBeat, static_cast<int>(calls->size()) - 2);
    }
}
