#include "app/firstpaint.h"

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
    FirstPaintWatch(QWidget& window, QString file)
        : QObject(&window), m_window(window), m_file(std::move(file)) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &m_window && event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            // The children paint in the same pass, after the window itself: the zero
            // timer runs once the whole pass and the flush to the screen are done.
            QTimer::singleShot(0, this, [this] { write(); });
        }
        return false;
    }

private:
    void write() {
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        const long long ns = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
        QFile out(m_file);
        if (!out.open(QIODevice::Append | QIODevice::Text) ||
            out.write(QByteArray::number(ns) + '\n') < 0) {
            std::fprintf(stderr, "zorvane: cannot record the first paint in %s: %s\n",
                         qPrintable(m_file), qPrintable(out.errorString()));
        }
        m_window.removeEventFilter(this);
        deleteLater();
    }

    QWidget& m_window;
    QString m_file;
    bool m_seen = false;
};

} // namespace

void recordFirstPaint(QWidget& window, const QString& file) {
    if (file.isEmpty()) {
        return;
    }
    window.installEventFilter(new FirstPaintWatch(window, file));
}

} // namespace zorvane::app
