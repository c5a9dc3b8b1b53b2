#include "schedule/linepass.h"

#include "schedule/cycle.h"
#include "schedule/leadtimes.h"
#include "text/textops.h"

namespace zorvane::schedule {
namespace {

RowPhase phaseOf(const SpawnView& view, std::int64_t remaining, std::int64_t leadSeconds) {
    if (remaining <= 0) {
        return RowPhase::Due;
    }
    if (view.phase == SpawnPhase::WindowOpen) {
        return RowPhase::Window;
    }
    return remaining <= leadSeconds ? RowPhase::Lead : RowPhase::Counting;
}

SpawnFacts factsOf(const BossRow& row, const LineState& state) {
    SpawnFacts facts;
    facts.periodMinutes = row.timing.periodMinutes;
    facts.delayMinutes = row.timing.delayMinutes;
    facts.lastKill = state.lastKill;
    facts.upSince = state.upSince;
    facts.missedAt = state.missedAt;
    return facts;
}

} // namespace

LinePass::LinePass(const BossTable& table, LineBoard& board, AlarmSink& alarm)
    : m_table(table), m_board(board), m_alarm(alarm) {}

void LinePass::afterPass(UtcSeconds now, long long warnMinutes,
                         const std::vector<int>& extraLeadMinutes) {
    const std::uint64_t pass = ++m_passes;
    const std::int64_t leadSeconds = 60LL * warnMinutes;
    const std::vector<PassLead> globalLeads = passLeads(warnMinutes, extraLeadMinutes);
    bool counting = false;
    for (const RowId rowId : m_board.rows()) {
        const std::optional<BossRow> row = m_table.rowWithoutCountdownText(rowId);
        if (!row) {
            continue;
        }
        const std::string boss = text::trim(row->text[kNameColumn]);
        const std::int32_t period = row->timing.periodMinutes;
        const std::int32_t delay = row->timing.delayMinutes;
        const std::int64_t cycleLength = cycleSeconds(period, delay);
        const SpawnRule& rule = row->timing.spawn;
        const std::vector<PassLead> ownLeads =
            row->timing.leadMinutes ? passLeads(warnMinutes, *row->timing.leadMinutes)
                                    : std::vector<PassLead>{};
        const std::vector<PassLead>& leads = row->timing.leadMinutes ? ownLeads : globalLeads;

        for (const LineTimer& timer : m_board.timers(rowId)) {
            auto [seen, fresh] = m_memory.try_emplace(timer.id);
            CycleMemory& cycle = seen->second;
            if (fresh || cycle.kill != timer.state.lastKill) {
                cycle = CycleMemory{timer.state.lastKill, std::nullopt, {}, 0};
            }
            cycle.pass = pass;
            LineState result = timer.state;
            const auto alertOf = [&](std::int64_t secondsLeft, std::optional<int> minutes,
                                     bool chime, SpawnPhase phase) {
                Alert alert;
                alert.rowId = rowId;
                alert.boss = boss;
                alert.rowNumber = m_table.rowIndex(rowId);
                alert.secondsLeft = secondsLeft;
                alert.leadMinutes = minutes;
                alert.chime = chime;
                alert.phase = phase;
                alert.lineId = timer.id;
                alert.server = timer.key.server;
                alert.line = timer.key.line;
                return alert;
            };

            const bool counts = rule.kind == SpawnKind::AfterKill && timer.state.lastKill &&
                                cycleLength >= kShortestDatedCycle;
            if (!counts) {
                const SpawnView view = spawnView(rule, factsOf(*row, timer.state), now);
                result.view = view;
                result.remainingSeconds =
                    view.earliest ? std::optional(*view.earliest - now) : std::nullopt;
                result.phase = result.remainingSeconds
                                   ? phaseOf(view, *result.remainingSeconds, leadSeconds)
                                   : RowPhase::Idle;
                counting = counting || result.remainingSeconds.has_value();
                m_board.setPassResult(rowId, timer.id, timer.state.lastKill, result);
                continue;
            }

            const UtcSeconds last = *timer.state.lastKill;
            const std::int64_t remaining = secondsUntilDue(last, period, delay, now);
            counting = true;
            // Each lead time once a cycle, on the pass that first finds the line at or below
            // it; a cycle first seen there announces only a lead time it is exactly at.
            const auto warnIfReached = [&](std::int64_t left, SpawnPhase phase) {
                if (!row->use) {
                    return;
                }
                for (const PassLead& lead : leads) {
                    if ((!lead.chime && lead.seconds >= 60LL * period) ||
                        cycle.warned.contains(lead.key())) {
                        continue;
                    }
                    const bool reached =
                        cycle.previousRemaining
                            ? *cycle.previousRemaining > lead.seconds && left <= lead.seconds
                            : left == lead.seconds;
                    if (reached) {
                        cycle.warned.insert(lead.key());
                        m_alarm.alert(alertOf(left, lead.minutes, lead.chime, phase));
                    }
                }
            };

            SpawnView view = spawnView(rule, factsOf(*row, timer.state), now);
            if (remaining > -kLatePassSeconds) {
                warnIfReached(remaining, view.phase);
            }
            cycle.previousRemaining = remaining;
            if (remaining > 0) {
                result.view = view;
                result.remainingSeconds = remaining;
                result.phase = phaseOf(view, remaining, leadSeconds);
                m_board.setPassResult(rowId, timer.id, last, result);
                continue;
            }

            // Due: the next cycle starts where this one ended, and the boss is up since then.
            const CycleStart start = currentCycleStart(last, cycleLength, now);
            result.lastKill = start.start;
            result.upSince = start.start;
            result.missedAt.reset();
            const std::int64_t newRemaining = secondsUntilDue(start.start, period, delay, now);
            result.remainingSeconds = newRemaining;
            result.phase = RowPhase::Due;
            result.view = spawnView(rule, factsOf(*row, result), now);
            if (!m_board.setPassResult(rowId, timer.id, last, result)) {
                continue; // a kill came meanwhile
            }
            if (row->use && remaining > -kLatePassSeconds) {
                m_alarm.alert(alertOf(remaining, std::nullopt, false, SpawnPhase::Up));
            }
            if (m_killLog) {
                KillRecord record{boss, start.start, period, delay, KillSource::RollOver, {}};
                record.server = timer.key.server;
                record.line = timer.key.line;
                m_killLog->recordKill(record);
            }
            cycle.kill = start.start;
            cycle.warned.clear();
            cycle.previousRemaining = cycleLength;
            warnIfReached(newRemaining, result.view->phase);
            cycle.previousRemaining = newRemaining;
        }
    }
    // Lines that are gone are forgotten.
    std::erase_if(m_memory, [pass](const auto& entry) { return entry.second.pass != pass; });
    // The grid paints the counts of lines on screen when told that counts moved; the table's
    // own rows may have none that count.
    if (counting) {
        m_table.notifyCountdownsMoved();
    }
}

} // namespace zorvane::schedule
