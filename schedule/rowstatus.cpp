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
        SpawnFacts facts = spawnFactsOf(row.timing);
        if (row.timing.spawn.kind == SpawnKind::FixedTimes) {
            status.spawn = spawnView(row.timing.spawn, facts, nowUtc);
            if (status.spawn.earliest) {
                status.remaining = status.spawn.secondsLeft;
                status.nextTime = clockTimeText(toLocal(*status.spawn.earliest));
            }
            statuses.push_back(std::move(status));
            continue;
        }
        if (last.empty() || status.nextTime.empty()) {
            status.spawn = spawnView(row.timing.spawn, facts, nowUtc);
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
            facts.lastKill = lastUtc;
            if (remaining <= 0) {
                const UtcSeconds start = currentCycleStart(*lastUtc, cycle, nowUtc).start;
                remaining = secondsUntilDue(start, period, delay, nowUtc);
                status.nextTime = nextTimeText(start, period);
                // Rolled over as the tick would: up since the window ended, nobody killed it.
                facts.lastKill = start;
                facts.upSince = start;
                facts.missedAt.reset();
            }
            status.remaining = remaining;
            status.spawn = spawnView(row.timing.spawn, facts, nowUtc);
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
            status.spawn.phase = SpawnPhase::Waiting;
            status.spawn.secondsLeft = remaining;
        }
        statuses.push_back(std::move(status));
    }
    return statuses;
}

std::vector<LineStatus> lineStatuses(const BossRow& row, const std::vector<LineTimer>& timers,
                                     UtcSeconds now) {
    std::vector<LineStatus> statuses;
    statuses.reserve(timers.size());
    const std::int32_t period = row.timing.periodMinutes;
    const std::int32_t delay = row.timing.delayMinutes;
    const std::int64_t cycle = cycleSeconds(period, delay);
    for (const LineTimer& timer : timers) {
        LineStatus status;
        status.key = timer.key;
        status.killed = timer.state.lastKill.has_value();
        SpawnFacts facts{period, delay, timer.state.lastKill, timer.state.upSince,
                         timer.state.missedAt};
        if (row.timing.spawn.kind == SpawnKind::AfterKill && timer.state.lastKill &&
            cycle >= kShortestDatedCycle) {
            UtcSeconds last = *timer.state.lastKill;
            if (secondsUntilDue(last, period, delay, now) <= 0) {
                last = currentCycleStart(last, cycle, now).start;
                facts = SpawnFacts{period, delay, last, last, std::nullopt};
            }
            status.remaining = secondsUntilDue(last, period, delay, now);
            status.nextTime = nextTimeText(last, period);
        }
        status.spawn = spawnView(row.timing.spawn, facts, now);
        if (row.timing.spawn.kind == SpawnKind::FixedTimes && status.spawn.earliest) {
            status.remaining = status.spawn.secondsLeft;
            status.nextTime = clockTimeText(toLocal(*status.spawn.earliest));
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
