#pragma once
// The cells of a boss's line in the grid, and of a boss row that sums up its lines (the
// soonest one's times and look): texts from the line's kill and what the tick's last pass
// left on the board, read when painted, so nothing is kept or copied per line per second.

#include "schedule/linetimers.h"

#include <QString>
#include <QVariant>

namespace zorvane::app {

// What a line's cells take from its boss row.
struct LineOwner {
    QString boss;                // the trimmed name
    bool checked = false;        // the use box: an unchecked boss's lines look unchecked too
    long long periodMinutes = 0; // for the next time
};

// "3线 @ 二区", or "3线" on a boss's one unnamed server.
QString lineLabel(const schedule::LineKey& key);

// A line row's cell for one of the time columns or the look's roles, or the typed roles
// BossTableModel gives (RemainingSecondsRole, RowPhaseRole, the spawn roles); invalid for the
// rest.
QVariant lineTimeData(const schedule::LineState& state, const LineOwner& owner, int column,
                      int role);

} // namespace zorvane::app
