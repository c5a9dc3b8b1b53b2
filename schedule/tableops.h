#pragma once
// The table operations behind the buttons and the grid's mouse events. They take the
// cursor as arguments; moving the cursor and scrolling are the grid's business.

#include "schedule/bosstable.h"
#include "schedule/clock.h"
#include "schedule/services.h"

namespace zorvane::schedule {

// Writes the header row's titles.
void setupColumns(BossTable& table);

// "新增": appends a row numbered after its position, period "30", last time now and next
// time 30 minutes later. Saves nothing. Returns the new row's index.
int onAddClicked(BossTable& table, const Clock& clock);

// "删除": removes the cursor row, renumbers the rest and rewrites the stored table.
// False (and nothing done) when no data row is under the cursor.
bool onDeleteClicked(BossTable& table, int cursorRow, TableStore& store);

// Mouse released over the grid: a click in the use column is saved at once.
void onGridMouseUp(const BossTable& table, int cursorRow, int cursorColumn, TableStore& store);

// Double click on a last time records a kill now: last time now, next time now plus the
// period (text-to-integer of column 3; the delay does not count here), then saves and
// tells the kill log, when there is one. False when the cursor is not on a data row's
// last-time cell.
bool onGridDoubleClick(BossTable& table, int cursorRow, int cursorColumn, const Clock& clock,
                       TableStore& store, KillLog* killLog = nullptr);

} // namespace zorvane::schedule

namespace zorvane::schedule {

// A kill received from another member of a shared room: the row's last time becomes the
// kill's instant (shown as its local clock time), the next time follows from the row's own
// period, and the kill log records it as remote with the sender. Saves nothing: a burst of
// received kills is saved once by the caller. False when the row is gone.
bool applyRemoteKill(BossTable& table, RowId id, UtcSeconds killUtc, const std::string& sender,
                     KillLog* killLog);

} // namespace zorvane::schedule
