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

#include <utility>

namespace zorvane::app {

// Queues `fn` to run on `receiver`'s thread, even when called from that thread (the
// caller's stack is unwound first, so a model never re-enters itself).
template <typename Fn> void handOff(QObject* receiver, Fn&& fn) {
    QMetaObject::invokeMethod(receiver, std::forward<Fn>(fn), Qt::QueuedConnection);
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
