#include "schedule/editing.h"

#include "schedule/cycle.h"
#include "schedule/timetext.h"
#include "text/cleaning.h"
#include "text/numbers.h"
#include "text/textops.h"

#include <cstdint>
#include <string>

namespace zorvane::schedule {
namespace {

const text::Message kNoTyping{text::MessageId::NoTyping};
const text::Message kWholeNumber{text::MessageId::WholeNumber};
const text::Message kAboveWarning{text::MessageId::AboveWarning};
const text::Message kBadTime{text::MessageId::BadDate};
const std::string kDefaultPeriod = "30";

// The instant of a row's last time: the one recorded with it, else read from its text
// as the tick reads it; a text without a time of day counts as midnight, today.
UtcSeconds lastInstantOf(const BossTable& table, int row, const Clock& clock) {
    if (const std::optional<RowTiming> timing = table.timing(row); timing && timing->lastUtc) {
        return *timing->lastUtc;
    }
    const UtcSeconds now = clock.instant();
    if (const std::optional<UtcSeconds> derived =
            deriveLastInstant(table.cellText(row, kLastTimeColumn), now)) {
        return *derived;
    }
    return instantOnDate(0, toLocal(now));
}

void finishPeriod(BossTable& table, int row, std::string_view warnMinutesText, const Clock& clock,
                  MessageSink& messages, TableStore& store) {
    const std::string typed = table.cellText(row, kPeriodColumn);
    if (!isIntegerText(typed)) {
        messages.showMessage(kWholeNumber);
        table.setCellText(row, kPeriodColumn, kDefaultPeriod);
        return;
    }
    const std::int32_t period = text::textToInteger(typed);
    if (period <= text::textToInteger(warnMinutesText)) {
        messages.showMessage(kAboveWarning);
        table.setCellText(row, kPeriodColumn, kDefaultPeriod);
        return;
    }
    table.setCellText(row, kNextTimeColumn, nextTimeText(lastInstantOf(table, row, clock), period));
    store.saveTable(table);
}

void finishDelay(BossTable& table, int row, MessageSink& messages, TableStore& store) {
    if (!isIntegerText(table.cellText(row, kDelayColumn))) {
        messages.showMessage(kWholeNumber);
        table.setCellText(row, kDelayColumn, "");
        return;
    }
    store.saveTable(table);
}

void finishLastTime(BossTable& table, int row, const Clock& clock, MessageSink& messages,
                    TableStore& store, KillLog* killLog, const BossRow* before) {
    const RowId id = table.rowId(row);
    const std::string typed = table.cellText(row, kLastTimeColumn);
    const std::int32_t period = text::textToInteger(table.cellText(row, kPeriodColumn));
    if (const std::optional<UtcSeconds> killed = typedKillInstant(typed, clock.instant())) {
        std::vector<std::pair<int, std::string>> cells{
            {kNextTimeColumn, nextTimeText(*killed, period)}};
        if (!readClockTime(typed)) {
            // "-N": the cell shows the time it stands for.
            cells.emplace_back(kLastTimeColumn, clockTimeText(toLocal(*killed)));
        }
        // The typed text of a time of day stays as it is; the next time follows from the
        // time found in it, so words around it ('abc 1:2:3 xyz') do not make it unreadable.
        table.setDatedCellTextsIf(id, {{kLastTimeColumn, typed}}, cells, *killed);
        store.saveTable(table);
        if (killLog) {
            const std::optional<BossRow> killedRow = table.row(id);
            killLog->recordKill(
                KillRecord{text::trim(killedRow ? killedRow->text[kNameColumn] : std::string()),
                           *killed,
                           period,
                           killedRow ? killedRow->timing.delayMinutes : 0,
                           KillSource::Typed,
                           {}});
        }
        return;
    }
    // Refused: no kill happened, so the row gets back what it held and nothing is saved,
    // recorded or announced. That comes before the message box, since the tick counts on
    // while the box is open and must not count from the refused text.
    if (before && before->id == id) {
        const std::vector<std::pair<int, std::string>> cells{
            {kLastTimeColumn, before->text[kLastTimeColumn]},
            {kNextTimeColumn, before->text[kNextTimeColumn]}};
        if (before->timing.lastUtc) {
            table.setDatedCellTextsIf(id, {{kLastTimeColumn, typed}}, cells,
                                      *before->timing.lastUtc);
        } else {
            table.setCellTextsIf(id, {{kLastTimeColumn, typed}}, cells);
        }
    }
    messages.showMessage(kBadTime);
}

} // namespace

bool isIntegerText(std::string_view text) {
    return text::extractChinese(text).empty() && text::extractLetters(text).empty() &&
           text::extractDisallowedChars(text).empty();
}

void onGridEditStarted(int cursorColumn, MessageSink& messages) {
    if (cursorColumn == kNumberColumn || cursorColumn == kCountdownColumn ||
        cursorColumn == kNextTimeColumn) {
        messages.showMessage(kNoTyping);
    }
}

void onGridEditFinished(BossTable& table, int cursorRow, int cursorColumn,
                        std::string_view warnMinutesText, const Clock& clock, MessageSink& messages,
                        TableStore& store, KillLog* killLog, const BossRow* before) {
    if (cursorRow < 1 || cursorRow >= table.rowCount()) {
        return;
    }
    switch (cursorColumn) {
    case kNumberColumn:
        messages.showMessage(kNoTyping);
        break;
    case kPeriodColumn:
        finishPeriod(table, cursorRow, warnMinutesText, clock, messages, store);
        break;
    case kDelayColumn:
        finishDelay(table, cursorRow, messages, store);
        break;
    case kNameColumn:
        store.saveTable(table);
        break;
    case kLastTimeColumn:
        finishLastTime(table, cursorRow, clock, messages, store, killLog, before);
        break;
    default:
        break;
    }
}

} // namespace zorvane::schedule
