#pragma once
// What the window does when an alert is presented: the tray's tooltip names the next boss
// (refreshed once a second too), and a window that is not active asks for attention.

#include <QObject>

class QTimer;
class QWidget;

namespace zorvane::schedule {
class BossTable;
}

namespace zorvane::app {

class AlertDispatch;
class AlertTray;

class AlertCenter : public QObject {
    Q_OBJECT
public:
    // window, table and dispatch must outlive this object; tray may be null (no tray).
    AlertCenter(QWidget* window, const schedule::BossTable& table, AlertDispatch& dispatch,
                AlertTray* tray, QObject* parent = nullptr);

    // Window thread: puts the next boss into the tray's tooltip.
    void refreshTray();

private:
    void onPresented();

    QWidget* m_window;
    const schedule::BossTable& m_table;
    AlertTray* m_tray;
    QTimer* m_trayTimer = nullptr;
};

} // namespace zorvane::app
