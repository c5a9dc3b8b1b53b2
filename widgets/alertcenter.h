#pragma once
// What the window does when an alert is presented: the tray's icon and tooltip follow the
// next bosses (refreshed once a second too), and a window that is not active asks for
// attention.

#include "widgets/traysummary.h"

#include <QObject>

class QTimer;
class QWidget;

class QAbstractItemModel;

namespace zorvane::app {

class AlertDispatch;
class AlertTray;

class AlertCenter : public QObject {
    Q_OBJECT
public:
    // window and model (the grid's) must outlive this object; dispatch may be null (no
    // alerts), tray too (no tray).
    AlertCenter(QWidget* window, const QAbstractItemModel& model, AlertDispatch* dispatch,
                AlertTray* tray, QObject* parent = nullptr);

    // Window thread: puts the next bosses and the state into the tray.
    void refreshTray();
    // 停止 / 启动: the tray shows stopped countdowns as such.
    void setStopped(bool stopped);
    // The bosses' lines (nullptr: none); the board must outlive this object.
    void setLineBoard(const schedule::LineBoard* board);

private:
    void onPresented();

    QWidget* m_window;
    const QAbstractItemModel& m_model;
    bool m_stopped = false;
    AlertTray* m_tray;
    // The bosses last chosen; read whole again only after the model reported a change.
    TraySummary m_summary;
    bool m_summaryStale = true;
    const schedule::LineBoard* m_board = nullptr;
    QTimer* m_trayTimer = nullptr;
};

} // namespace zorvane::app
