#include "periodic/intervaltimer.h"

#include "work/worker.h"

#include <algorithm>
#include <chrono>
#include <system_error>

namespace zorvane::periodic {

IntervalTimer::~IntervalTimer() {
    {
        std::lock_guard lock(m_mutex);
        if (m_handle > 0) {
            m_wakeFor = m_handle;
            m_pauseState = 0;
        }
    }
    m_wake.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void IntervalTimer::joinFinished() {
    // Only called with no live run: the old thread has left (or is leaving) run().
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

long IntervalTimer::start(Handler handler, int intervalMs, int initialDelayMs,
                          std::intptr_t parameter) {
    {
        std::lock_guard lock(m_mutex);
        if (m_handle > 0) {
            return m_handle;
        }
    }
    joinFinished();
    std::lock_guard lock(m_mutex);
    m_handler = std::move(handler);
    m_intervalMs = intervalMs;
    m_initialDelayMs = initialDelayMs;
    m_pauseState = 0;
    const long handle = ++m_lastHandle;
    try {
        m_thread = std::thread(&IntervalTimer::run, this, handle, parameter);
    } catch (const std::system_error&) {
        return 0;
    }
    if (!m_threadName.empty()) {
        work::nameThread(m_thread, m_threadName);
    }
    m_handle = handle;
    return handle;
}

int IntervalTimer::stop(std::optional<int> timeoutMs, bool noWait) {
    std::unique_lock lock(m_mutex);
    const long handle = m_handle;
    if (handle <= 0) {
        return kNoWorker;
    }
    m_wakeFor = handle;
    if (m_pauseState == 1) {
        m_pauseState = 0;
    }
    m_wake.notify_all();
    if (noWait) {
        return kStopped;
    }
    const auto ended = [&] { return m_handle != handle; };
    const int timeout = timeoutMs.value_or(1000);
    if (timeout < 0) {
        m_ended.wait(lock, ended);
        return kStopped;
    }
    return m_ended.wait_for(lock, std::chrono::milliseconds(timeout), ended) ? kStopped : kTimedOut;
}

bool IntervalTimer::pause() {
    std::lock_guard lock(m_mutex);
    if (m_handle <= 0 || m_pauseState != 0) {
        return false;
    }
    m_pauseState = 1;
    return true;
}

bool IntervalTimer::resume() {
    std::lock_guard lock(m_mutex);
    if (m_handle <= 0 || m_pauseState != 1) {
        return false;
    }
    m_pauseState = 0;
    m_wake.notify_all();
    return true;
}

bool IntervalTimer::kill() {
    std::lock_guard lock(m_mutex);
    if (m_handle <= 0) {
        return false;
    }
    // The thread object stays joinable; the next start() or the destructor joins it.
    m_wakeFor = m_handle;
    m_pauseState = 0;
    m_handle = 0;
    m_wake.notify_all();
    m_ended.notify_all();
    return true;
}

void IntervalTimer::setInterval(int intervalMs) {
    std::lock_guard lock(m_mutex);
    m_intervalMs = intervalMs;
}

void IntervalTimer::setBeat(std::optional<int> phaseMs) {
    std::lock_guard lock(m_mutex);
    m_beatPhaseMs = phaseMs;
}

std::int64_t IntervalTimer::msUntilBeat(std::int64_t nowMs, int intervalMs, int phaseMs) {
    const std::int64_t interval = std::max(intervalMs, 1);
    const std::int64_t earliest = nowMs + interval / 20;
    // How far `earliest` lies past the last beat at or before it (never negative).
    const std::int64_t past = ((earliest - phaseMs) % interval + interval) % interval;
    return earliest - past + interval - nowMs;
}

std::int64_t IntervalTimer::sleepAfterCall() const {
    if (!m_beatPhaseMs || m_intervalMs <= 0) {
        return m_intervalMs;
    }
    const std::int64_t nowMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::system_clock::now().time_since_epoch())
                                   .count();
    return msUntilBeat(nowMs, m_intervalMs, *m_beatPhaseMs);
}

long IntervalTimer::handle() const {
    std::lock_guard lock(m_mutex);
    return m_handle;
}

bool IntervalTimer::sleepAlertable(std::unique_lock<std::mutex>& lock, long handle,
                                   std::int64_t ms) {
    const auto woken = [&] { return m_wakeFor == handle; };
    if (ms > 0) {
        if (m_wake.wait_for(lock, std::chrono::milliseconds(ms), woken)) {
            return false;
        }
    } else if (woken()) {
        return false;
    }
    // A paused worker waits here, between two handler calls, until resumed or woken.
    m_wake.wait(lock, [&] { return woken() || m_pauseState != 1; });
    return !woken();
}

void IntervalTimer::run(long handle, std::intptr_t parameter) {
    std::unique_lock lock(m_mutex);
    if (sleepAlertable(lock, handle, m_initialDelayMs)) {
        do {
            Handler handler = m_handler;
            lock.unlock();
            if (handler) {
                handler(parameter);
            }
            lock.lock();
        } while (sleepAlertable(lock, handle, sleepAfterCall()));
    }
    if (m_handle == handle) {
        m_handle = 0;
    }
    m_pauseState = 0;
    m_ended.notify_all();
}

} // namespace zorvane::periodic
