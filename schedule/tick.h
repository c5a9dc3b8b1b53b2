#pragma once
// The once-a-second pass over the boss table: counts every row down, rolls a due
// row over to its next cycle and sounds the early warning of checked rows.

#include "schedule/bosstable.h"
#include "schedule/clock.h"
#include "schedule/cycle.h"
#include "schedule/cycletexts.h"
#include "schedule/services.h"
#include "schedule/wakequeue.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace zorvane::schedule {

// The lock a pass holds while it reads the row list and while it updates one row;
// the window layer hands in its tick lock.
class TickLock {
public:
    virtual ~TickLock() = default;
    virtual void lock() = 0;
    virtual void unlock() = 0;
};

// Told after every pass, on the tick's thread, with the pass's reading of the clock and of
// the warning and extra lead minutes (the line timers run here).
class TickHook {
public:
    virtual ~TickHook() = default;
    virtual void afterPass(UtcSeconds now, long long warnMinutes,
                           const std::vector<int>& extraLeadMinutes) = 0;
};

// Runs the passes of one timer: one pass at a time, from one thread at a time.
// A pass reads a row when the row's next moment comes (a lead time, the last minute, a
// window's opening, the due moment, a reminder) or when the table says it changed; in
// between its count moves on by arithmetic (BossTable::setCountNow). The settings are read
// afresh every pass; none of what the tick keeps between passes goes to the files.
class Tick {
public:
    // All five must outlive the tick.
    Tick(BossTable& table, const Clock& clock, const Settings& settings, AlarmSink& alarm,
         TickLock& lock);

    // Where roll-overs are recorded; nullptr (the default) records nothing. Set it before
    // the timer starts; it must outlive the tick.
    void setKillLog(KillLog* log) { m_killLog = log; }
    // Run after each pass; nullptr (the default) for none. Set it before the timer starts;
    // it must outlive the tick.
    void setHook(TickHook* hook) { m_hook = hook; }

    // One pass: the rows whose moment came or that changed, in display order, or every row
    // when the warning minutes or lead times changed, the computer's zone or its offset
    // changed, or the clock was set back. A row with an empty last or next time is left as
    // it is; a row deleted meanwhile is skipped. Rows are written by id, several cells at
    // once, so no other row is ever written. Nothing is saved. What is sounded and shown is
    // what a pass reading every row would sound and show.
    //
    // A row whose last time stands for an instant counts down to last + period + delay;
    // when it is due its next cycle starts where the old one became due (whole cycles
    // after the last time), so passes that come late, a stopped tick or a restart never
    // shift the schedule. A row whose cycle is shorter than a minute, or whose last
    // time holds no time of day, counts from its next-time text, is read every pass and
    // starts again at the moment the pass finds it due.
    void onTick();

    // How many rows the last pass read: those whose next moment came and those that changed.
    std::size_t rowsReadLastPass() const { return m_rowsRead; }

private:
    struct PassLeads;
    // One pass over a row with fixed spawn times: counts down to the next spawn, writes the
    // next time when the spawn it stands for changes, warns before a spawn and sounds when
    // it comes. No kill is needed to start the next: the last time keeps the last kill.
    void fixedTimesRow(const BossRow& row, UtcSeconds now, std::uint64_t pass,
                       const PassLeads& leads, CellBlock& changed);

    // A rule other than the default one, and for fixed times the spawns around the last
    // pass, looked up again only when the next one has come. Out of line: most rows keep
    // the default rule, and the tick keeps one memory per counting row.
    struct RuleMemory {
        SpawnRule rule;
        std::optional<UtcSeconds> previousSpawn;
        std::optional<UtcSeconds> nextSpawn;
    };
    // One cycle of a row as the tick saw it: the texts that define it, the
    // remaining seconds of the previous pass, and whether it has sounded.
    struct CycleMemory {
        CycleTexts texts; // last, next, period, delay
        std::optional<std::int64_t> previousRemaining;
        std::set<std::int64_t> warned; // the lead times announced this cycle
        std::uint64_t pass = 0;        // the last pass that kept this entry
        // The rule the cycle was read with; none for the default rule.
        std::unique_ptr<RuleMemory> rule;
        // The unrecorded spawn the player was last reminded of.
        std::optional<UtcSeconds> reminded;
        UtcSeconds previousAt = 0; // the pass previousRemaining was counted at

        bool sameRule(const SpawnRule& other) const;
    };

    BossTable& m_table;
    const Clock& m_clock;
    const Settings& m_settings;
    AlarmSink& m_alarm;
    TickLock& m_lock;
    KillLog* m_killLog = nullptr;
    TickHook* m_hook = nullptr;
    std::unordered_map<RowId, CycleMemory> m_memory;
    std::uint64_t m_passes = 0;
    // When each row must be read again; a row is also read when the table says it changed.
    WakeQueue m_queue;
    // The rows whose count is kept in seconds: their texts move on with every pass.
    std::unordered_set<RowId> m_counting;
    // What the last pass read that every row depends on.
    struct PassState {
        UtcSeconds utc = 0;
        std::int64_t offset = 0;
        std::string warnText;
        std::vector<int> extraMinutes;
    };
    std::optional<PassState> m_lastPass;
    std::size_t m_rowsRead = 0;
};

} // namespace zorvane::schedule
