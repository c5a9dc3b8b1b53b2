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
    // Entries this pass keeps are stamped with its number; the rest go at its end.
    const std::uint64_t pass = ++m_passes;
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
        auto [seen, fresh] = m_memory.try_emplace(id);
        CycleMemory& cycle = seen->second;
        if (fresh || cycle.last != last || cycle.next != next || cycle.period != periodText ||
            cycle.delay != delayText) {
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
                cycle.pass = pass;
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
            cycle.pass = pass;
        }
    }
    {
        const std::lock_guard guard(m_lock);
        m_table.notifyCells(changed);
    }
    // Rows that are gone, or were skipped, are forgotten.
    std::erase_if(m_memory, [pass](const auto& entry) { return entry.second.pass != pass; });
}

} // namespace zorvane::schedule
