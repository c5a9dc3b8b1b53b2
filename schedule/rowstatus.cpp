#include "schedule/rowstatus.h"

#include "schedule/clock.h"
#include "schedule/cycle.h"
#include "schedule/instant.h"
#include "schedule/timetext.h"
#include "text/textops.h"

namespace zorvane::schedule {

std::vector<RowStatus> rowStatuses(const std::vector<BossRow>& rows, UtcSeconds nowUtc) {
    std::vector<RowStatus> statuses;
    statuses.reserve(rows.size());
    const DateTime now = toLocal(nowUtc);
    int number = 0;
    for (const BossRow& row : rows) {
        RowStatus status;
        status.number = ++number;
        status.name = text::trim(row.text[kNameColumn]);
        status.use = row.use;
        status.nextTime = row.text[kNextTimeColumn];
        const std::string& last = row.text[kLastTimeColumn];
        status.killed = !last.empty();
        if (last.empty() || status.nextTime.empty()) {
            statuses.push_back(std::move(status));
            continue;
        }
        const std::int32_t period = row.timing.periodMinutes;
        const std::int32_t delay = row.timing.delayMinutes;
        const std::int64_t cycle = cycleSeconds(period, delay);
        std::optional<UtcSeconds> lastUtc = row.timing.lastUtc;
        if (!lastUtc && cycle >= kShortestDatedCycle) {
            lastUtc = deriveLastInstant(last, nowUtc);
        }
        if (lastUtc && cycle >= kShortestDatedCycle) {
            std::int64_t remaining = secondsUntilDue(*lastUtc, period, delay, nowUtc);
            if (remaining <= 0) {
                const UtcSeconds start = currentCycleStart(*lastUtc, cycle, nowUtc).start;
                remaining = secondsUntilDue(start, period, delay, nowUtc);
                status.nextTime = nextTimeText(start, period);
            }
            status.remaining = remaining;
        } else {
            // A cycle too short to date counts from its texts and starts again when due.
            const FrozenClock clock(nowUtc);
            std::int64_t remaining = remainingSeconds(last, status.nextTime, period, delay, clock);
            if (remaining <= 0) {
                status.nextTime = nextTimeText(nowUtc, period);
                remaining =
                    remainingSeconds(clockTimeText(now), status.nextTime, period, delay, clock);
            }
            status.remaining = remaining;
        }
        statuses.push_back(std::move(status));
    }
    return statuses;
}

std::vector<RowId> rowsNamed(const std::vector<BossRow>& rows, std::string_view name) {
    std::vector<RowId> found;
    const std::string wanted = text::trim(name);
    if (wanted.empty()) {
        return found;
    }
    for (const BossRow& row : rows) {
        if (text::trim(row.text[kNameColumn]) == wanted) {
            found.push_back(row.id);
        }
    }
    return found;
}

} // namespace zorvane::schedule
