#include "schedule/spawnrule.h"

#include "schedule/cycle.h"
#include "text/numbers.h"
#include "text/textops.h"

#include <algorithm>
#include <cstdio>

namespace zorvane::schedule {
namespace {

constexpr std::int32_t kSecondsPerDay = 86400;
// Two weeks of days either side: every weekday pattern has a spawn within one.
constexpr int kSearchDays = 15;

bool onWeekday(const SpawnRule& rule, int weekday) {
    return rule.weekdays == 0 || (rule.weekdays & (1u << weekday)) != 0;
}

// The spawns of wall day `day`, earliest first. A time that occurs twice (clocks set back)
// spawns at its first reading; one the clocks skip spawns when the clocks reach it again,
// at the first instant after the gap.
std::vector<UtcSeconds> spawnsOnDay(const SpawnRule& rule, std::int64_t day) {
    std::vector<UtcSeconds> spawns;
    if (!onWeekday(rule, wallDay(day).weekday)) {
        return spawns;
    }
    for (const std::int32_t time : rule.times) {
        const std::vector<UtcSeconds> readings = rule.zone.instantsOf(day, time);
        if (!readings.empty()) {
            spawns.push_back(readings.front());
            continue;
        }
        // Skipped: the spawn comes as the clocks jump over it, at the first instant of the
        // new offset. Before the jump the offset is the earlier one, after it the later.
        const std::int64_t wall = day * kSecondsPerDay + time;
        const std::int32_t after = rule.zone.offsetAt(wall + kSecondsPerDay);
        UtcSeconds low = wall - after;                                      // still before it
        UtcSeconds high = wall - rule.zone.offsetAt(wall - kSecondsPerDay); // already after
        while (high - low > 1) {
            const UtcSeconds mid = low + (high - low) / 2;
            (rule.zone.offsetAt(mid) == after ? high : low) = mid;
        }
        spawns.push_back(high);
    }
    std::sort(spawns.begin(), spawns.end());
    return spawns;
}

bool readClock(std::string_view piece, std::int32_t& seconds) {
    const std::optional<ClockTime> time = readClockTime(std::string(piece) + ":00");
    const std::size_t colons =
        static_cast<std::size_t>(std::count(piece.begin(), piece.end(), ':'));
    if (colons == 2) {
        const std::optional<ClockTime> full = readClockTime(piece);
        if (!full || !full->valid() || full->hour > 23 || full->minute > 59 || full->second > 59) {
            return false;
        }
        seconds = static_cast<std::int32_t>(full->secondsOfDay());
        return true;
    }
    if (colons != 1 || !time || !time->valid() || time->hour > 23 || time->minute > 59) {
        return false;
    }
    seconds = static_cast<std::int32_t>(time->secondsOfDay());
    return true;
}

std::vector<std::string> words(std::string_view text) {
    const std::vector<std::string_view> pieces = text::words(text);
    return {pieces.begin(), pieces.end()};
}

bool allDigits(const std::string& word) {
    return !word.empty() && word.size() <= 6 &&
           std::all_of(word.begin(), word.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

bool SpawnRule::isDefault() const {
    return kind == SpawnKind::AfterKill && zone.isLocal() && restart == RestartAnchor::Unchanged &&
           remindMinutes == 0;
}

std::string timesOfDayText(const std::vector<std::int32_t>& times) {
    std::string text;
    for (const std::int32_t time : times) {
        char buffer[16];
        if (time % 60 == 0) {
            std::snprintf(buffer, sizeof buffer, "%02d:%02d", time / 3600, time / 60 % 60);
        } else {
            std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", time / 3600, time / 60 % 60,
                          time % 60);
        }
        text += text.empty() ? "" : " ";
        text += buffer;
    }
    return text;
}

std::optional<std::vector<std::int32_t>> parseTimesOfDay(std::string_view text) {
    std::string spaced(text);
    std::replace_if(
        spaced.begin(), spaced.end(), [](char c) { return c == ',' || c == ';'; }, ' ');
    std::vector<std::int32_t> times;
    for (const std::string& word : words(spaced)) {
        std::int32_t seconds = 0;
        if (!readClock(word, seconds)) {
            return std::nullopt;
        }
        times.push_back(seconds);
    }
    if (times.empty()) {
        return std::nullopt;
    }
    std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end()), times.end());
    return times;
}

std::string spawnRuleText(const SpawnRule& rule) {
    if (rule.isDefault()) {
        return {};
    }
    std::string text;
    if (rule.kind == SpawnKind::AfterKill) {
        text = "after";
    } else {
        text = "at " + timesOfDayText(rule.times);
        if (rule.weekdays != 0) {
            text += " on";
            for (int d = 0; d < 7; ++d) {
                if (rule.weekdays & (1u << d)) {
                    text += " " + text::integerText(d + 1);
                }
            }
        }
    }
    if (rule.restart == RestartAnchor::AsKill) {
        text += " restart kill";
    } else if (rule.restart == RestartAnchor::SpawnAfter) {
        text += " restart spawn " + text::integerText(rule.restartMinutes);
    }
    if (rule.remindMinutes > 0) {
        text += " remind " + text::integerText(rule.remindMinutes);
    }
    return text;
}

std::optional<SpawnRule> parseSpawnRule(std::string_view text) {
    const std::vector<std::string> w = words(text);
    SpawnRule rule;
    if (w.empty()) {
        return rule;
    }
    std::size_t i = 0;
    if (w[i] == "after") {
        ++i;
    } else if (w[i] == "at") {
        rule.kind = SpawnKind::FixedTimes;
        ++i;
        std::string times;
        while (i < w.size() && w[i] != "on" && w[i] != "restart" && w[i] != "remind") {
            times += w[i++] + " ";
        }
        std::optional<std::vector<std::int32_t>> read = parseTimesOfDay(times);
        if (!read) {
            return std::nullopt;
        }
        rule.times = std::move(*read);
        if (i < w.size() && w[i] == "on") {
            ++i;
            for (; i < w.size() && w[i] != "restart" && w[i] != "remind"; ++i) {
                if (w[i].size() != 1 || w[i][0] < '1' || w[i][0] > '7') {
                    return std::nullopt;
                }
                rule.weekdays = static_cast<std::uint8_t>(rule.weekdays | (1u << (w[i][0] - '1')));
            }
            if (rule.weekdays == 0) {
                return std::nullopt;
            }
        }
    } else {
        return std::nullopt;
    }
    if (i < w.size() && w[i] == "restart") {
        if (i + 1 < w.size() && w[i + 1] == "kill") {
            rule.restart = RestartAnchor::AsKill;
            i += 2;
        } else if (i + 2 < w.size() && w[i + 1] == "spawn" && allDigits(w[i + 2])) {
            rule.restart = RestartAnchor::SpawnAfter;
            rule.restartMinutes = static_cast<std::int32_t>(std::stoi(w[i + 2]));
            i += 3;
        } else {
            return std::nullopt;
        }
    }
    if (i < w.size() && w[i] == "remind") {
        if (i + 1 >= w.size() || !allDigits(w[i + 1])) {
            return std::nullopt;
        }
        rule.remindMinutes = static_cast<std::int32_t>(std::stoi(w[i + 1]));
        i += 2;
    }
    if (i < w.size()) {
        return std::nullopt;
    }
    return rule;
}

std::optional<UtcSeconds> nextFixedSpawn(const SpawnRule& rule, UtcSeconds after) {
    if (rule.kind != SpawnKind::FixedTimes || rule.times.empty()) {
        return std::nullopt;
    }
    const std::int64_t today = rule.zone.wallTime(after).dayNumber;
    for (std::int64_t day = today - 1; day <= today + kSearchDays; ++day) {
        for (const UtcSeconds spawn : spawnsOnDay(rule, day)) {
            if (spawn > after) {
                return spawn;
            }
        }
    }
    return std::nullopt;
}

std::optional<UtcSeconds> previousFixedSpawn(const SpawnRule& rule, UtcSeconds atOrBefore) {
    if (rule.kind != SpawnKind::FixedTimes || rule.times.empty()) {
        return std::nullopt;
    }
    const std::int64_t today = rule.zone.wallTime(atOrBefore).dayNumber;
    for (std::int64_t day = today + 1; day >= today - kSearchDays; --day) {
        const std::vector<UtcSeconds> spawns = spawnsOnDay(rule, day);
        for (auto it = spawns.rbegin(); it != spawns.rend(); ++it) {
            if (*it <= atOrBefore) {
                return *it;
            }
        }
    }
    return std::nullopt;
}

SpawnView spawnView(const SpawnRule& rule, const SpawnFacts& facts, UtcSeconds now) {
    if (rule.kind == SpawnKind::FixedTimes) {
        return fixedSpawnView(previousFixedSpawn(rule, now), nextFixedSpawn(rule, now), facts, now);
    }
    SpawnView view;
    if (facts.upSince && !(facts.missedAt && *facts.missedAt >= *facts.upSince)) {
        view.phase = SpawnPhase::Up;
        view.upSince = facts.upSince;
    }
    if (!facts.lastKill) {
        return view;
    }
    const UtcSeconds earliest = *facts.lastKill + 60LL * facts.periodMinutes;
    const UtcSeconds latest = earliest + 60LL * facts.delayMinutes;
    view.earliest = earliest;
    view.latest = latest;
    if (view.phase == SpawnPhase::Up) {
        view.secondsLeft = std::max<std::int64_t>(0, earliest - now);
    } else if (now < earliest) {
        view.phase = SpawnPhase::Waiting;
        view.secondsLeft = earliest - now;
    } else if (now < latest) {
        view.phase = SpawnPhase::WindowOpen;
        view.secondsLeft = latest - now;
        view.fraction =
            static_cast<double>(now - earliest) / static_cast<double>(latest - earliest);
    } else if (facts.missedAt && *facts.missedAt >= latest) {
        // Taken by others after it spawned: waiting for whoever records the next kill.
        view.phase = SpawnPhase::Waiting;
    } else {
        view.phase = SpawnPhase::Up;
        view.upSince = latest;
    }
    if (view.upSince) {
        view.upSeconds = std::max<std::int64_t>(0, now - *view.upSince);
    }
    return view;
}

SpawnView fixedSpawnView(std::optional<UtcSeconds> previous, std::optional<UtcSeconds> next,
                         const SpawnFacts& facts, UtcSeconds now) {
    SpawnView view;
    if (!next) {
        return view;
    }
    view.earliest = next;
    view.latest = next;
    view.secondsLeft = *next - now;
    const auto takenSince = [&](const std::optional<UtcSeconds>& at) {
        return at && previous && *at >= *previous;
    };
    if (previous && !takenSince(facts.lastKill) && !takenSince(facts.missedAt)) {
        view.phase = SpawnPhase::Up;
        view.upSince = previous;
        view.upSeconds = now - *previous;
    } else {
        view.phase = SpawnPhase::Waiting;
    }
    return view;
}

SpawnFacts afterRestart(const SpawnRule& rule, const SpawnFacts& facts, UtcSeconds restart) {
    SpawnFacts moved = facts;
    switch (rule.restart) {
    case RestartAnchor::Unchanged:
        break;
    case RestartAnchor::AsKill:
        if (rule.kind == SpawnKind::AfterKill) {
            moved.lastKill = restart;
        } else {
            moved.missedAt = restart;
        }
        moved.upSince.reset();
        break;
    case RestartAnchor::SpawnAfter:
        if (rule.kind == SpawnKind::AfterKill) {
            // The cycle is anchored so that its earliest moment is the spawn after restart.
            moved.lastKill = restart + 60LL * rule.restartMinutes - 60LL * facts.periodMinutes;
            moved.upSince.reset();
        }
        break;
    }
    return moved;
}

void moveViewOn(SpawnView& view, UtcSeconds now) {
    if (view.phase == SpawnPhase::WindowOpen && view.latest) {
        view.secondsLeft = *view.latest - now;
    } else if (view.earliest) {
        view.secondsLeft = std::max<std::int64_t>(0, *view.earliest - now);
    }
    if (view.upSince) {
        view.upSeconds = std::max<std::int64_t>(0, now - *view.upSince);
    }
}

} // namespace zorvane::schedule
