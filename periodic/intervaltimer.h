#pragma once
// A worker thread that calls a handler, sleeps for an interval and repeats until
// another thread wakes it up. Pause, resume and kill are cooperative: they take
// effect between handler calls, never in the middle of one.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

namespace zorvane::periodic {

class IntervalTimer {
public:
    using Handler = std::function<void(std::intptr_t parameter)>;

    // Result codes of stop(); 258 is kept on purpose (see the glossary in ARCHITECTURE.md).
    static constexpr int kNoWorker = -1;
    static constexpr int kStopped = 0;
    static constexpr int kTimedOut = 258;

    // `threadName` names the worker thread (see work::nameThisThread); empty: no name.
    explicit IntervalTimer(std::string threadName = {}) : m_threadName(std::move(threadName)) {}
    // Wakes the worker and waits for it, so no handler ever runs on a destroyed timer.
    ~IntervalTimer();
    IntervalTimer(const IntervalTimer&) = delete;
    IntervalTimer& operator=(const IntervalTimer&) = delete;

    // Starts a worker that calls handler(parameter) after initialDelayMs and then
    // every intervalMs. Returns the worker's handle (> 0), or 0 when no thread could
    // be made. On a running timer nothing changes and the running handle is returned.
    long start(Handler handler, int intervalMs = 0, int initialDelayMs = 0,
               std::intptr_t parameter = 0);

    // Wakes the worker so it ends at its next sleep. Without noWait, waits up to
    // timeoutMs (1000 when omitted, forever when negative) for it to end.
    // Returns kNoWorker, kStopped or kTimedOut; a paused worker is let go first.
    int stop(std::optional<int> timeoutMs = std::nullopt, bool noWait = false);

    // Holds the worker before its next handler call; false when there is no worker
    // or it is already paused.
    bool pause();
    // Lets a paused worker go on; false when it is not paused.
    bool resume();
    // Forgets the worker at once (it ends without another handler call); false
    // when there is no worker.
    bool kill();

    // Takes effect at the worker's next sleep.
    void setInterval(int intervalMs);

    // With a phase, each call after the first comes on the next beat of the system clock,
    // phaseMs past a whole multiple of the interval, instead of an interval after the
    // last call ended: the calls keep step with the clock's seconds instead of drifting
    // (one a second never skips or repeats a second), and timers with the same interval
    // and phase wake together, so the window thread is woken once for both. Nullopt (the
    // default): an interval after each call. Takes effect at the worker's next sleep.
    void setBeat(std::optional<int> phaseMs);

    // How long to sleep from `nowMs` (milliseconds of the system clock) until the next
    // beat. A beat no more than a twentieth of the interval ahead counts as the one just
    // served (a wake a little early by the system clock), so no beat is served twice.
    static std::int64_t msUntilBeat(std::int64_t nowMs, int intervalMs, int phaseMs);

    // The worker's handle, 0 when there is none.
    long handle() const;

private:
    void run(long handle, std::intptr_t parameter);
    // Sleeps up to ms; false when a wake-up ended the sleep.
    bool sleepAlertable(std::unique_lock<std::mutex>& lock, long handle, std::int64_t ms);
    // The sleep after a handler call: the interval, or until the next beat. Caller holds
    // m_mutex.
    std::int64_t sleepAfterCall() const;
    void joinFinished();

    const std::string m_threadName;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_ended;
    Handler m_handler;
    int m_intervalMs = 0;
    int m_initialDelayMs = 0;
    std::optional<int> m_beatPhaseMs;
    long m_handle = 0;
    long m_lastHandle = 0;
    // Handle of the run a wake-up was queued to; a new run starts without one.
    long m_wakeFor = 0;
    int m_pauseState = 0;
    std::thread m_thread;
};

} // namespace zorvane::periodic
