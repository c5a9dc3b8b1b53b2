#pragma once
// A boss row as a player would have typed it in, for tests that start from a table.

#include "schedule/bosstable.h"

#include <string>

namespace zorvane::testing {

// Period 30 minutes, no delay, killed at `lastTime` and due at `nextTime`, ticked or not.
inline schedule::RowId addBossRow(schedule::BossTable& table, const std::string& name,
                                  const char* lastTime = "10:00:00",
                                  const char* nextTime = "10:30:00", bool use = true) {
    const int row = table.appendRow();
    const schedule::RowId id = table.rowId(row);
    table.setCellText(id, schedule::kNameColumn, name);
    table.setCellText(id, schedule::kPeriodColumn, "30");
    table.setCellText(id, schedule::kDelayColumn, "0");
    table.setCellText(id, schedule::kLastTimeColumn, lastTime);
    table.setCellText(id, schedule::kNextTimeColumn, nextTime);
    table.setCheckState(row, use);
    return id;
}

} // namespace zorvane::testing
