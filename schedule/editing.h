#pragma once
// The rules applied when the user edits a cell of the boss table in place: which
// columns warn, which texts are accepted, what replaces a rejected text, how the next
// time follows from an edited period or last time, and when the table is saved.

#include "schedule/bosstable.h"
#include "schedule/clock.h"
#include "schedule/services.h"

#include <string_view>

namespace zorvane::schedule {

// True for a whole number written with ASCII digits only, and for the empty text.
bool isIntegerText(std::string_view text);

// Before an editor opens on the cursor column: the columns the user should not type
// into ("序号", "下次时间", "倒计时") warn, but the edit goes ahead.
void onGridEditStarted(int cursorColumn, MessageSink& messages);

// After the typed text has been stored in the cursor cell: checks it, replaces a bad
// period or delay, derives the next time from a period or last time, and saves an
// accepted edit. warnMinutesText is the warning-minutes box's content. An accepted kill
// time typed into the last time is told to the kill log, when there is one.
//
// A typed last time names an instant: a time of day not later than the clock is
// today's, a later one yesterday's when that lies within the last 12 hours, and "-N" is
// N minutes ago (the cell then shows that clock time). Any other text is refused with a
// message: the row gets back its last and next time and their instant from `before`
// (the row as it was when the edit began), and nothing is saved or told to the kill log.
// Without `before` the refused text stays in the cell, equally unsaved.
void onGridEditFinished(BossTable& table, int cursorRow, int cursorColumn,
                        std::string_view warnMinutesText, const Clock& clock, MessageSink& messages,
                        TableStore& store, KillLog* killLog = nullptr,
                        const BossRow* before = nullptr);

} // namespace zorvane::schedule
