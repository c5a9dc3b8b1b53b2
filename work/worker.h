#pragma once
// One thread of our own with a name, running the tasks handed to it one after another, in
// the order they were posted. Every background writer, reader and speaker of the program
// is one of these, so none of them writes its own queue, wake-up and stop loop again.
//
// The thread starts with the first task (or with start()), so a feature that is never used
// never costs a thread. stop() lets it run what is queued and end; a later task starts a
// new one. Tasks run without any lock of the worker held: a task may post, and what it
// captured is released before the next task starts.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace zorvane::work {

// Names the calling thread as `top -H`, `ps -L` and /proc/<pid>/task/*/comm show it. Linux
// keeps the first 15 bytes; elsewhere it does nothing.
void nameThisThread(const std::string& name);

// The same for a thread the caller started, before it runs anything.
void nameThread(std::thread& thread, const std::string& name);

// The calling thread's name as the system keeps it; empty where there is none.
std::string thisThreadName();

class Worker {
public:
    using Task = std::function<void()>;

    // `name` is given to the thread (see nameThisThread). Nothing is started here.
    explicit Worker(std::string name);
    // stop(): what was posted still runs.
    ~Worker();
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    const std::string& name() const { return m_name; }

    // Queues `task` and starts the thread unless it runs. Any thread, a task of this worker
    // included.
    void post(Task task);
    // Starts the thread unless it runs (for a caller that must not be the one to start it,
    // such as an audio callback).
    void start();
    // Waits until every task posted before the call has run. Called by a task of this
    // worker it returns at once: the tasks after it cannot run before it returns.
    void flush();
    // Lets the thread run every task queued, also those posted meanwhile, and waits for it
    // to end. Not from a task of this worker.
    void stop();

    // Whether the thread runs (started and not stopped).
    bool running() const;
    // Whether the caller is this worker's thread.
    bool onWorkerThread() const;

private:
    // m_mutex held.
    void startLocked();
    void run();

    const std::string m_name;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;     // a task or the stop
    std::condition_variable m_finished; // a task has run, or a stop has ended
    std::deque<Task> m_tasks;
    std::uint64_t m_posted = 0; // tasks posted so far
    std::uint64_t m_done = 0;   // of them, those that have run
    bool m_stopping = false;    // the running thread is to end once the queue is empty
    std::thread m_thread;
    std::thread::id m_threadId;
};

} // namespace zorvane::work
