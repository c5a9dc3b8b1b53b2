#include "schedule/tableops.h"

#include "schedule/cycle.h"
#include "schedule/timetext.h"
#include "text/numbers.h"
#include "text/textops.h"

namespace zorvane::schedule {
void setupColumns(BossTable& table) {
    static const char* const titles[kColumnCount] = {"使用",     "序号",     "BOSS事件", "周期(分)",
                                                     "延迟(分)", "上次时间", "下次时间", "倒计时"};
    for (int column = 0; column < kColumnCount; ++column) {
        table.setHeaderText(column, titles[column]);
    }
}

int onAddClicked(BossTable& table, const Clock& clock) {
    const int row = table.appendRow();
    const RowId id = table.rowId(row);
    const DateTime now = clock.now();
    const UtcSeconds nowUtc = toUtc(now);
    table.setDatedCellTextsIf(id, {},
                              {{kNumberColumn, text::integerText(row)},
                               {kPeriodColumn, "30"},
                               {kLastTimeColumn, clockTimeText(now)},
                               {kNextTimeColumn, nextTimeText(nowUtc, 30)}},
                              nowUtc);
    return row;
}

bool onDeleteClicked(BossTable& table, int cursorRow, TableStore& store) {
    if (cursorRow < 1 || !table.deleteRow(cursorRow)) {
        return false;
    }
    const int count = table.rowCount();
    for (int row = 1; row < count; ++row) {
        table.setCellText(row, kNumberColumn, text::integerText(row));
    }
    store.rewriteTable(table);
    return true;
}

void onGridMouseUp(const BossTable& table, int cursorRow, int cursorColumn, TableStore& store) {
    if (cursorRow > 0 && cursorColumn == kUseColumn) {
        store.saveTable(table);
    }
}

bool onGridDoubleClick(BossTable& table, int cursorRow, int cursorColumn, const Clock& clock,
                       TableStore& store, KillLog* killLog) {
    if (cursorRow < 1 || cursorColumn != kLastTimeColumn) {
        return false;
    }
    const RowId id = table.rowId(cursorRow);
    const std::optional<BossRow> row = table.row(id);
    if (!row) {
        return false;
    }
    const DateTime now = clock.now();
    const UtcSeconds nowUtc = toUtc(now);
    const std::int32_t period = row->timing.periodMinutes;
    table.setDatedCellTextsIf(
        id, {},
        {{kLastTimeColumn, clockTimeText(now)}, {kNextTimeColumn, nextTimeText(nowUtc, period)}},
        nowUtc);
    store.saveTable(table);
    if (killLog) {
        killLog->recordKill(KillRecord{text::trim(row->text[kNameColumn]),
                                       nowUtc,
                                       period,
                                       row->timing.delayMinutes,
                                       KillSource::DoubleClick,
                                       {}});
    }
    return true;
}

} // namespace zorvane::schedule

namespace zorvane::schedule {

bool applyRemoteKill(BossTable& table, RowId id, UtcSeconds killUtc, const std::string& sender,
                     KillLog* killLog) {
    const std::optional<BossRow> row = table.row(id);
    if (!row) {
        return false;
    }
    const std::int32_t period = row->timing.periodMinutes;
    if (!table.setDatedCellTextsIf(id, {},
                                   {{kLastTimeColumn, clockTimeText(toLocal(killUtc))},
                                    {kNextTimeColumn, nextTimeText(killUtc, period)}},
                                   killUtc)) {
        return false;
    }
    if (killLog) {
        killLog->recordKill(KillRecord{text::trim(row->text[kNameColumn]), killUtc, period,
                                       row->timing.delayMinutes, KillSource::Remote, sender});
    }
    return true;
}

} // namespace zorvane::schedule
