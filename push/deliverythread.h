#pragma once
// A named thread of its own that runs one pass of work whenever it is woken, and again at
// the time the last pass asked for. Waking never blocks on the work: it only sets a flag.

#include "push/pushclock.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace zorvane::push {

class DeliveryThread {
public:
    // Does what is due; returns when to run again, nullopt to sleep until woken.
    using Pass = std::function<std::optional<PushClock::TimePoint>()>;

    // The thread starts with the first wake. `clock` must outlive this object.
    DeliveryThread(std::string name, PushClock& clock, Pass pass);
    ~DeliveryThread();
    DeliveryThread(const DeliveryThread&) = delete;
    DeliveryThread& operator=(const DeliveryThread&) = delete;

    // Any thread: runs a pass soon.
    void wake();
    // Waits for the running pass to end, then ends the thread; later wakes do nothing.
    void stop();

private:
    void run();

    const std::string m_name;
    PushClock& m_clock;
    const Pass m_pass;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_woken = false;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace zorvane::push
