#include "widgets/alertcenter.h"

#include "services/alertdispatch.h"
#include "widgets/alerttray.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

namespace zorvane::app {

namespace {
// The tooltip follows the countdown; once a second is what the grid shows too.
constexpr int kTrayRefreshMs = 1000;
} // namespace

AlertCenter::AlertCenter(QWidget* window, const schedule::BossTable& table, AlertDispatch& dispatch,
                         AlertTray* tray, QObject* parent)
    : QObject(parent), m_window(window), m_table(table), m_tray(tray) {
    connect(&dispatch, &AlertDispatch::presented, this, &AlertCenter::onPresented);
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
    const auto [boss, countdown] = nextBoss(m_table);
    m_tray->setNextBoss(boss, countdown);
}

} // namespace zorvane::app
