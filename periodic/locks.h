#pragma once
// Locks for the periodic work: a re-entrant lock object, and plain sections
// made on demand and owned by one registry that lives until the program ends.
// The Section / CriticalSectionLock names and what the named locks guard: see the
// glossary in ARCHITECTURE.md.

#include <list>
#include <mutex>
#include <thread>

namespace zorvane::periodic {

// A re-entrant lock: the thread that holds it may enter it again.
class CriticalSectionLock {
public:
    void enter() { m_mutex.lock(); }
    void leave() { m_mutex.unlock(); }
    // Enters without blocking; true when entered.
    bool tryEnter() { return m_mutex.try_lock(); }

private:
    std::recursive_mutex m_mutex;
};

// A plain section as handed out by createSection; nullptr stands for the placeholder.
using Section = std::recursive_mutex*;

// Owns every section made by createSection; they are released with it.
using SectionList = std::list<std::recursive_mutex>;

// A new section, owned by `sections`.
Section createSection(SectionList& sections);
void enterSection(Section section);
void leaveSection(Section section);

// Runs handler(parameter) once on a new thread; the caller owns (and joins) it.
// threadId, when given, receives the new thread's id.
template <typename Handler>
std::thread startThread(Handler handler, long parameter = 0, std::thread::id* threadId = nullptr) {
    std::thread thread(std::move(handler), parameter);
    if (threadId) {
        *threadId = thread.get_id();
    }
    return thread;
}

} // namespace zorvane::periodic
