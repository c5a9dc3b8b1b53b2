#include "app/alertcenter.h"

#include "app/alerttray.h"
#include "app/coretexts.h"
#include "app/desktopnotifier.h"
#include "app/handoff.h"
#include "app/preferences.h"
#include "schedule/bosstable.h"
#include "schedule/cycle.h"
#include "text/textops.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <optional>

namespace zorvane::app {

namespace {
// The tooltip follows the countdown; once a second is what the grid shows too.
constexpr int kTrayRefreshMs = 1000;
} // namespace

AlertCenter::AlertCenter(QWidget* window, const schedule::BossTable& table,
                         const Preferences& preferences, DesktopNotifier* notifier, AlertTray* tray,
                         QObject* parent)
    : QObject(parent), m_window(window), m_table(table), m_preferences(preferences),
      m_notifier(notifier), m_tray(tray) {
    if (m_tray) {
        m_trayTimer = new QTimer(this);
        connect(m_trayTimer, &QTimer::timeout, this, &AlertCenter::refreshTray);
        m_trayTimer->start(kTrayRefreshMs);
    }
}

void AlertCenter::alert(const schedule::Alert& alert) {
    handOff(this, [this, alert] { present(alert); });
}

void AlertCenter::present(const schedule::Alert& alert) {
    if (m_notifier && m_preferences.notificationsEnabled.get()) {
        m_notifier->notify(alert.rowId, QString::fromStdString(alert.boss),
                           alert.leadMinutes.value_or(0));
    }
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

std::pair<QString, QString> AlertCenter::nextBoss(const schedule::BossTable& table) {
    std::optional<schedule::BossRow> best;
    for (const schedule::RowId id : table.rowIds()) {
        std::optional<schedule::BossRow> row = table.row(id);
        if (!row || !row->use || !row->timing.remainingSeconds ||
            *row->timing.remainingSeconds <= 0) {
            continue;
        }
        if (!best || *row->timing.remainingSeconds < *best->timing.remainingSeconds) {
            best = std::move(row);
        }
    }
    if (!best) {
        return {};
    }
    return {QString::fromStdString(text::trim(best->text[schedule::kNameColumn])),
            messageText(schedule::countdownMessage(*best->timing.remainingSeconds))};
}

} // namespace zorvane::app
