#pragma once
// Takes the tick's alerts over to the window thread and sends the desktop notification that
// names the boss, when the user wants notifications. What the window does besides (the tray's
// tooltip, a request for attention) follows the `presented` signal. The chime itself is
// played by the sink before this one.

#include "schedule/services.h"

#include <QObject>
#include <QString>

#include <utility>

namespace zorvane::schedule {
class BossTable;
class Clock;
} // namespace zorvane::schedule

namespace zorvane::app {

class DesktopNotifier;
class PushLink;
class Preferences;

class AlertDispatch : public QObject, public schedule::AlarmSink {
    Q_OBJECT
public:
    // preferences must outlive this object; notifier may be null (no notifications).
    AlertDispatch(const Preferences& preferences, DesktopNotifier* notifier,
                  QObject* parent = nullptr);

    // Alerts go to the push targets too, straight from the tick's thread (never through the
    // window's). All three must outlive this object; set before the countdown starts.
    void setPush(PushLink* push, const schedule::BossTable& table, const schedule::Clock& clock);

    // Any thread: hands the alert to the push helper and to this object's thread and returns
    // at once.
    void alert(const schedule::Alert& alert) override;
    // This object's thread: the notification, then `presented`.
    void present(const schedule::Alert& alert);

    DesktopNotifier* notifier() const { return m_notifier; }

signals:
    // An alert was presented (after its notification).
    void presented();

private:
    const Preferences& m_preferences;
    DesktopNotifier* m_notifier;
    PushLink* m_push = nullptr;
    const schedule::BossTable* m_table = nullptr;
    const schedule::Clock* m_clock = nullptr;
};

// The notification's body for an alert: the true time left, with the boss's state by its
// rule where it matters ("窗口已开启 · 5 分钟后刷新", "已刷新（未记录击杀）").
QString alertBody(const schedule::Alert& alert);

} // namespace zorvane::app
