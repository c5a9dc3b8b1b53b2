#include "widgets/firstpaint.h"

#include <QEvent>
#include <QFile>
#include <QObject>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <cstdio>

namespace zorvane::app {
namespace {

class FirstPaintWatch final : public QObject {
public:
    FirstPaintWatch(QWidget& window, std::function<void()> work)
        : QObject(&window), m_window(window), m_work(std::move(work)) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &m_window && event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            // The children paint in the same pass, after the window itself: the zero
            // timer runs once the whole pass and the flush to the screen are done.
            QTimer::singleShot(0, this, [this] {
                m_window.removeEventFilter(this);
                const std::function<void()> work = std::move(m_work);
                deleteLater();
                work();
            });
        }
        return false;
    }

private:
    QWidget& m_window;
    std::function<void()> m_work;
    bool m_seen = false;
};

void appendNow(const QString& file) {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const long long ns = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
    QFile out(file);
    if (!out.open(QIODevice::Append | QIODevice::Text) ||
        out.write(QByteArray::number(ns) + '\n') < 0) {
        std::fprintf(stderr, "zorvane: cannot record the first paint in %s: %s\n", qPrintable(file),
                     qPrintable(out.errorString()));
    }
}

} // namespace

void afterFirstPaint(QWidget& window, std::function<void()> work) {
    window.installEventFilter(new FirstPaintWatch(window, std::move(work)));
}

void recordFirstPaint(QWidget& window, const QString& file) {
    if (file.isEmpty()) {
        return;
    }
    afterFirstPaint(window, [file] { appendNow(file); });
}

} // namespace zorvane::app
