#include "schedule/tick.h"

#include "schedule/datetime.h"
#include "schedule/timetext.h"
#include "text/numbers.h"

#include <mutex>
#include <utility>
#include <vector>

namespace zorvane::schedule {

Tick::Tick(BossTable& table, const Clock& clock, const Settings& settings, AlarmSink& alarm,
           TickLock& lock)
    : m_table(table), m_clock(clock), m_settings(settings), m_alarm(alarm), m_lock(lock) {}

void Tick::onTick() {
    std::vector<RowId> ids;
    {
        const std::lock_guard guard(m_lock);
        ids = m_table.rowIds();
    }
    std::unordered_map<RowId, CycleMemory> memory;
    memory.reserve(ids.size());
    std::optional<long long> leadSeconds;
    // The pass tells the listener once, at its end, instead of once per row.
    CellBlock changed;

    for (const RowId id : ids) {
        const std::lock_guard guard(m_lock);
        const std::optional<BossRow> row = m_table.row(id);
        if (!row) {
            continue;
        }
        const std::string& last = row->text[kLastTimeColumn];
        const std::string& next = row->text[kNextTimeColumn];
        if (last.empty() || next.empty()) {
            continue;
        }
        const std::string& periodText = row->text[kPeriodColumn];
        const std::string& delayText = row->text[kDelayColumn];
        CycleMemory cycle;
        if (auto seen = m_memory.find(id);
            seen != m_memory.end() && seen->second.last == last && seen->second.next == next &&
            seen->second.period == periodText && seen->second.delay == delayText) {
            cycle = std::move(seen->second);
        } else {
            // A row seen for the first time, or edited since: a new cycle.
            cycle = CycleMemory{last, next, periodText, delayText, std::nullopt, false};
            cycle.periodMinutes = text::textToInteger(periodText);
            cycle.delayMinutes = text::textToInteger(delayText);
        }
        const std::int32_t period = cycle.periodMinutes;
        const std::int32_t delay = cycle.delayMinutes;
        const std::int32_t remaining = remainingSeconds(last, next, period, delay, m_clock);

        if (row->use) {
            if (!leadSeconds) {
                leadSeconds = 60LL * text::textToInteger(m_settings.warnMinutesText());
            }
            // Sounds on the pass that first finds the row at or below the lead time; a
            // cycle first seen there sounds only when it is exactly at the lead time.
            const bool reached =
                cycle.previousRemaining
                    ? *cycle.previousRemaining > *leadSeconds && remaining <= *leadSeconds
                    : remaining == *leadSeconds;
            if (reached && !cycle.warned) {
                cycle.warned = true;
                m_alarm.soundAlarm();
            }
        }
        cycle.previousRemaining = remaining;

        const std::string countdown = formatDuration(remaining, kCountdownPattern, true);
        if (remaining > 0) {
            if (m_table.setCellTexts(id, {{kCountdownColumn, countdown}}, &changed)) {
                memory.emplace(id, std::move(cycle));
            }
            continue;
        }
        // Due: the new cycle starts now; missed cycles are not caught up.
        const DateTime now = m_clock.now();
        std::string newLast = clockTimeText(now);
        std::string newNext = clockTimeText(addMinutes(now, period));
        // Only if nobody recorded a kill or edited the times since this pass read them.
        if (m_table.setCellTextsIf(
                id, {{kLastTimeColumn, last}, {kNextTimeColumn, next}, {kPeriodColumn, periodText}},
                {{kLastTimeColumn, newLast},
                 {kNextTimeColumn, newNext},
                 {kCountdownColumn, countdown}},
                &changed)) {
            // The new cycle counts from where it starts, so a later pass that lands
            // inside the lead time (the tick was stopped meanwhile) still warns.
            cycle.previousRemaining = remainingSeconds(newLast, newNext, period, delay, m_clock);
            cycle.last = std::move(newLast);
            cycle.next = std::move(newNext);
            cycle.warned = false;
            memory.emplace(id, std::move(cycle));
        }
    }
    {
        const std::lock_guard guard(m_lock);
        m_table.notifyCells(changed);
    }
    // Rows that are gone, or were skipped, are forgotten.
    m_memory = std::move(memory);
}

} // namespace zorvane::schedule
