#include "widgets/startwarmup.h"

#include "schedule/serverzone.h"
#include "work/worker.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>

#include <chrono>
#include <system_error>

#ifdef ZORVANE_HAS_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

namespace zorvane::app {

StartWarmUp::StartWarmUp() {
    try {
        m_thread = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        // No thread to be had: the window thread makes all of it when it first needs it.
    }
}

StartWarmUp::~StartWarmUp() {
    stop();
}

void StartWarmUp::toolkitReady() {
    {
        const std::lock_guard lock(m_mutex);
        m_toolkitReady = true;
    }
    m_changed.notify_all();
}

void StartWarmUp::awaitFontConfiguration() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_configured || !m_thread.joinable(); });
}

void StartWarmUp::stop() {
    {
        const std::lock_guard lock(m_mutex);
        m_cancelled = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void StartWarmUp::run() {
    work::nameThisThread("start warm-up");
#ifdef ZORVANE_HAS_FONTCONFIG
    // Loads the configuration Qt's font database then finds made (FcInit keeps the first one
    // made in the process; it fails only without any configuration, which Qt then meets and
    // reports itself).
    FcInit();
#endif
    {
        const std::lock_guard lock(m_mutex);
        m_configured = true;
    }
    m_changed.notify_all();
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::system_clock::now().time_since_epoch());
    (void)schedule::beijingZone().offsetAt(schedule::UtcSeconds{now.count()});

    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_toolkitReady || m_cancelled; });
        if (m_cancelled) {
            return;
        }
    }
    (void)QFontDatabase::families();
    // Measuring Chinese text in the application's font finds the faces it falls back to
    // (a fontconfig sort of every installed face), which Qt keeps per family.
    (void)QFontMetrics(QApplication::font()).horizontalAdvance(QStringLiteral("首领"));
}

} // namespace zorvane::app
