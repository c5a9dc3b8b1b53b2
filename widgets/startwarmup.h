#pragma once
// Work the window's first paint waits for but that needs not be done on the window thread,
// begun on a thread of its own as the program starts, so that it runs beside the toolkit's
// own start and the reading of the table instead of after them:
// - the font configuration: fontconfig parses its XML files and reads its caches the first
//   time any face is looked up, about a fifth of the instructions before a first paint
//   (any Qt window pays it; Qt finds faces through fontconfig on Linux);
// - Beijing time's zone for the clock, with the system's list of zones;
// - once the application object is there, Qt's font database and the faces the window's
//   font falls back to for Chinese text (Qt's font database may be used from any thread,
//   and keeps both for every thread).
// Each is made once per process; the window thread would otherwise make it when it first
// needs it, which is what happens where this does nothing.

#include <condition_variable>
#include <mutex>
#include <thread>

namespace zorvane::app {

class StartWarmUp {
public:
    StartWarmUp();
    // stop().
    ~StartWarmUp();
    StartWarmUp(const StartWarmUp&) = delete;
    StartWarmUp& operator=(const StartWarmUp&) = delete;

    // The application object is there: the thread goes on to Qt's font database once the
    // font configuration is made. Told before the start knows whether it makes a window, so
    // that this overlaps the rest of the start; a start that only hands over to a running
    // instance then waits the few milliseconds of it in stop().
    void toolkitReady();
    // Returns once the font configuration is made. Before the window thread looks up its
    // first face: a lookup meanwhile would make a second configuration and drop one.
    void awaitFontConfiguration();
    // Returns once the thread has ended: at once if it has not begun the font database, else
    // when that is done. Before the application object goes, if toolkitReady() was called.
    void stop();

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_configured = false;
    bool m_toolkitReady = false;
    bool m_cancelled = false;
    std::thread m_thread;
};

} // namespace zorvane::app
