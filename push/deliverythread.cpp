#include "push/deliverythread.h"

#ifdef __linux__
#include <pthread.h>
#endif

namespace zorvane::push {

DeliveryThread::DeliveryThread(std::string name, PushClock& clock, Pass pass)
    : m_name(std::move(name)), m_clock(clock), m_pass(std::move(pass)) {}

DeliveryThread::~DeliveryThread() {
    stop();
}

void DeliveryThread::wake() {
    const std::lock_guard lock(m_mutex);
    if (m_stopping) {
        return;
    }
    m_woken = true;
    if (!m_thread.joinable()) {
        m_thread = std::thread([this] { run(); });
    }
    m_wake.notify_one();
}

void DeliveryThread::stop() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_wake.notify_one();
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void DeliveryThread::run() {
#ifdef __linux__
    // Fifteen bytes at most; shown by top -H and in /proc/<pid>/task/*/comm.
    pthread_setname_np(pthread_self(), m_name.substr(0, 15).c_str());
#endif
    std::unique_lock lock(m_mutex);
    std::optional<PushClock::TimePoint> again;
    while (!m_stopping) {
        if (m_woken || (again && m_clock.now() >= *again)) {
            m_woken = false;
            lock.unlock();
            again = m_pass();
            lock.lock();
            continue;
        }
        if (again) {
            m_clock.waitUntil(lock, m_wake, *again);
        } else {
            m_wake.wait(lock);
        }
    }
}

} // namespace zorvane::push
