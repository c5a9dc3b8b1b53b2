#pragma once
// Shows the tick's alerts on the desktop: a notification naming the boss (when the user
// wants them), the tray's tooltip with the next boss, and a request for attention when the
// window is not active. The chime itself is played by the sink before this one.

#include "schedule/services.h"

#include <QObject>
#include <QString>

#include <utility>

class QTimer;
class QWidget;

namespace zorvane::schedule {
class BossTable;
}

namespace zorvane::app {

class AlertTray;
class DesktopNotifier;
class Preferences;

class AlertCenter : public QObject, public schedule::AlarmSink {
    Q_OBJECT
public:
    // window, table and preferences must outlive this object; notifier and tray may be
    // null (no notifications, no tray).
    AlertCenter(QWidget* window, const schedule::BossTable& table, const Preferences& preferences,
                DesktopNotifier* notifier, AlertTray* tray, QObject* parent = nullptr);

    // Any thread: hands the alert to the window thread and returns at once.
    void alert(const schedule::Alert& alert) override;
    // Window thread: shows one alert.
    void present(const schedule::Alert& alert);
    // Window thread: puts the next boss into the tray's tooltip.
    void refreshTray();

    // The checked row that falls due soonest, as the last pass found it: its boss name
    // and countdown; an empty name when no checked row counts down.
    static std::pair<QString, QString> nextBoss(const schedule::BossTable& table);

private:
    QWidget* m_window;
    const schedule::BossTable& m_table;
    const Preferences& m_preferences;
    DesktopNotifier* m_notifier;
    AlertTray* m_tray;
    QTimer* m_trayTimer = nullptr;
};

} // namespace zorvane::app
