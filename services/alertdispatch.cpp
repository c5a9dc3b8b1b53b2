#include "services/alertdispatch.h"

#include "schedule/bosstable.h"
#include "schedule/cycle.h"
#include "services/coretexts.h"
#include "services/desktopnotifier.h"
#include "services/handoff.h"
#include "services/preferences.h"
#include "text/textops.h"

#include <optional>

namespace zorvane::app {

AlertDispatch::AlertDispatch(const Preferences& preferences, DesktopNotifier* notifier,
                             QObject* parent)
    : QObject(parent), m_preferences(preferences), m_notifier(notifier) {}

void AlertDispatch::alert(const schedule::Alert& alert) {
    handOff(this, [this, alert] { present(alert); });
}

void AlertDispatch::present(const schedule::Alert& alert) {
    if (m_notifier && m_preferences.notificationsEnabled.get()) {
        m_notifier->notify(alert.rowId, QString::fromStdString(alert.boss),
                           alert.due() ? 0 : alert.secondsLeft);
    }
    emit presented();
}

std::pair<QString, QString> nextBoss(const schedule::BossTable& table) {
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
