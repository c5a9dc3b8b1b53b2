#include "schedule/away.h"

#include "schedule/cycle.h"
#include "text/textops.h"

#include <algorithm>

namespace zorvane::schedule {

void dateUndatedRows(BossTable& table, UtcSeconds now) {
    for (const BossRow& row : table.rows()) {
        if (row.timing.lastUtc) {
            continue;
        }
        const std::string& last = row.text[kLastTimeColumn];
        if (const std::optional<UtcSeconds> instant = deriveLastInstant(last, now)) {
            table.setLastInstantIf(row.id, last, *instant);
        }
    }
}

void dateUndatedRows(std::vector<BossRow>& rows, UtcSeconds now) {
    for (BossRow& row : rows) {
        if (!row.timing.lastUtc) {
            row.timing.lastUtc = deriveLastInstant(row.text[kLastTimeColumn], now);
        }
    }
}

std::vector<MissedRow> missedWhileAway(const BossTable& table, UtcSeconds lastSeen,
                                       UtcSeconds now) {
    std::vector<MissedRow> missed;
    table.forEachRow([&](const BossRow& row, const RowTiming& timing) {
        const std::int64_t cycle = cycleSeconds(timing.periodMinutes, timing.delayMinutes);
        if (!timing.lastUtc || cycle < kShortestDatedCycle || row.text[kLastTimeColumn].empty() ||
            row.text[kNextTimeColumn].empty()) {
            return;
        }
        const UtcSeconds last = *timing.lastUtc;
        if (now < last + cycle) {
            return;
        }
        // Due moments are last + j * cycle, j >= 1; count those in (lastSeen, now].
        const std::int64_t dueByNow = (now - last) / cycle;
        const std::int64_t dueBySeen = lastSeen >= last ? (lastSeen - last) / cycle : 0;
        if (dueByNow <= dueBySeen) {
            return;
        }
        MissedRow entry;
        entry.id = row.id;
        entry.boss = text::trim(row.text[kNameColumn]);
        entry.firstDue = last + (dueBySeen + 1) * cycle;
        entry.cyclesPassed = dueByNow - dueBySeen;
        entry.cycleStart = last + dueByNow * cycle;
        entry.remaining = entry.cycleStart + cycle - now;
        missed.push_back(std::move(entry));
    });
    return missed;
}

} // namespace zorvane::schedule
