#include "work/worker.h"

#include <utility>

#ifdef __linux__
#include <pthread.h>
#endif

namespace zorvane::work {

namespace {

void nameHandle([[maybe_unused]] std::thread::native_handle_type thread,
                [[maybe_unused]] const std::string& name) {
#ifdef __linux__
    // The kernel keeps 16 bytes with the terminating zero; a longer name is refused whole.
    ::pthread_setname_np(thread, name.substr(0, 15).c_str());
#endif
}

} // namespace

void nameThisThread(const std::string& name) {
#ifdef __linux__
    nameHandle(::pthread_self(), name);
#else
    nameHandle({}, name);
#endif
}

void nameThread(std::thread& thread, const std::string& name) {
    nameHandle(thread.native_handle(), name);
}

std::string thisThreadName() {
#ifdef __linux__
    char name[16] = {};
    if (::pthread_getname_np(::pthread_self(), name, sizeof name) == 0) {
        return name;
    }
#endif
    return {};
}

Worker::Worker(std::string name) : m_name(std::move(name)) {}

Worker::~Worker() {
    stop();
}

void Worker::post(Task task) {
    {
        const std::lock_guard lock(m_mutex);
        m_tasks.push_back(std::move(task));
        ++m_posted;
        // While a stop is under way, the ending thread takes the task with the rest.
        if (!m_stopping) {
            startLocked();
        }
    }
    m_wake.notify_one();
}

void Worker::start() {
    const std::lock_guard lock(m_mutex);
    if (!m_stopping) {
        startLocked();
    }
}

void Worker::startLocked() {
    if (m_thread.joinable()) {
        return;
    }
    m_thread = std::thread([this] { run(); });
    m_threadId = m_thread.get_id();
    // Named before post() or start() returns, so whoever looks finds it under its name.
    nameThread(m_thread, m_name);
}

void Worker::flush() {
    std::unique_lock lock(m_mutex);
    if (std::this_thread::get_id() == m_threadId) {
        return;
    }
    const std::uint64_t posted = m_posted;
    m_finished.wait(lock, [&] { return m_done >= posted; });
}

void Worker::stop() {
    std::unique_lock lock(m_mutex);
    if (std::this_thread::get_id() == m_threadId) {
        return; // a thread cannot wait for its own end
    }
    // Another caller's stop is under way: this one waits for it too.
    m_finished.wait(lock, [this] { return !m_stopping; });
    while (m_thread.joinable()) {
        m_stopping = true;
        std::thread ending = std::move(m_thread);
        lock.unlock();
        m_wake.notify_all();
        ending.join();
        lock.lock();
        m_stopping = false;
        m_threadId = {};
        // Posted after the ending thread looked at the queue for the last time: a new thread
        // runs it, and this loop ends that one too.
        if (!m_tasks.empty()) {
            startLocked();
        }
    }
    m_finished.notify_all();
}

bool Worker::running() const {
    const std::lock_guard lock(m_mutex);
    return m_thread.joinable() && !m_stopping;
}

bool Worker::onWorkerThread() const {
    const std::lock_guard lock(m_mutex);
    return std::this_thread::get_id() == m_threadId;
}

void Worker::run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_tasks.empty(); });
        if (m_tasks.empty()) {
            return; // stopping, and everything posted has run
        }
        Task task = std::move(m_tasks.front());
        m_tasks.pop_front();
        lock.unlock();
        task();
        // What the task captured goes before the lock is taken again: its destructors may post.
        task = nullptr;
        lock.lock();
        ++m_done;
        m_finished.notify_all();
    }
}

} // namespace zorvane::work
