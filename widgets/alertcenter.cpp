#include "widgets/alertcenter.h"

#include "services/alertdispatch.h"
#include "widgets/alerttray.h"
#include "widgets/traysummary.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

namespace zorvane::app {

namespace {
// The tooltip follows the countdown; once a second is what the grid shows too.
constexpr int kTrayRefreshMs = 1000;
} // namespace

AlertCenter::AlertCenter(QWidget* window, const QAbstractItemModel& model, AlertDispatch* dispatch,
                         AlertTray* tray, QObject* parent)
    : QObject(parent), m_window(window), m_model(model), m_tray(tray) {
    if (dispatch != nullptr) {
        connect(dispatch, &AlertDispatch::presented, this, &AlertCenter::onPresented);
    }
    if (m_tray) {
        m_trayTimer = new QTimer(this);
        connect(m_trayTimer, &QTimer::timeout, this, &AlertCenter::refreshTray);
        m_trayTimer->start(kTrayRefreshMs);
    }
}

void AlertCenter::onPresented() {
    refreshTray();
    if (m_window && !m_window->isActiveWindow()) {
        QApplication::alert(m_window);
    }
}

void AlertCenter::refreshTray() {
    if (!m_tray) {
        return;
    }
    m_tray->setSummary(summariseForTray(m_model, m_stopped));
}

void AlertCenter::setStopped(bool stopped) {
    m_stopped = stopped;
    refreshTray();
}

} // namespace zorvane::app
