#include "schedule/linepass.h"

#include "schedule/cycle.h"
#include "schedule/instant.h"
#include "schedule/leadtimes.h"
#include "text/textops.h"

#include <algorithm>
#include <unordered_set>
#include <utility>

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
    m_board.setCountNow(now);
    const std::int64_t offset = localOffsetAt(now);
    // Every line is read when what they all depend on changed: the lead times, the
    // computer's zone (or its offset), or a clock set back, which moves every moment away.
    bool whole = !m_lastPass || now < m_lastPass->now || offset != m_lastPass->offset ||
                 warnMinutes != m_lastPass->warnMinutes ||
                 extraLeadMinutes != m_lastPass->extraMinutes;
    const std::optional<UtcSeconds> previousPass =
        m_lastPass ? std::optional(m_lastPass->now) : std::nullopt;
    m_lastPass = PassState{now, offset, warnMinutes, extraLeadMinutes};
    LineBoard::Changes changes = m_board.takeChanges();
    whole = whole || changes.all;
    m_linesRead = 0;

    // What to read: whole rows, and single lines by row.
    std::unordered_set<RowId> wholeRows(changes.rows.begin(), changes.rows.end());
    std::unordered_map<RowId, std::unordered_set<LineId>> lines;
    for (const auto& [row, line] : changes.lines) {
        lines[row].insert(line);
    }
    if (whole) {
        m_queue.clear();
    } else {
        for (const WakeKey& key : m_queue.popDue(now)) {
            if (const auto row = m_lineRows.find(key.id); row != m_lineRows.end()) {
                lines[row->second].insert(key.id);
            }
        }
    }

    // The rows with lines in display order, as a pass over every line would sound them.
    std::vector<std::pair<int, RowId>> ordered;
    for (const RowId id : m_board.rows()) {
        ordered.emplace_back(m_table.rowIndex(id), id);
    }
    std::sort(ordered.begin(), ordered.end());
    const auto forget = [this](RowId id) {
        const auto kept = m_rows.find(id);
        if (kept == m_rows.end()) {
            return;
        }
        for (const auto& [line, cycle] : kept->second.lines) {
            m_queue.cancel(WakeKey{kLineWakes, line});
            m_lineRows.erase(line);
            m_counting.erase(line);
        }
        m_rows.erase(kept);
    };
    // Rows that lost their lines, or left the table, are forgotten.
    std::unordered_set<RowId> onBoard;
    for (const auto& [index, id] : ordered) {
        onBoard.insert(id);
    }
    std::vector<RowId> gone;
    for (const auto& [id, memory] : m_rows) {
        if (!onBoard.contains(id)) {
            gone.push_back(id);
        }
    }
    for (const RowId id : gone) {
        forget(id);
    }

    const std::vector<PassLead> globalLeads = passLeads(warnMinutes, extraLeadMinutes);
    const PassContext pass{now, previousPass, warnMinutes, &globalLeads};
    for (const auto& [index, id] : ordered) {
        const std::optional<BossRow> row = m_table.rowWithoutCountdownText(id);
        if (!row) {
            forget(id);
            continue;
        }
        RowFacts facts{
            text::trim(row->text[kNameColumn]), row->use,          row->timing.periodMinutes,
            row->timing.delayMinutes,           row->timing.spawn, row->timing.leadMinutes};
        auto [kept, fresh] = m_rows.try_emplace(id);
        RowMemory& memory = kept->second;
        const bool readAll = whole || fresh || memory.facts != facts || wholeRows.contains(id);
        memory.facts = std::move(facts);
        const auto some = lines.find(id);
        if (!readAll && some == lines.end()) {
            continue;
        }
        std::unordered_map<LineId, CycleMemory> still;
        for (const LineTimer& timer : m_board.timers(id)) {
            const auto old = memory.lines.find(timer.id);
            if (!readAll && !some->second.contains(timer.id)) {
                if (old != memory.lines.end()) {
                    still.emplace(timer.id, std::move(old->second));
                }
                continue;
            }
            CycleMemory cycle = old != memory.lines.end() ? std::move(old->second) : CycleMemory{};
            const std::optional<UtcSeconds> wake = readLine(*row, timer, cycle, pass);
            ++m_linesRead;
            const WakeKey key{kLineWakes, timer.id};
            if (wake) {
                m_queue.schedule(key, *wake);
            } else {
                m_queue.cancel(key);
            }
            m_lineRows[timer.id] = id;
            if (cycle.counting) {
                m_counting.insert(timer.id);
            } else {
                m_counting.erase(timer.id);
            }
            still.emplace(timer.id, std::move(cycle));
        }
        // Lines the row no longer has are forgotten.
        for (const auto& [line, cycle] : memory.lines) {
            if (!still.contains(line)) {
                m_queue.cancel(WakeKey{kLineWakes, line});
                m_lineRows.erase(line);
                m_counting.erase(line);
            }
        }
        memory.lines = std::move(still);
    }
    // The grid paints the counts of lines on screen when told that counts moved.
    if (!m_counting.empty()) {
        m_table.notifyCountdownsMoved();
    }
}

