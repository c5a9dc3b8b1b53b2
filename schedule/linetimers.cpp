#include "schedule/linetimers.h"

#include "text/textops.h"

#include <algorithm>
#include <charconv>
#include <set>
#include <utility>

namespace zorvane::schedule {
namespace {

constexpr std::string_view kLineSuffix = "线";
// A range is written out label by label: its length is bounded like a server's lines.
constexpr long kLongestRange = static_cast<long>(kMaxLinesPerServer);

bool isNumber(std::string_view text) {
    return !text.empty() && text.size() <= 6 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

long numberOf(std::string_view text) {
    long value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// The label without a trailing "线", for matching what a player typed.
std::string_view bareLabel(std::string_view label) {
    if (label.size() > kLineSuffix.size() && label.ends_with(kLineSuffix)) {
        label.remove_suffix(kLineSuffix.size());
    }
    return label;
}

bool distinctNonEmpty(const std::vector<std::string>& names) {
    std::set<std::string_view> seen;
    for (const std::string& name : names) {
        if (name.empty() || !seen.insert(name).second) {
            return false;
        }
    }
    return true;
}

} // namespace

std::optional<std::vector<std::string>> parseLineLabels(std::string_view text) {
    std::vector<std::string> labels;
    for (const std::string& rawPiece : text::split(text, ",")) {
        const std::string piece = text::trim(rawPiece);
        if (piece.empty()) {
            return std::nullopt;
        }
        const std::size_t dash = piece.find('-');
        if (dash != std::string::npos && dash > 0) {
            const std::string first = text::trim(piece.substr(0, dash));
            const std::string last = text::trim(piece.substr(dash + 1));
            if (!isNumber(first) || !isNumber(last)) {
                return std::nullopt;
            }
            const long from = numberOf(first);
            const long to = numberOf(last);
            if (to < from || to - from >= kLongestRange) {
                return std::nullopt;
            }
            for (long n = from; n <= to; ++n) {
                labels.push_back(std::to_string(n));
            }
        } else {
            labels.push_back(piece);
        }
        if (labels.size() > kMaxLinesPerServer) {
            return std::nullopt;
        }
    }
    if (labels.empty() || !distinctNonEmpty(labels)) {
        return std::nullopt;
    }
    return labels;
}

std::string lineLabelsText(const std::vector<std::string>& labels) {
    std::string out;
    std::size_t i = 0;
    while (i < labels.size()) {
        std::size_t end = i;
        // A run of consecutive numbers, written as they are ("07" breaks a run).
        if (isNumber(labels[i]) && std::to_string(numberOf(labels[i])) == labels[i]) {
            while (end + 1 < labels.size() &&
                   labels[end + 1] == std::to_string(numberOf(labels[end]) + 1)) {
                ++end;
            }
        }
        if (!out.empty()) {
            out += ", ";
        }
        out += end >= i + 2 ? labels[i] + "-" + labels[end] : labels[i];
        if (end == i + 1) {
            out += ", " + labels[end];
        }
        i = end + 1;
    }
    return out;
}

std::string lineCaption(std::string_view label) {
    return isNumber(label) ? std::string(label) + std::string(kLineSuffix) : std::string(label);
}

std::string lineTitle(std::string_view boss, const LineKey& key) {
    std::string title = std::string(boss) + " " + lineCaption(key.line);
    if (!key.server.empty()) {
        title += " @ " + key.server;
    }
    return title;
}

std::string alertTitle(const Alert& alert) {
    if (alert.lineId == 0 && alert.line.empty()) {
        return alert.boss;
    }
    return lineTitle(alert.boss, LineKey{alert.server, alert.line});
}

std::string spokenLineTitle(std::string_view boss, const LineKey& key) {
    std::string said = std::string(boss) + " " + lineCaption(key.line);
    if (!key.server.empty()) {
        said += " " + key.server;
    }
    return said;
}

std::string spokenAlertTitle(const Alert& alert) {
    if (alert.lineId == 0 && alert.line.empty()) {
        return alert.boss;
    }
    return spokenLineTitle(alert.boss, LineKey{alert.server, alert.line});
}

bool LineBoard::setLines(RowId row, const BossLines& lines) {
    if (lines.lines.empty()) {
        if (!lines.servers.empty()) {
            return false;
        }
        removeRow(row);
        return true;
    }
    if (lines.lines.size() > kMaxLinesPerServer || lines.servers.size() > kMaxServersPerBoss ||
        !distinctNonEmpty(lines.lines) ||
        (!lines.servers.empty() && !distinctNonEmpty(lines.servers))) {
        return false;
    }
    const std::lock_guard lock(m_mutex);
    rowChanged(row);
    Entry& entry = m_rows[row];
    std::map<LineKey, LineTimer> kept;
    for (LineTimer& timer : entry.timers) {
        kept.emplace(timer.key, std::move(timer));
    }
    entry.lines = lines;
    entry.timers.clear();
    const std::vector<std::string> servers =
        lines.servers.empty() ? std::vector<std::string>{""} : lines.servers;
    entry.timers.reserve(servers.size() * lines.lines.size());
    for (const std::string& server : servers) {
        for (const std::string& label : lines.lines) {
            LineKey key{server, label};
            const auto old = kept.find(key);
            if (old != kept.end()) {
                entry.timers.push_back(std::move(old->second));
            } else {
                entry.timers.push_back(LineTimer{m_nextId++, std::move(key), {}, m_countNow});
            }
        }
    }
    return true;
}

void LineBoard::removeRow(RowId row) {
    const std::lock_guard lock(m_mutex);
    if (m_rows.erase(row) != 0) {
        rowChanged(row);
    }
}

bool LineBoard::hasLines(RowId row) const {
    const std::lock_guard lock(m_mutex);
    return m_rows.contains(row);
}

std::optional<BossLines> LineBoard::lines(RowId row) const {
    const std::lock_guard lock(m_mutex);
    const auto entry = m_rows.find(row);
    return entry == m_rows.end() ? std::nullopt : std::optional(entry->second.lines);
}

std::vector<RowId> LineBoard::rows() const {
    const std::lock_guard lock(m_mutex);
    std::vector<RowId> ids;
    ids.reserve(m_rows.size());
    for (const auto& [id, entry] : m_rows) {
        ids.push_back(id);
    }
    return ids;
}

std::vector<LineTimer> LineBoard::timers(RowId row) const {
    const std::lock_guard lock(m_mutex);
    const auto entry = m_rows.find(row);
    std::vector<LineTimer> timers;
    if (entry != m_rows.end()) {
        timers.reserve(entry->second.timers.size());
        for (const LineTimer& timer : entry->second.timers) {
            timers.push_back(current(timer));
        }
    }
    return timers;
}

std::optional<LineTimer> LineBoard::timer(RowId row, LineId line) const {
    const std::lock_guard lock(m_mutex);
    const LineTimer* found = const_cast<LineBoard*>(this)->find(row, line);
    return found ? std::optional(current(*found)) : std::nullopt;
}

LineTimer LineBoard::current(const LineTimer& timer) const {
    LineTimer moved = timer;
    if (!m_countNow || !timer.countedAt || *timer.countedAt == *m_countNow) {
        return moved;
    }
    if (moved.state.remainingSeconds) {
        *moved.state.remainingSeconds -= *m_countNow - *timer.countedAt;
    }
    if (moved.state.view) {
        moveViewOn(*moved.state.view, *m_countNow);
    }
    moved.countedAt = m_countNow;
    return moved;
}

void LineBoard::setCountNow(UtcSeconds now) {
    const std::lock_guard lock(m_mutex);
    m_countNow = now;
}

void LineBoard::lineChanged(RowId row, LineId line) {
    if (m_changes.all) {
        return;
    }
    if (m_changes.lines.size() >= kMaxKeptChanges) {
        m_changes = Changes{true, {}, {}};
        return;
    }
    m_changes.lines.emplace_back(row, line);
}

void LineBoard::rowChanged(RowId row) {
    if (m_changes.all) {
        return;
    }
    if (m_changes.rows.size() >= kMaxKeptChanges) {
        m_changes = Changes{true, {}, {}};
        return;
    }
    m_changes.rows.push_back(row);
}

LineBoard::Changes LineBoard::takeChanges() {
    const std::lock_guard lock(m_mutex);
    return std::exchange(m_changes, Changes{});
}

LineLookup LineBoard::findLine(RowId row, std::string_view server, std::string_view line,
                               LineId& found) const {
    const std::lock_guard lock(m_mutex);
    const auto entry = m_rows.find(row);
    if (entry == m_rows.end()) {
        return LineLookup::NoLines;
    }
    const std::vector<std::string>& servers = entry->second.lines.servers;
    if (server.empty() && servers.size() > 1) {
        return LineLookup::ServerNeeded;
    }
    const std::string wantedServer =
        server.empty() ? (servers.empty() ? std::string() : servers.front()) : std::string(server);
    if (!server.empty() &&
        std::find(servers.begin(), servers.end(), wantedServer) == servers.end()) {
        return LineLookup::UnknownServer;
    }
    const std::string typed = text::trim(line);
    const std::string_view wanted = bareLabel(typed);
    for (const LineTimer& timer : entry->second.timers) {
        if (timer.key.server == wantedServer &&
            (timer.key.line == typed || bareLabel(timer.key.line) == wanted)) {
            found = timer.id;
            return LineLookup::Found;
        }
    }
    return LineLookup::UnknownLine;
}

LineTimer* LineBoard::find(RowId row, LineId line) {
    const auto entry = m_rows.find(row);
    if (entry == m_rows.end()) {
        return nullptr;
    }
    for (LineTimer& timer : entry->second.timers) {
        if (timer.id == line) {
            return &timer;
        }
    }
    return nullptr;
}

std::optional<LineState> LineBoard::kill(RowId row, LineId line, UtcSeconds instant) {
    LineState killed;
    killed.lastKill = instant;
    return replace(row, line, killed);
}

bool LineBoard::restore(RowId row, LineId line, const LineState& state) {
    const std::lock_guard lock(m_mutex);
    LineTimer* timer = find(row, line);
    if (!timer) {
        return false;
    }
    timer->state = state;
    timer->countedAt = m_countNow;
    lineChanged(row, line);
    return true;
}

std::optional<LineState> LineBoard::clear(RowId row, LineId line) {
    return replace(row, line, LineState{});
}

std::optional<LineState> LineBoard::replace(RowId row, LineId line, LineState state) {
    const std::lock_guard lock(m_mutex);
    LineTimer* timer = find(row, line);
    if (!timer) {
        return std::nullopt;
    }
    lineChanged(row, line);
    LineState before = current(*timer).state;
    timer->state = std::move(state);
    timer->countedAt = m_countNow;
    return before;
}

bool LineBoard::setMarks(RowId row, LineId line, std::optional<UtcSeconds> upSince,
                         std::optional<UtcSeconds> missedAt) {
    const std::lock_guard lock(m_mutex);
    LineTimer* timer = find(row, line);
    if (!timer) {
        return false;
    }
    timer->state.upSince = upSince;
    timer->state.missedAt = missedAt;
    lineChanged(row, line);
    return true;
}

bool LineBoard::setPassResult(RowId row, LineId line, std::optional<UtcSeconds> expectedKill,
                              const LineState& result) {
    const std::lock_guard lock(m_mutex);
    LineTimer* timer = find(row, line);
    if (!timer || timer->state.lastKill != expectedKill) {
        return false;
    }
    timer->state = result;
    timer->countedAt = m_countNow;
    return true;
}

std::optional<LineTimer> LineBoard::soonest(RowId row) const {
    return soonestOf(row, nullptr);
}

std::optional<LineTimer> LineBoard::soonest(RowId row, const std::vector<LineId>& among) const {
    return soonestOf(row, &among);
}

std::optional<LineTimer> LineBoard::soonestOf(RowId row, const std::vector<LineId>* among) const {
    std::vector<LineId> wanted;
    if (among != nullptr) {
        wanted = *among;
        std::sort(wanted.begin(), wanted.end());
    }
    const std::lock_guard lock(m_mutex);
    const auto entry = m_rows.find(row);
    if (entry == m_rows.end() || entry->second.timers.empty()) {
        return std::nullopt;
    }
    // The first of equals wins: the grid's order breaks ties. The window asks this for every
    // folded boss it paints, so lines are compared as counted now without copying each one.
    const LineTimer* best = nullptr;
    std::pair<int, std::int64_t> bestUrgency;
    for (const LineTimer& timer : entry->second.timers) {
        if (among != nullptr && !std::binary_search(wanted.begin(), wanted.end(), timer.id)) {
            continue;
        }
        const std::pair<int, std::int64_t> now = currentUrgency(timer);
        if (best == nullptr || now < bestUrgency) {
            best = &timer;
            bestUrgency = now;
        }
    }
    return best != nullptr ? std::optional(current(*best)) : std::nullopt;
}

// Up lines first (the longest up), then the soonest due, then counted ones, then the rest.
std::pair<int, std::int64_t> LineBoard::currentUrgency(const LineTimer& timer) const {
    // As current() moves it on.
    const bool moves = m_countNow && timer.countedAt && *timer.countedAt != *m_countNow;
    const std::int64_t moved = moves ? *m_countNow - *timer.countedAt : 0;
    const LineState& state = timer.state;
    if (state.view && state.view->phase == SpawnPhase::Up) {
        const std::int64_t up = moves && state.view->upSince
                                    ? std::max<std::int64_t>(0, *m_countNow - *state.view->upSince)
                                    : state.view->upSeconds;
        return {0, -up};
    }
    if (state.remainingSeconds) {
        return {1, *state.remainingSeconds - moved};
    }
    return {state.lastKill ? 2 : 3, 0};
}

} // namespace zorvane::schedule
