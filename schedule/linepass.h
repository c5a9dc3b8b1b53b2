#pragma once
// The once-a-second pass over the lines of rows that have them (schedule/linetimers.h):
// counts each line down with its row's rule, period, delay and lead times, rolls a due line
// over to its next cycle, and sends one alert per line and lead time per cycle, naming the
// line and server. The tick runs it after its own pass through TickHook.
//
// A fixed-times rule spawns the boss on every line at once: the row's own pass sounds it,
// and the lines only follow their kills and marks (no alerts of their own). Lines count
// only with a kill and a cycle of at least kShortestDatedCycle.

#include "schedule/bosstable.h"
#include "schedule/linetimers.h"
#include "schedule/services.h"
#include "schedule/tick.h"

#include <cstdint>
#include <optional>
#include <set>
#include <unordered_map>
#include <vector>

namespace zorvane::schedule {

class LinePass final : public TickHook {
public:
    // All three must outlive the pass.
    LinePass(const BossTable& table, LineBoard& board, AlarmSink& alarm);

    // Where roll-overs are recorded; nullptr (the default) records nothing.
    void setKillLog(KillLog* log) { m_killLog = log; }

    // One pass over every line of every row with lines at `now`; `warnMinutes` and
    // `extraLeadMinutes` are the preferences' as the tick read them.
    void afterPass(UtcSeconds now, long long warnMinutes,
                   const std::vector<int>& extraLeadMinutes) override;

private:
    // One cycle of a line as the pass saw it.
    struct CycleMemory {
        std::optional<UtcSeconds> kill;
        std::optional<std::int64_t> previousRemaining;
        std::set<std::int64_t> warned;
        std::uint64_t pass = 0;
    };

    const BossTable& m_table;
    LineBoard& m_board;
    AlarmSink& m_alarm;
    KillLog* m_killLog = nullptr;
    std::unordered_map<LineId, CycleMemory> m_memory;
    std::uint64_t m_passes = 0;
};

} // namespace zorvane::schedule
