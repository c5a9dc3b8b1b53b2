#include "models/linecells.h"

#include "models/bosstablemodel.h"
#include "models/rowlook.h"
#include "schedule/cycle.h"
#include "schedule/datetime.h"
#include "schedule/instant.h"
#include "services/coretexts.h"

namespace zorvane::app {

QString lineLabel(const schedule::LineKey& key) {
    QString label = QString::fromStdString(schedule::lineCaption(key.line));
    if (!key.server.empty()) {
        label += QStringLiteral(" @ ") + QString::fromStdString(key.server);
    }
    return label;
}

QVariant lineTimeData(const schedule::LineState& state, const LineOwner& owner, int column,
                      int role) {
    const auto remaining = [&state]() -> QVariant {
        return state.remainingSeconds ? QVariant(static_cast<qlonglong>(*state.remainingSeconds))
                                      : QVariant();
    };
    const auto phase = [&state]() -> QVariant {
        return state.phase == schedule::RowPhase::Idle ? QVariant()
                                                       : QVariant(static_cast<int>(state.phase));
    };
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case schedule::kLastTimeColumn:
            return state.lastKill ? QString::fromStdString(
                                        schedule::clockTimeText(schedule::toLocal(*state.lastKill)))
                                  : QString();
        case schedule::kNextTimeColumn:
            return state.lastKill ? QString::fromStdString(schedule::nextTimeText(
                                        *state.lastKill, owner.periodMinutes))
                                  : QString();
        case schedule::kCountdownColumn:
            return state.remainingSeconds
                       ? messageText(schedule::countdownMessage(*state.remainingSeconds))
                       : QString();
        default:
            return {};
        }
    case BossTableModel::RemainingSecondsRole:
        return remaining();
    case BossTableModel::RowPhaseRole:
        return phase();
    case BossTableModel::SpawnPhaseRole:
        return state.view ? QVariant(static_cast<int>(state.view->phase)) : QVariant();
    case BossTableModel::SpawnFractionRole:
        return state.view ? QVariant(state.view->fraction) : QVariant();
    case BossTableModel::SpawnTextRole:
        return state.view ? QVariant(spawnStateText(*state.view)) : QVariant();
    case Qt::DecorationRole:
        if (column == schedule::kNameColumn) {
            // Beside the name, as a row's: where the line stands by its boss's rule (a star
            // while up, rolled over with no kill recorded).
            return state.view ? QVariant(spawnIcon(state.view->phase, state.view->fraction))
                              : QVariant();
        }
        return lookData(rowLook(owner.checked, remaining(), phase()), role, column);
    case Qt::BackgroundRole:
    case Qt::ForegroundRole:
    case Qt::FontRole:
        return lookData(rowLook(owner.checked, remaining(), phase()), role, column);
    default:
        return {};
    }
}

} // namespace zorvane::app
