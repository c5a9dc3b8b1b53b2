#include "periodic/globals.h"

namespace zorvane::periodic {

AppGlobals::AppGlobals()
    : m_tickTimer(std::make_unique<IntervalTimer>("tick")),
      m_tickLock(std::make_unique<CriticalSectionLock>()),
      m_clockTimer(std::make_unique<IntervalTimer>("clock")),
      m_createdSections(std::make_unique<SectionList>()),
      m_clockLock(std::make_unique<CriticalSectionLock>()) {
    m_tickTimer->setBeat(kBeatPhaseMs);
    m_clockTimer->setBeat(kBeatPhaseMs);
}

AppGlobals::~AppGlobals() {
    teardown();
}

void AppGlobals::stopWorkers() {
    if (m_tickTimer) {
        m_tickTimer->stop(-1);
    }
    if (m_clockTimer) {
        m_clockTimer->stop(-1);
    }
    m_shuttingDown = true;
    if (m_announcementThread.joinable()) {
        m_announcementThread.join();
    }
    // Nothing is left to cancel; a window made afterwards may fetch again.
    m_shuttingDown = false;
}

void AppGlobals::teardown() {
    stopWorkers();
    m_tickTimer.reset();
    m_tickLock.reset();
    m_announcementSection = nullptr;
    m_clockTimer.reset();
    m_createdSections.reset();
    m_clockLock.reset();
}

} // namespace zorvane::periodic
