#include "models/duerow.h"

#include "models/bosstablemodel.h"
#include "models/linecells.h"
#include "schedule/bosstable.h"

#include <QAbstractItemModel>

namespace zorvane::app {

DueRow readDueRow(const QAbstractItemModel& model, int row, const schedule::LineBoard* board) {
    DueRow due;
    due.name = model.index(row, schedule::kNameColumn).data().toString().trimmed();
    due.checked =
        model.index(row, schedule::kUseColumn).data(Qt::CheckStateRole).toInt() == Qt::Checked;
    const QModelIndex countdown = model.index(row, schedule::kCountdownColumn);
    if (board != nullptr) {
        const auto id =
            model.index(row, 0).data(BossTableModel::RowIdRole).value<schedule::RowId>();
        if (const std::optional<schedule::LineTimer> soonest = board->soonest(id)) {
            // The boss row's own cells do not count for a boss with lines: its lines do.
            const LineOwner owner{due.name, due.checked, 0};
            const auto cell = [&](int role) {
                return lineTimeData(soonest->state, owner, schedule::kCountdownColumn, role);
            };
            due.name =
                QString::fromStdString(schedule::lineTitle(due.name.toStdString(), soonest->key));
            due.remaining = cell(BossTableModel::RemainingSecondsRole);
            due.countdown = cell(Qt::DisplayRole).toString();
            due.rowPhase = cell(BossTableModel::RowPhaseRole);
            due.spawnPhase = cell(BossTableModel::SpawnPhaseRole);
            due.spawnFraction = cell(BossTableModel::SpawnFractionRole).toDouble();
            due.spawnText = cell(BossTableModel::SpawnTextRole).toString();
            due.line = soonest->id;
            return due;
        }
    }
    due.remaining = countdown.data(BossTableModel::RemainingSecondsRole);
    due.countdown = countdown.data().toString();
    due.dueDay = countdown.data(BossTableModel::DueDayRole).toString();
    due.rowPhase = countdown.data(BossTableModel::RowPhaseRole);
    due.spawnPhase = countdown.data(BossTableModel::SpawnPhaseRole);
    due.spawnFraction = countdown.data(BossTableModel::SpawnFractionRole).toDouble();
    due.spawnText = countdown.data(BossTableModel::SpawnTextRole).toString();
    return due;
}

} // namespace zorvane::app
