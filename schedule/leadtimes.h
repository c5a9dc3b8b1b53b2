#pragma once
// Extra lead times: the minutes before a boss's next time at which it is announced, typed
// as a list such as "10, 1".

#include "schedule/spawnrule.h"
#include "text/message.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace zorvane::schedule {

// The longest lead time accepted, in minutes (one week); longer ones are typing mistakes.
inline constexpr int kMaxLeadMinutes = 7 * 24 * 60;
// The most lead times one list may hold.
inline constexpr std::size_t kMaxLeadTimes = 10;

struct [[nodiscard]] LeadTimes {
    std::vector<int> minutes; // distinct, largest first; empty for an empty list
    text::Message error;      // why the text was refused; empty when it was read
    bool ok() const { return error.empty(); }
};

// Reads whole minutes separated by commas, semicolons, "、" or blanks (full-width forms and
// digits too). Empty pieces are skipped and repeats kept once. A piece that is not a whole
// number from 1 to kMaxLeadMinutes, or more than kMaxLeadTimes values, refuses the whole text
// with a message naming the piece, so a typing mistake never silently drops a lead time.
LeadTimes parseLeadTimes(std::string_view text);

// The list as it is shown and stored: "10, 1".
std::string leadTimesText(const std::vector<int>& minutes);

// The lead times that can never sound for a row of that period: those at or above it, since
// they would fall before the boss was killed. None when the period is not a positive number
// of minutes (such a row never counts down).
std::vector<int> leadTimesNeverSounding(const std::vector<int>& minutes, int periodMinutes);

// Why some lead times never sound, for the row's tooltip; empty when all of them can. Its
// default text: "提前 30, 60 分钟的提醒不会响：不短于周期 30 分钟".
text::Message leadTimesNote(const std::vector<int>& minutes, int periodMinutes);

// A pass that finds a dated row or line due no later than this after its due moment is the
// running program's ordinary pass: the final count stays visible and the warning of the
// cycle that just ended may still sound. Later than that (the tick was stopped, the machine
// slept, the program was closed) the ended cycle is stale, and only the current one is shown
// and warned of.
inline constexpr std::int64_t kLatePassSeconds = 60;

// One lead time as a pass announces it; the warning minutes come first and alone sound the
// chime.
struct PassLead {
    std::int64_t seconds = 0;
    int minutes = 0;
    bool chime = false;
    // What a cycle remembers once it is announced: the warning minutes sound once a cycle
    // even when the box is changed meanwhile; extra lead times by their length.
    std::int64_t key() const { return chime ? -1 : seconds; }
};

// The warning minutes, then the extra lead times (`extra`: the row's own list, else the
// preferences' one) that differ from them.
std::vector<PassLead> passLeads(long long warnMinutes, const std::vector<int>& extra);

// What a count announces on one pass, for rows and lines alike. `previous` is the count
// the previous pass stood at (nullopt for a cycle first seen); a cycle first seen on a mark
// announces only a mark it is exactly at, else a mark is reached on the pass that first
// finds the count at or below it. `warned` holds what this cycle already announced.
bool crossedMark(std::optional<std::int64_t> previous, std::int64_t now, std::int64_t mark);

// The lead times reached at `now`, each once a cycle (recorded in `warned`). An extra lead
// time at or above `longest` would fall before the kill: never.
std::vector<PassLead> leadsReached(const std::vector<PassLead>& leads,
                                   std::optional<std::int64_t> previous, std::int64_t now,
                                   std::int64_t longest, std::set<std::int64_t>& warned);

// A window (`width` seconds before the due moment, which `remaining` runs to) is announced
// the warning minutes before it opens (only when that falls after the kill: shorter than
// the period) and as it opens, each once a cycle.
struct OpeningReached {
    bool lead = false;   // the warning minutes before the opening
    bool opened = false; // the opening itself
};
OpeningReached openingReached(std::optional<std::int64_t> previous, std::int64_t remaining,
                              std::int64_t width, std::int64_t leadSeconds,
                              std::int64_t periodSeconds, std::set<std::int64_t>& warned);

// The spawn to remind of at `now`: once per spawn nobody recorded a kill for, the rule's
// `remindMinutes` after it, while the pass is on time (within kLatePassSeconds); nullopt
// otherwise, and for the spawn last reminded of (`reminded`).
std::optional<UtcSeconds> unrecordedSpawnDue(const SpawnView& view, std::int32_t remindMinutes,
                                             UtcSeconds now, std::optional<UtcSeconds> reminded);

// When a pass at `now` must read a count again, whose due moment is `remaining` seconds away:
// the due moment, the warning minutes, each lead time, a window's opening and its warning
// (`width` > 0), and `alsoAt` seconds before the due moment (0: none). nullopt when none
// is ahead.
std::optional<UtcSeconds> nextCountMoment(UtcSeconds now, std::int64_t remaining,
                                          std::int64_t width, std::int64_t leadSeconds,
                                          const std::vector<PassLead>& leads,
                                          std::int64_t alsoAt = 0);
// And for the spawn: its moments ahead, every second while a window is open (its progress
// shows), the reminder of a spawn nobody recorded.
std::optional<UtcSeconds> nextViewMoment(const SpawnView& view, std::int32_t remindMinutes,
                                         UtcSeconds now);

} // namespace zorvane::schedule
