#include "schedule/tick.h"

#include "schedule/cycle.h"
#include "schedule/datetime.h"
#include "schedule/instant.h"
#include "schedule/leadtimes.h"
#include "schedule/timetext.h"
#include "text/numbers.h"
#include "text/textops.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <utility>
#include <vector>

namespace zorvane::schedule {
namespace {

RowPhase phaseOf(std::int64_t remaining, std::int64_t leadSeconds) {
    if (remaining <= 0) {
        return RowPhase::Due;
    }
    return remaining <= leadSeconds ? RowPhase::Lead : RowPhase::Counting;
}

// A row with a window says what its alerts say: within the warning minutes before the window
// opens (when they fall after the kill, as the opening's warning does), and then open until
// it is due. `remaining` runs to the window's end, `width` seconds after it opens.
RowPhase windowPhaseOf(std::int64_t remaining, std::int64_t width, std::int64_t leadSeconds,
                       std::int64_t periodSeconds) {
    if (remaining <= 0) {
        return RowPhase::Due;
    }
    if (remaining <= width) {
        return RowPhase::Window;
    }
    return leadSeconds > 0 && leadSeconds < periodSeconds && remaining - width <= leadSeconds
               ? RowPhase::Lead
               : RowPhase::Counting;
}

} // namespace

bool Tick::CycleMemory::sameRule(const SpawnRule& other) const {
    return rule ? rule->rule == other : other == SpawnRule{};
}

Tick::Tick(BossTable& table, const Clock& clock, const Settings& settings, AlarmSink& alarm,
           TickLock& lock)
    : m_table(table), m_clock(clock), m_settings(settings), m_alarm(alarm), m_lock(lock) {}

void Tick::onTick() {
    // One reading of the clock serves every row's countdown.
    const UtcSeconds passUtc = m_clock.instant();
    std::string warnText = m_settings.warnMinutesText();
    std::vector<int> extraMinutes = m_settings.extraLeadMinutes();
    const std::int64_t offset = localOffsetAt(passUtc);
    // Rows are read when their next moment comes or when they changed. All of them are
    // read when what every row depends on changed: the lead times, the computer's zone
    // (or its daylight-saving offset), or a clock set back, which moves every row's moments
    // away.
    const bool wholeByPass = !m_lastPass || passUtc < m_lastPass->utc ||
                             offset != m_lastPass->offset || warnText != m_lastPass->warnText ||
                             extraMinutes != m_lastPass->extraMinutes;
    const bool countsMove = m_lastPass && passUtc != m_lastPass->utc;
    const std::optional<UtcSeconds> previousPass =
        m_lastPass ? std::optional(m_lastPass->utc) : std::nullopt;
    m_lastPass = PassState{passUtc, offset, std::move(warnText), std::move(extraMinutes)};
    std::vector<RowId> ids;
    bool whole = wholeByPass;
    {
        const std::lock_guard guard(m_lock);
        m_table.setCountNow(passUtc);
        BossTable::EditedRows edited = m_table.takeEditedRows();
        whole = whole || edited.all;
        if (whole) {
            ids = m_table.rowIds();
        } else {
            ids = std::move(edited.ids);
            for (const WakeKey& key : m_queue.popDue(passUtc)) {
                ids.push_back(key.id);
            }
            // In display order, as a pass over every row would sound them; each once.
            std::vector<std::pair<int, RowId>> ordered;
            ordered.reserve(ids.size());
            for (const RowId id : ids) {
                ordered.emplace_back(m_table.rowIndex(id), id);
            }
            std::sort(ordered.begin(), ordered.end());
            ordered.erase(std::unique(ordered.begin(), ordered.end()), ordered.end());
            ids.clear();
            for (const auto& [index, id] : ordered) {
                ids.push_back(id);
            }
        }
    }
    if (whole) {
        m_queue.clear();
        m_counting.clear();
    }
    m_rowsRead = ids.size();
    if (ids.empty()) {
        if (whole) {
            m_memory.clear();
        }
        if (countsMove && !m_counting.empty()) {
            const std::lock_guard guard(m_lock);
            m_table.notifyCountdownsMoved();
        }
        if (m_hook) {
            // The lines count every pass, whether or not a row was read.
            m_hook->afterPass(passUtc, text::textToInteger(m_lastPass->warnText),
                              m_lastPass->extraMinutes);
        }
        return;
    }
    // Memory entries this pass keeps are stamped with its number and updated in place;
    // the rest go. Rebuilding the map every pass cost more than the pass.
    const std::uint64_t pass = ++m_passes;
    const FrozenClock passClock(passUtc);
    const long long warnMinutes = text::textToInteger(m_lastPass->warnText);
    const long long leadSeconds = 60LL * warnMinutes;
    // The warning minutes, then the extra lead times: the row's own list, else the
    // preferences' one.
    const std::vector<PassLead> globalLeads = passLeads(warnMinutes, m_lastPass->extraMinutes);
    // The pass tells the listener once, at its end, instead of once per row: of the rows
    // whose look changed, and that counts moved (their texts are made when read).
    CellBlock changed;
    bool moved = false;
    // Counts told as whole rows this pass; the other counts in seconds moved on.
    std::size_t toldWhole = 0;
    // Per row read: the next moment it must be read again (none: only when it changes),
    // and whether its count is kept in seconds.
    std::optional<UtcSeconds> wake;
    bool counted = false;
    const auto wakeNoLaterThan = [&](UtcSeconds at) {
        if (!wake || at < *wake) {
            wake = at;
        }
    };
    const auto count = [&](RowId id, std::int64_t remaining, RowPhase phase) {
        const BossTable::CountdownChange change =
            m_table.advanceCountdown(id, remaining, phase, &changed);
        moved = moved || change == BossTable::CountdownChange::Moved;
        counted = change != BossTable::CountdownChange::Gone;
        toldWhole += change == BossTable::CountdownChange::Row ? 1 : 0;
        return counted;
    };

    // Reads one row, sounds what is due and writes what changed; the pass's lock is held.
    const auto readRow = [&](RowId id) {
        // No countdown text is read: a pass over many rows makes none.
        const std::optional<BossRow> row = m_table.rowWithoutCountdownText(id);
        if (!row) {
            return;
        }
        const std::string& last = row->text[kLastTimeColumn];
        const std::string& next = row->text[kNextTimeColumn];
        const bool fixedTimes = row->timing.spawn.kind == SpawnKind::FixedTimes;
        if (!fixedTimes && (last.empty() || next.empty())) {
            if (row->timing.phase != RowPhase::Idle) {
                // The text stays as it was; the typed data no longer claims a count.
                m_table.stopCountdown(id, &changed);
            }
            return;
        }
        const std::string& periodText = row->text[kPeriodColumn];
        const std::string& delayText = row->text[kDelayColumn];
        const std::int32_t period = row->timing.periodMinutes;
        const std::int32_t delay = row->timing.delayMinutes;

        auto [seen, fresh] = m_memory.try_emplace(id);
        CycleMemory& cycle = seen->second;
        if (fresh || !cycle.texts.same(last, next, periodText, delayText) ||
            !cycle.sameRule(row->timing.spawn)) {
            // A row seen for the first time, or edited since: a new cycle.
            const std::optional<UtcSeconds> reminded = fresh ? std::nullopt : cycle.reminded;
            cycle = CycleMemory{CycleTexts(last, next, periodText, delayText),
                                std::nullopt,
                                {},
                                0,
                                row->timing.spawn == SpawnRule{}
                                    ? nullptr
                                    : std::make_unique<RuleMemory>(RuleMemory{
                                          row->timing.spawn, std::nullopt, std::nullopt}),
                                reminded};
        }
        // The count a crossing is judged against is the previous pass's, whether or not that
        // pass read this row: counts move on by arithmetic between the passes that read it.
        if (cycle.previousRemaining && previousPass) {
            *cycle.previousRemaining -= *previousPass - cycle.previousAt;
        }
        cycle.previousAt = passUtc;

        // Where the rule puts the boss, as the alerts of this pass tell it.
        SpawnPhase phaseNow = SpawnPhase::Unknown;
        const auto alertOf = [&](std::int64_t secondsLeft, std::optional<int> leadMinutes,
                                 bool chime) {
            Alert alert;
            alert.rowId = id;
            alert.boss = text::trim(row->text[kNameColumn]);
            alert.rowNumber = m_table.rowIndex(id);
            alert.secondsLeft = secondsLeft;
            alert.leadMinutes = leadMinutes;
            alert.chime = chime;
            alert.phase = phaseNow;
            return alert;
        };
        // Announces each lead time on the pass that first finds the row at or below it; a
        // cycle first seen there announces only a lead time it is exactly at. An extra lead
        // time as long as the period or longer would fall before the boss was killed: never.
        const std::vector<PassLead> ownLeads =
            row->timing.leadMinutes ? passLeads(warnMinutes, *row->timing.leadMinutes)
                                    : std::vector<PassLead>{};
        const std::vector<PassLead>& leads = row->timing.leadMinutes ? ownLeads : globalLeads;
        const auto warnIfReached = [&](std::int64_t now, std::int64_t longest) {
            if (!row->use) {
                return;
            }
            for (const PassLead& lead :
                 leadsReached(leads, cycle.previousRemaining, now, longest, cycle.warned)) {
                m_alarm.alert(alertOf(now, lead.minutes, lead.chime));
            }
        };

        // A window (a delay after the period) is announced the warning minutes before it
        // opens and as it opens, by the same crossing rule; the lead time only when it falls
        // after the kill. `width` is the window's length: the countdown runs to its end.
        const auto warnOfOpening = [&](std::int64_t remaining, std::int64_t width) {
            if (!row->use) {
                return;
            }
            const OpeningReached reached =
                openingReached(cycle.previousRemaining, remaining, width, leadSeconds,
                               60LL * row->timing.periodMinutes, cycle.warned);
            if (reached.lead) {
                Alert alert = alertOf(remaining - width, static_cast<int>(warnMinutes), false);
                alert.topic = AlertTopic::WindowOpening;
                alert.aboutUtc = passUtc + remaining - width;
                m_alarm.alert(alert);
            }
            if (reached.opened) {
                // Said and shown, not chimed: the warning minutes keep the one chime a cycle.
                Alert alert = alertOf(remaining, std::nullopt, false);
                alert.topic = AlertTopic::WindowOpening;
                alert.aboutUtc = passUtc + remaining - width;
                m_alarm.alert(alert);
            }
        };

        // Once per spawn nobody recorded a kill for, the rule's minutes after it, while the
        // pass is on time.
        const auto remindIfUnrecorded = [&](const SpawnView& view) {
            const std::int32_t minutes = row->timing.spawn.remindMinutes;
            const std::optional<UtcSeconds> spawn =
                row->use ? unrecordedSpawnDue(view, minutes, passUtc, cycle.reminded)
                         : std::nullopt;
            if (!spawn) {
                return;
            }
            cycle.reminded = spawn;
            Alert alert = alertOf(*spawn - passUtc, std::nullopt, true);
            alert.topic = AlertTopic::Unrecorded;
            alert.aboutUtc = *spawn;
            alert.minutesAfter = minutes;
            m_alarm.alert(alert);
        };

        // The moments the row must be read again at: each lead time, the last minute, the
        // window's warning and opening, the due moment; and the spawn's.
        const auto wakeForCount = [&](UtcSeconds base, std::int64_t remaining, std::int64_t width) {
            if (const auto at =
                    nextCountMoment(base, remaining, width, leadSeconds, leads, kDueSoonSeconds)) {
                wakeNoLaterThan(*at);
            }
        };
        const auto wakeForView = [&](const SpawnView& view) {
            if (const auto at = nextViewMoment(view, row->timing.spawn.remindMinutes, passUtc)) {
                wakeNoLaterThan(*at);
            }
        };

        if (fixedTimes) {
            // A fixed-times rule is never the default one: its memory is there.
            RuleMemory& spawns = *cycle.rule;
            if (!spawns.nextSpawn || passUtc >= *spawns.nextSpawn) {
                // A spawn came (or the row is new): sound it while the pass is on time,
                // then look up the spawns around now.
                if (spawns.nextSpawn && row->use &&
                    passUtc - *spawns.nextSpawn < kLatePassSeconds) {
                    phaseNow = SpawnPhase::Up;
                    m_alarm.alert(alertOf(*spawns.nextSpawn - passUtc, std::nullopt, false));
                }
                spawns.previousSpawn = previousFixedSpawn(row->timing.spawn, passUtc);
                spawns.nextSpawn = nextFixedSpawn(row->timing.spawn, passUtc);
                cycle.warned.clear();
                cycle.previousRemaining =
                    spawns.nextSpawn && spawns.previousSpawn
                        ? std::optional(*spawns.nextSpawn - *spawns.previousSpawn)
                        : std::nullopt;
                if (spawns.nextSpawn) {
                    // Only when the spawn it stands for changed: the text is made once.
                    std::string newNext = clockTimeText(toLocal(*spawns.nextSpawn));
                    if (newNext != next &&
                        m_table.setCellTextsIf(id, {{kNextTimeColumn, next}},
                                               {{kNextTimeColumn, newNext}}, &changed)) {
                        cycle.texts = CycleTexts(last, newNext, periodText, delayText);
                    }
                }
            }
            const SpawnView view = fixedSpawnView(spawns.previousSpawn, spawns.nextSpawn,
                                                  spawnFactsOf(row->timing), passUtc);
            m_table.setSpawnView(id, view, &changed);
            phaseNow = view.phase;
            remindIfUnrecorded(view);
            wakeForView(view);
            if (!spawns.nextSpawn) {
                cycle.pass = pass;
                return;
            }
            const std::int64_t remaining = *spawns.nextSpawn - passUtc;
            // A lead time longer than the gap between two spawns would fall before the last.
            warnIfReached(remaining, spawns.previousSpawn
                                         ? *spawns.nextSpawn - *spawns.previousSpawn
                                         : remaining + 1);
            cycle.previousRemaining = remaining;
            wakeForCount(passUtc, remaining, 0);
            if (count(id, remaining, phaseOf(remaining, leadSeconds))) {
                cycle.pass = pass;
            }
            return;
        }

        const std::int64_t cycleLength = cycleSeconds(period, delay);
        std::optional<UtcSeconds> lastUtc = row->timing.lastUtc;
        if (!lastUtc && cycleLength >= kShortestDatedCycle) {
            // Read once; kept until the last time changes.
            lastUtc = deriveLastInstant(last, passUtc);
            if (lastUtc) {
                m_table.setLastInstantIf(id, last, *lastUtc);
            }
        }
        const bool dated = lastUtc && cycleLength >= kShortestDatedCycle;
        const std::int64_t remaining = dated
                                           ? secondsUntilDue(*lastUtc, period, delay, passUtc)
                                           : remainingSeconds(last, next, period, delay, passClock);
        if (dated) {
            SpawnFacts facts = spawnFactsOf(row->timing);
            facts.lastKill = lastUtc;
            const SpawnView view = spawnView(row->timing.spawn, facts, passUtc);
            m_table.setSpawnView(id, view, &changed);
            phaseNow = view.phase;
            remindIfUnrecorded(view);
            wakeForView(view);
        }

        if (!dated || remaining > -kLatePassSeconds) {
            warnIfReached(remaining, 60LL * period);
            if (dated && delay > 0) {
                warnOfOpening(remaining, 60LL * delay);
            }
        }
        cycle.previousRemaining = remaining;

        if (dated) {
            wakeForCount(passUtc, remaining, delay > 0 ? 60LL * delay : 0);
        } else {
            // Counted from its texts, which follow the computer's clock: read every pass.
            wakeNoLaterThan(passUtc + 1);
        }
        if (remaining > 0) {
            const RowPhase phase = dated && delay > 0 ? windowPhaseOf(remaining, 60LL * delay,
                                                                      leadSeconds, 60LL * period)
                                                      : phaseOf(remaining, leadSeconds);
            if (count(id, remaining, phase)) {
                cycle.pass = pass;
            }
            return;
        }

        // Due. The clock is read again: the pass may have taken a while (an alarm).
        const UtcSeconds nowUtc = m_clock.instant();
        UtcSeconds newLastUtc = 0;
        std::string newLast;
        std::int64_t newRemaining = 0;
        std::string countdown = formatCountdown(remaining);
        if (dated) {
            const CycleStart start = currentCycleStart(*lastUtc, cycleLength, nowUtc);
            newLastUtc = start.start;
            newLast = clockTimeText(toLocal(newLastUtc));
            newRemaining = secondsUntilDue(newLastUtc, period, delay, nowUtc);
            if (remaining <= -kLatePassSeconds) {
                countdown = formatCountdown(newRemaining);
            }
        } else {
            newLastUtc = nowUtc;
            newLast = clockTimeText(toLocal(nowUtc));
            newRemaining = remainingSeconds(newLast, nextTimeText(newLastUtc, period), period,
                                            delay, FrozenClock(nowUtc));
        }
        std::string newNext = nextTimeText(newLastUtc, period);
        // Only if nobody recorded a kill or edited the times since this pass read them.
        if (!m_table.setDatedCellTextsIf(
                id, {{kLastTimeColumn, last}, {kNextTimeColumn, next}, {kPeriodColumn, periodText}},
                {{kLastTimeColumn, newLast},
                 {kNextTimeColumn, newNext},
                 {kCountdownColumn, countdown}},
                newLastUtc, &changed)) {
            return;
        }
        m_table.setCountdown(id, countdown, dated ? newRemaining : remaining, RowPhase::Due,
                             &changed);
        if (dated) {
            // The boss came at the end of the window and nobody recorded it: up since then,
            // beside the new cycle's count, until a kill, a reset or the next roll-over.
            m_table.setSpawnMarks(id, newLastUtc, std::nullopt, &changed);
            SpawnFacts facts = spawnFactsOf(row->timing);
            facts.lastKill = newLastUtc;
            facts.upSince = newLastUtc;
            facts.missedAt.reset();
            m_table.setSpawnView(id, spawnView(row->timing.spawn, facts, nowUtc), &changed);
            phaseNow = SpawnPhase::Up;
        }
        if (row->use && (!dated || remaining > -kLatePassSeconds)) {
            m_alarm.alert(alertOf(remaining, std::nullopt, false));
        }
        if (m_killLog) {
            m_killLog->recordKill(KillRecord{text::trim(row->text[kNameColumn]),
                                             newLastUtc,
                                             period,
                                             delay,
                                             KillSource::RollOver,
                                             {}});
        }
        // The new cycle counts from where it starts, so a later pass that lands inside
        // the lead time (the tick was stopped meanwhile) still warns, and a cycle
        // already inside its lead time when it is reached warns now.
        cycle.texts = CycleTexts(newLast, newNext, periodText, delayText);
        cycle.warned.clear();
        cycle.previousRemaining = dated ? cycleLength : newRemaining;
        if (dated) {
            warnIfReached(newRemaining, 60LL * period);
            cycle.previousRemaining = newRemaining;
        }
        // Its new cycle is read afresh on the next pass.
        wakeNoLaterThan(nowUtc + 1);
        cycle.pass = pass;
    };

    for (const RowId id : ids) {
        wake.reset();
        counted = false;
        const std::lock_guard guard(m_lock);
        readRow(id);
        const auto kept = m_memory.find(id);
        const WakeKey key{kRowWakes, id};
        if (kept == m_memory.end() || kept->second.pass != pass) {
            // Gone, or skipped: forgotten until it changes.
            if (kept != m_memory.end()) {
                m_memory.erase(kept);
            }
            m_queue.cancel(key);
            m_counting.erase(id);
            continue;
        }
        if (wake) {
            m_queue.schedule(key, *wake);
        } else {
            m_queue.cancel(key);
        }
        if (counted) {
            m_counting.insert(id);
        } else {
            m_counting.erase(id);
        }
    }
    if (whole) {
        // Rows that are gone are forgotten.
        std::erase_if(m_memory, [pass](const auto& entry) { return entry.second.pass != pass; });
    }
    if (m_hook) {
        // The lines of rows that have them, with this pass's reading of clock and settings.
        m_hook->afterPass(passUtc, warnMinutes, m_lastPass->extraMinutes);
    }
    const std::lock_guard guard(m_lock);
    m_table.notifyCells(changed);
    // Counts kept in seconds moved on with the clock, read by this pass or not.
    if (moved || (countsMove && m_counting.size() > toldWhole)) {
        m_table.notifyCountdownsMoved();
    }
}

} // namespace zorvane::schedule
