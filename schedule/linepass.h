#pragma once
// The pass over the lines of rows that have them (schedule/linetimers.h): counts each line
// down with its row's rule, period, delay and lead times, rolls a due line over to its next
// cycle, and sends one alert per line and lead time per cycle, naming the line and server:
// the lead times and warning minutes, a window's warning and opening, the spawn, and the
// reminder of a spawn nobody recorded. The tick runs it after its own pass through TickHook.
//
// A line is read only when its next moment comes (kept in a WakeQueue under kLineWakes and
// the line's id) or when it changed: a kill, clear, undo or mark on the board, its row's
// lines set anew, its row's name, check box, period, delay, rule or own lead times edited.
// Every line is read when the warning minutes or lead times changed, the computer's zone or
// its offset changed, or the clock was set back. In between, the board moves the counts on
// by arithmetic (LineBoard::setCountNow); what is sounded and shown is what a pass reading
// every line would sound and show.
//
// A fixed-times rule spawns the boss on every line at once: the row's own pass sounds it,
// and the lines only follow their kills and marks (no alerts of their own). Lines count
// only with a kill and a cycle of at least kShortestDatedCycle.

#include "schedule/bosstable.h"
#include "schedule/leadtimes.h"
#include "schedule/linetimers.h"
#include "schedule/services.h"
#include "schedule/tick.h"
#include "schedule/wakequeue.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace zorvane::schedule {

class LinePass final : public TickHook {
public:
    // All three must outlive the pass.
    LinePass(const BossTable& table, LineBoard& board, AlarmSink& alarm);

    // Where roll-overs are recorded; nullptr (the default) records nothing.
    void setKillLog(KillLog* log) { m_killLog = log; }

    // One pass at `now` over the lines whose moment came or that changed; `warnMinutes` and
    // `extraLeadMinutes` are the preferences' as the tick read them.
    void afterPass(UtcSeconds now, long long warnMinutes,
                   const std::vector<int>& extraLeadMinutes) override;

    // How many lines the last pass read.
    std::size_t linesReadLastPass() const { return m_linesRead; }

private:
    // One cycle of a line as the pass saw it.
    struct CycleMemory {
        std::optional<UtcSeconds> kill;
        std::optional<std::int64_t> previousRemaining;
        UtcSeconds previousAt = 0; // the pass previousRemaining was counted at
        std::set<std::int64_t> warned;
        std::optional<UtcSeconds> reminded; // the unrecorded spawn last reminded of
        bool counting = false;              // the line has a count, which moves on between reads
    };
    // What a row's lines were last read with: an edit of any of it reads them all again.
    struct RowFacts {
        std::string name;
        bool use = false;
        std::int32_t period = 0;
        std::int32_t delay = 0;
        SpawnRule rule;
        std::optional<std::vector<int>> leadMinutes;
        bool operator==(const RowFacts&) const = default;
    };
    struct RowMemory {
        RowFacts facts;
        std::unordered_map<LineId, CycleMemory> lines;
    };
    // What one pass reads every line with.
    struct PassContext {
        UtcSeconds now = 0;
        std::optional<UtcSeconds> previousPass;
        long long warnMinutes = 0;
        const std::vector<PassLead>* globalLeads = nullptr;
    };
    // Reads one line, sounds what is due, writes its state and returns the next moment it
    // must be read at (none: only when it changes).
    std::optional<UtcSeconds> readLine(const BossRow& row, const LineTimer& timer,
                                       CycleMemory& cycle, const PassContext& pass);

    const BossTable& m_table;
    LineBoard& m_board;
    AlarmSink& m_alarm;
    KillLog* m_killLog = nullptr;
    std::unordered_map<RowId, RowMemory> m_rows;
    // When each line must be read again, and whose line each is.
    WakeQueue m_queue;
    std::unordered_map<LineId, RowId> m_lineRows;
    // The lines with a count: while there is one, the window is told every pass that counts
    // moved, as the table's own rows may have none that count.
    std::unordered_set<LineId> m_counting;
    // What the last pass read that every line depends on.
    struct PassState {
        UtcSeconds now = 0;
        std::int64_t offset = 0;
        long long warnMinutes = 0;
        std::vector<int> extraMinutes;
    };
    std::optional<PassState> m_lastPass;
    std::size_t m_linesRead = 0;
};

} // namespace zorvane::schedule
