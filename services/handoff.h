#pragma once
// The one way work reaches the window thread.
//
// Worker threads (the tick, the clock, the announcement) never touch a widget and never
// wait for the window thread: they hand a function to `handOff`, which runs it on the
// thread of `receiver` (the window thread for every widget and model) as a queued call.
// When `receiver` is destroyed before the call runs, the call is dropped with it, so a
// late hand-off after the window has closed is harmless.

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <mutex>
#include <type_traits>
#include <utility>

namespace zorvane::app {

namespace detail {

// Qt orders a queued call after its posting with its own locks, which ThreadSanitizer
// cannot see in a Qt not built with it; every queued call would then look like a race
// on what it carries. The poster holds this lock while the call is made and posted, and
// the call takes it before it touches what it carries, so the order is also one that
// ThreadSanitizer sees. Neither side ever holds it for longer than that.
inline std::recursive_mutex& handOffOrder() {
    static std::recursive_mutex order;
    return order;
}

template <typename F> class OrderedCall {
public:
    explicit OrderedCall(F fn) : m_fn(std::move(fn)) {}
    OrderedCall(OrderedCall&&) noexcept = default;
    OrderedCall(const OrderedCall&) = delete;
    OrderedCall& operator=(const OrderedCall&) = delete;
    OrderedCall& operator=(OrderedCall&&) = delete;
    // A call dropped with its receiver is destroyed without running: what it carries
    // is released in the same order.
    ~OrderedCall() { const std::lock_guard after(handOffOrder()); }

    void operator()() {
        { const std::lock_guard after(handOffOrder()); }
        m_fn();
    }

private:
    F m_fn;
};

} // namespace detail

// Queues `fn` to run on `receiver`'s thread, even when called from that thread (the
// caller's stack is unwound first, so a model never re-enters itself).
template <typename Fn> void handOff(QObject* receiver, Fn&& fn) {
    const std::lock_guard posting(detail::handOffOrder());
    QMetaObject::invokeMethod(receiver, detail::OrderedCall<std::decay_t<Fn>>(std::forward<Fn>(fn)),
                              Qt::QueuedConnection);
}

// Runs `fn` at once when called on `receiver`'s thread, otherwise queues it there.
template <typename Fn> void runOnReceiverThread(QObject* receiver, Fn&& fn) {
    if (QThread::currentThread() == receiver->thread()) {
        std::forward<Fn>(fn)();
        return;
    }
    handOff(receiver, std::forward<Fn>(fn));
}

} // namespace zorvane::app