std::optional<UtcSeconds> LinePass::readLine(const BossRow& row, const LineTimer& timer,
                                             CycleMemory& cycle, const PassContext& pass) {
    const UtcSeconds now = pass.now;
    const RowId rowId = row.id;
    std::optional<UtcSeconds> wake;
    const auto wakeNoLaterThan = [&](UtcSeconds at) {
        if (!wake || at < *wake) {
            wake = at;
        }
    };
    const std::int32_t period = row.timing.periodMinutes;
    const std::int32_t delay = row.timing.delayMinutes;
    const std::int64_t cycleLength = cycleSeconds(period, delay);
    const std::int64_t leadSeconds = 60LL * pass.warnMinutes;
    const SpawnRule& rule = row.timing.spawn;
    const std::vector<PassLead> ownLeads =
        row.timing.leadMinutes ? passLeads(pass.warnMinutes, *row.timing.leadMinutes)
                               : std::vector<PassLead>{};
    const std::vector<PassLead>& leads = row.timing.leadMinutes ? ownLeads : *pass.globalLeads;

    if (cycle.kill != timer.state.lastKill) {
        // A new kill (or a cleared one): a new cycle; the reminder stays with its spawn.
        cycle = CycleMemory{timer.state.lastKill, std::nullopt, 0, {}, cycle.reminded};
    }
    // The count a crossing is judged against is the previous pass's, whether or not that
    // pass read this line: counts move on by arithmetic between the passes that read it.
    if (cycle.previousRemaining && pass.previousPass) {
        *cycle.previousRemaining -= *pass.previousPass - cycle.previousAt;
    }
    cycle.previousAt = now;

    LineState result = timer.state;
    const auto alertOf = [&](std::int64_t secondsLeft, std::optional<int> minutes, bool chime,
                             SpawnPhase phase) {
        Alert alert;
        alert.rowId = rowId;
        alert.boss = text::trim(row.text[kNameColumn]);
        alert.rowNumber = m_table.rowIndex(rowId);
        alert.secondsLeft = secondsLeft;
        alert.leadMinutes = minutes;
        alert.chime = chime;
        alert.phase = phase;
        alert.lineId = timer.id;
        alert.server = timer.key.server;
        alert.line = timer.key.line;
        // The line's own due moment: the row's last time is not the line's.
        alert.aboutUtc = now + secondsLeft;
        return alert;
    };
    // The moments of the count and of the spawn, as a row's.
    const auto wakeForCount = [&](std::int64_t remaining, std::int64_t width) {
        if (const auto at = nextCountMoment(now, remaining, width, leadSeconds, leads)) {
            wakeNoLaterThan(*at);
        }
    };
    const auto wakeForView = [&](const SpawnView& view) {
        if (const auto at = nextViewMoment(view, rule.remindMinutes, now)) {
            wakeNoLaterThan(*at);
        }
    };

    const bool counts = rule.kind == SpawnKind::AfterKill && timer.state.lastKill &&
                        cycleLength >= kShortestDatedCycle;
    if (!counts) {
        const SpawnView view = spawnView(rule, factsOf(row, timer.state), now);
        result.view = view;
        result.remainingSeconds =
            view.earliest ? std::optional(*view.earliest - now) : std::nullopt;
        result.phase = result.remainingSeconds
                           ? phaseOf(view, *result.remainingSeconds, leadSeconds)
                           : RowPhase::Idle;
        cycle.counting = result.remainingSeconds.has_value();
        m_board.setPassResult(rowId, timer.id, timer.state.lastKill, result);
        wakeForView(view);
        if (result.remainingSeconds) {
            wakeForCount(*result.remainingSeconds, 0);
        }
        return wake;
    }

    const auto warnIfReached = [&](std::int64_t left, SpawnPhase phase) {
        if (!row.use) {
            return;
        }
        for (const PassLead& lead :
             leadsReached(leads, cycle.previousRemaining, left, 60LL * period, cycle.warned)) {
            m_alarm.alert(alertOf(left, lead.minutes, lead.chime, phase));
        }
    };
    // A window is announced the warning minutes before it opens and as it opens, as a row's.
    const auto warnOfOpening = [&](std::int64_t remaining, std::int64_t width, SpawnPhase phase) {
        if (!row.use) {
            return;
        }
        const OpeningReached reached = openingReached(cycle.previousRemaining, remaining, width,
                                                      leadSeconds, 60LL * period, cycle.warned);
        if (reached.lead) {
            Alert alert =
                alertOf(remaining - width, static_cast<int>(pass.warnMinutes), false, phase);
            alert.topic = AlertTopic::WindowOpening;
            m_alarm.alert(alert);
        }
        if (reached.opened) {
            // Said and shown, not chimed: the warning minutes keep the one chime a cycle.
            Alert alert = alertOf(remaining, std::nullopt, false, phase);
            alert.topic = AlertTopic::WindowOpening;
            alert.aboutUtc = now + remaining - width;
            m_alarm.alert(alert);
        }
    };
    const auto remindIfUnrecorded = [&](const SpawnView& view) {
        const std::optional<UtcSeconds> spawn =
            row.use ? unrecordedSpawnDue(view, rule.remindMinutes, now, cycle.reminded)
                    : std::nullopt;
        if (!spawn) {
            return;
        }
        cycle.reminded = spawn;
        Alert alert = alertOf(*spawn - now, std::nullopt, true, view.phase);
        alert.topic = AlertTopic::Unrecorded;
        alert.minutesAfter = rule.remindMinutes;
        m_alarm.alert(alert);
    };

    const UtcSeconds last = *timer.state.lastKill;
    const std::int64_t remaining = secondsUntilDue(last, period, delay, now);
    cycle.counting = true;
    const std::int64_t width = delay > 0 ? 60LL * delay : 0;
    SpawnView view = spawnView(rule, factsOf(row, timer.state), now);
    remindIfUnrecorded(view);
    if (remaining > -kLatePassSeconds) {
        warnIfReached(remaining, view.phase);
        if (width > 0) {
            warnOfOpening(remaining, width, view.phase);
        }
    }
    cycle.previousRemaining = remaining;
    if (remaining > 0) {
        result.view = view;
        result.remainingSeconds = remaining;
        result.phase = phaseOf(view, remaining, leadSeconds);
        m_board.setPassResult(rowId, timer.id, last, result);
        wakeForView(view);
        wakeForCount(remaining, width);
        return wake;
    }

    // Due: the next cycle starts where this one ended, and the boss is up since then.
    const CycleStart start = currentCycleStart(last, cycleLength, now);
    result.lastKill = start.start;
    result.upSince = start.start;
    result.missedAt.reset();
    const std::int64_t newRemaining = secondsUntilDue(start.start, period, delay, now);
    result.remainingSeconds = newRemaining;
    result.phase = RowPhase::Due;
    result.view = spawnView(rule, factsOf(row, result), now);
    if (!m_board.setPassResult(rowId, timer.id, last, result)) {
        return now + 1; // a kill came meanwhile: read it on the next pass
    }
    if (row.use && remaining > -kLatePassSeconds) {
        m_alarm.alert(alertOf(remaining, std::nullopt, false, SpawnPhase::Up));
    }
    if (m_killLog) {
        KillRecord record{text::trim(row.text[kNameColumn]),
                          start.start,
                          period,
                          delay,
                          KillSource::RollOver,
                          {}};
        record.server = timer.key.server;
        record.line = timer.key.line;
        m_killLog->recordKill(record);
    }
    // The new cycle counts from where it starts, so a pass inside its lead time warns now.
    cycle.kill = start.start;
    cycle.warned.clear();
    cycle.previousRemaining = cycleLength;
    warnIfReached(newRemaining, result.view->phase);
    cycle.previousRemaining = newRemaining;
    // Its new cycle is read afresh on the next pass.
    return now + 1;
}

} // namespace zorvane::schedule
