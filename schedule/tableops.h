#pragma once
// The table operations behind the buttons and the grid's mouse events. They take the
// cursor as arguments; moving the cursor and scrolling are the grid's business.

#include "schedule/bosstable.h"
#include "schedule/clock.h"
#include "schedule/services.h"

#include <functional>

namespace zorvane::schedule {

// Writes the header row's titles.
void setupColumns(BossTable& table);

// "新增": appends a row numbered after its position, period "30", last time now and next
// time 30 minutes later. Saves nothing. Returns the new row's index.
int onAddClicked(BossTable& table, const Clock& clock);

// "删除": removes the cursor row, renumbers the rest and rewrites the stored table.
// False (and nothing done) when no data row is under the cursor.
[[nodiscard]] bool onDeleteClicked(BossTable& table, int cursorRow, TableStore& store);

// Writes every data row's position into its number column (after a row came or went).
void renumberRows(BossTable& table);

// Mouse released over the grid: a click in the use column is saved at once.
void onGridMouseUp(const BossTable& table, int cursorRow, int cursorColumn, TableStore& store);

// Marks a kill of row `id` at `instant`: last time that instant's clock time, next time
// the instant plus the period (text-to-integer of column 3; the delay does not count here),
// and tells the kill log, when there is one (with `sender` for a kill received from
// someone else). Saves nothing: a burst of received kills is saved once by the caller.
// False (nothing done) when the row is gone.
[[nodiscard]] bool markKilled(BossTable& table, RowId id, UtcSeconds instant, KillSource source,
                              KillLog* killLog = nullptr, const std::string& sender = {});

// markKilled, then saves the table before the kill log hears of it.
bool recordKill(BossTable& table, RowId id, UtcSeconds instant, KillSource source,
                TableStore& store, KillLog* killLog = nullptr, const std::string& sender = {});

// A server restarted at `restart`: every row whose rule says so starts again from it, as a
// kill at the restart (recorded as such) or as a spawn some minutes later; a fixed-times
// row whose rule counts the restart as a kill has its current spawn taken. Rows whose rule
// leaves them unchanged stay as they are. Saves once when anything moved; returns the rows
// moved, in table order.
//
// A restart the player tells of moves every such row. One a room member told of may come
// late, or again when the room is joined anew: it leaves alone a row with anything newer
// than the restart (a kill, a spawn seen, a spawn taken by others). `takes`, when given,
// picks the rows a restart may move at all (a room's: the shared ones).
enum class RestartReach { EveryRow, NothingSince };
std::vector<RowId> restartServer(BossTable& table, UtcSeconds restart, TableStore& store,
                                 KillLog* killLog = nullptr,
                                 RestartReach reach = RestartReach::EveryRow,
                                 const std::function<bool(const BossRow&)>& takes = {});

// Double click on a last time records a kill now. False when the cursor is not on a data
// row's last-time cell.
[[nodiscard]] bool onGridDoubleClick(BossTable& table, int cursorRow, int cursorColumn,
                                     const Clock& clock, TableStore& store,
                                     KillLog* killLog = nullptr);

} // namespace zorvane::schedule
