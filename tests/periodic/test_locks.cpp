#include "periodic/globals.h"
#include "periodic/locks.h"
#include "work/worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>
#include <string>

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
