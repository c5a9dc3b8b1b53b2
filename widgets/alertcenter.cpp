#include "widgets/alertcenter.h"

#include "services/alertdispatch.h"
#include "widgets/alerttray.h"
#include "widgets/traysummary.h"

#include <QAbstractItemModel>
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
        // Counts that only move on come without a change of the model (see refreshTrayTexts).
        const auto stale = [this] { m_summaryStale = true; };
        connect(&model, &QAbstractItemModel::dataChanged, this, stale);
        connect(&model, &QAbstractItemModel::rowsInserted, this, stale);
        connect(&model, &QAbstractItemModel::rowsRemoved, this, stale);
        connect(&model, &QAbstractItemModel::rowsMoved, this, stale);
        connect(&model, &QAbstractItemModel::modelReset, this, stale);
        connect(&model, &QAbstractItemModel::layoutChanged, this, stale);
        m_trayTimer = new QTimer(this);
        connect(m_trayTimer, &QTimer::timeout, this, &AlertCenter::refreshTray);
        m_trayTimer->start(kTrayRefreshMs);
    }
}

void AlertCenter::onPresented() {
    m_summaryStale = true;
    refreshTray();
    if (m_window && !m_window->isActiveWindow()) {
        QApplication::alert(m_window);
    }
}

void AlertCenter::refreshTray() {
    if (!m_tray) {
        return;
    }
    if (!m_summaryStale && !m_tray->isShown()) {
        return; // counts that only moved on show nowhere without an icon
    }
    // A line's state moves with the line pass, which changes nothing in the model: while any
    // boss has lines the summary is made afresh each time (one walk of each such boss's lines).
    if (m_summaryStale || (m_board != nullptr && !m_board->rows().empty())) {
        m_summary = summariseForTray(m_model, m_stopped, 3, m_board);
        m_summaryStale = false;
    } else {
        refreshTrayTexts(m_model, m_summary);
    }
    m_tray->setSummary(m_summary);
}

void AlertCenter::setLineBoard(const schedule::LineBoard* board) {
    m_board = board;
    m_summaryStale = true;
    refreshTray();
}

void AlertCenter::setStopped(bool stopped) {
    m_stopped = stopped;
    m_summaryStale = true;
    refreshTray();
}

} // namespace zorvane::app
