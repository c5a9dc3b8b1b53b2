#pragma once
// One row of the table's model as the overlay and the tray read it: the row's own cells, or,
// for a boss with lines, its soonest line's (LineBoard::soonest), named "黑龙 3线 @ 二区". A
// boss with lines costs one walk of its own lines; rows without lines read as they always
// have.

#include "schedule/linetimers.h"

#include <QString>
#include <QVariant>

class QAbstractItemModel;

namespace zorvane::app {

struct DueRow {
    QString name;
    bool checked = false;
    QVariant remaining; // seconds left (qlonglong); invalid while the row does not count
    QString countdown;  // the grid's text
    QString dueDay;     // "周六" for a boss due on another day, or empty
    QVariant rowPhase;  // BossTableModel::RowPhaseRole
    QVariant spawnPhase;
    double spawnFraction = 0;
    QString spawnText;
    schedule::LineId line = 0; // the line read; 0 for the row's own cells
};

// `board` may be nullptr (no lines anywhere).
DueRow readDueRow(const QAbstractItemModel& model, int row, const schedule::LineBoard* board);

} // namespace zorvane::app
