#pragma once
// The objects that drive the periodic work. They are made before the main window
// and torn down after it stops using them, in a fixed order: each timer goes
// before the lock its handler takes. Each named lock is taken by one thread only
// (see the glossary in ARCHITECTURE.md).

#include "periodic/intervaltimer.h"
#include "periodic/locks.h"

#include <atomic>
#include <memory>
#include <thread>

namespace zorvane::periodic {

// Both timers beat this long after the system clock's whole intervals: late enough that a
// reading of the clock in seconds gives the new second, early enough that nobody sees a lag.
inline constexpr int kBeatPhaseMs = 5;

class AppGlobals {
public:
    AppGlobals();
    // Runs teardown() if it has not run yet.
    ~AppGlobals();
    AppGlobals(const AppGlobals&) = delete;
    AppGlobals& operator=(const AppGlobals&) = delete;

    // Stops both timers and waits for them and for the announcement thread; after
    // it no handler runs, so the window and what the handlers use may go.
    void stopWorkers();
    // stopWorkers(), then releases every object in creation order.
    void teardown();

    // The tick and the clock beat together (IntervalTimer::setBeat, kBeatPhaseMs): what
    // their handlers hand to the window thread arrives at one moment and is painted at once.
    IntervalTimer& tickTimer() { return *m_tickTimer; }
    CriticalSectionLock& tickLock() { return *m_tickLock; }
    Section& announcementSection() { return m_announcementSection; }
    IntervalTimer& clockTimer() { return *m_clockTimer; }
    SectionList& createdSections() { return *m_createdSections; }
    CriticalSectionLock& clockLock() { return *m_clockLock; }
    // The one announcement thread; joined by stopWorkers().
    std::thread& announcementThread() { return m_announcementThread; }

    // Set by stopWorkers() before it waits for the announcement thread, whose
    // download watches it so that closing the window never waits for the network.
    std::atomic<bool>& shuttingDown() { return m_shuttingDown; }

private:
    std::unique_ptr<IntervalTimer> m_tickTimer;
    std::unique_ptr<CriticalSectionLock> m_tickLock;
    Section m_announcementSection = nullptr;
    std::unique_ptr<IntervalTimer> m_clockTimer;
    std::unique_ptr<SectionList> m_createdSections;
    std::unique_ptr<CriticalSectionLock> m_clockLock;
    std::thread m_announcementThread;

    std::atomic<bool> m_shuttingDown{false};
};

} // namespace zorvane::periodic
