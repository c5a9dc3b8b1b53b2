#include "app/globals.h"
#include "app/locks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>

using namespace zorvane::app;

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
