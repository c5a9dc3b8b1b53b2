#pragma once
// The moments a timer has to wake for, one per key, earliest first: a pass pops what is
// due and leaves the rest alone, so its cost follows what happens, not how much is kept.

#include "schedule/instant.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

namespace zorvane::schedule {

// Whose moment it is: a source (the tick's rows are kRowWakes) and an id within it, so
// timers of another kind can share one queue without their ids meeting.
struct WakeKey {
    std::uint32_t source = 0;
    std::uint64_t id = 0;
    auto operator<=>(const WakeKey&) const = default;
};

inline constexpr std::uint32_t kRowWakes = 0;
// The line pass's lines (schedule/linepass.h), by line id.
inline constexpr std::uint32_t kLineWakes = 1;

class WakeQueue {
public:
    // Sets the key's moment, replacing the one it had.
    void schedule(WakeKey key, UtcSeconds at);
    // Keeps the earlier of the key's moment and `at`.
    void scheduleNoLaterThan(WakeKey key, UtcSeconds at);
    void cancel(WakeKey key);
    std::optional<UtcSeconds> momentOf(WakeKey key) const;
    // The earliest moment; nullopt when nothing waits.
    std::optional<UtcSeconds> next() const;
    // Takes out every key whose moment is at or before `now`, earliest first (keys of one
    // moment in key order).
    std::vector<WakeKey> popDue(UtcSeconds now);
    std::size_t size() const { return m_moments.size(); }
    bool empty() const { return m_moments.empty(); }
    void clear();

private:
    struct KeyHash {
        std::size_t operator()(const WakeKey& key) const {
            return std::hash<std::uint64_t>()(key.id) ^ (std::size_t{key.source} << 1);
        }
    };
    std::set<std::pair<UtcSeconds, WakeKey>> m_order;
    std::unordered_map<WakeKey, UtcSeconds, KeyHash> m_moments;
};

} // namespace zorvane::schedule
