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
    const UtcSeconds nowUtc = clock.instant();
    table.setDatedCellTextsIf(id, {},
                              {{kNumberColumn, text::integerText(row)},
                               {kPeriodColumn, "30"},
                               {kLastTimeColumn, clockTimeText(toLocal(nowUtc))},
                               {kNextTimeColumn, nextTimeText(nowUtc, 30)}},
                              nowUtc);
    return row;
}

bool onDeleteClicked(BossTable& table, int cursorRow, TableStore& store) {
    if (cursorRow < 1 || !table.deleteRow(cursorRow)) {
        return false;
    }
    renumberRows(table);
    store.rewriteTable(table);
    return true;
}

void renumberRows(BossTable& table) {
    const int count = table.rowCount();
    for (int row = 1; row < count; ++row) {
        table.setCellText(row, kNumberColumn, text::integerText(row));
    }
}

void onGridMouseUp(const BossTable& table, int cursorRow, int cursorColumn, TableStore& store) {
    if (cursorRow > 0 && cursorColumn == kUseColumn) {
        store.saveTable(table);
    }
}

namespace {

bool markKilled(BossTable& table, RowId id, UtcSeconds instant, KillSource source,
                TableStore* store, KillLog* killLog, const std::string& sender) {
    const std::optional<BossRow> row = table.row(id);
    if (!row) {
        return false;
    }
    const std::int32_t period = row->timing.periodMinutes;
    if (!table.setDatedCellTextsIf(id, {},
                                   {{kLastTimeColumn, clockTimeText(toLocal(instant))},
                                    {kNextTimeColumn, nextTimeText(instant, period)}},
                                   instant)) {
        return false;
    }
    if (store) {
        store->saveTable(table);
    }
    if (killLog) {
        killLog->recordKill(KillRecord{text::trim(row->text[kNameColumn]), instant, period,
                                       row->timing.delayMinutes, source, sender});
    }
    return true;
}

} // namespace

bool markKilled(BossTable& table, RowId id, UtcSeconds instant, KillSource source, KillLog* killLog,
                const std::string& sender) {
    return markKilled(table, id, instant, source, nullptr, killLog, sender);
}

bool recordKill(BossTable& table, RowId id, UtcSeconds instant, KillSource source,
                TableStore& store, KillLog* killLog, const std::string& sender) {
    return markKilled(table, id, instant, source, &store, killLog, sender);
}

namespace {

bool anythingSince(const SpawnFacts& facts, UtcSeconds restart) {
    for (const std::optional<UtcSeconds>& moment :
         {facts.lastKill, facts.upSince, facts.missedAt}) {
        if (moment && *moment >= restart) {
            return true;
        }
    }
    return false;
}

} // namespace

std::vector<RowId> restartServer(BossTable& table, UtcSeconds restart, TableStore& store,
                                 KillLog* killLog, RestartReach reach,
                                 const std::function<bool(const BossRow&)>& takes) {
    std::vector<RowId> moved;
    for (const BossRow& row : table.rows()) {
        const SpawnRule& rule = row.timing.spawn;
        if (rule.restart == RestartAnchor::Unchanged || (takes && !takes(row))) {
            continue;
        }
        const SpawnFacts before = spawnFactsOf(row.timing);
        if (reach == RestartReach::NothingSince && anythingSince(before, restart)) {
            continue;
        }
        const SpawnFacts after = afterRestart(rule, before, restart);
        if (rule.kind == SpawnKind::FixedTimes) {
            if (table.setSpawnMarks(row.id, after.upSince, after.missedAt)) {
                moved.push_back(row.id);
            }
            continue;
        }
        if (!after.lastKill || after.lastKill == before.lastKill) {
            continue;
        }
        // A restart counted as a kill is one, with its source; an anchored spawn is only the
        // cycle's new start, and no kill goes into the history for it.
        const bool asKill = rule.restart == RestartAnchor::AsKill;
        if (markKilled(table, row.id, *after.lastKill, KillSource::Restart, nullptr,
                       asKill ? killLog : nullptr, {})) {
            moved.push_back(row.id);
        }
    }
    if (!moved.empty()) {
        store.saveTable(table);
    }
    return moved;
}

bool onGridDoubleClick(BossTable& table, int cursorRow, int cursorColumn, const Clock& clock,
                       TableStore& store, KillLog* killLog) {
    if (cursorRow < 1 || cursorColumn != kLastTimeColumn) {
        return false;
    }
    return recordKill(table, table.rowId(cursorRow), clock.instant(), KillSource::DoubleClick,
                      store, killLog);
}

} // namespace zorvane::schedule
