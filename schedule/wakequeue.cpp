#include "schedule/wakequeue.h"

namespace zorvane::schedule {

void WakeQueue::schedule(WakeKey key, UtcSeconds at) {
    const auto [entry, fresh] = m_moments.try_emplace(key, at);
    if (!fresh) {
        if (entry->second == at) {
            return;
        }
        m_order.erase({entry->second, key});
        entry->second = at;
    }
    m_order.emplace(at, key);
}

void WakeQueue::scheduleNoLaterThan(WakeKey key, UtcSeconds at) {
    const std::optional<UtcSeconds> moment = momentOf(key);
    if (!moment || at < *moment) {
        schedule(key, at);
    }
}

void WakeQueue::cancel(WakeKey key) {
    const auto entry = m_moments.find(key);
    if (entry == m_moments.end()) {
        return;
    }
    m_order.erase({entry->second, key});
    m_moments.erase(entry);
}

std::optional<UtcSeconds> WakeQueue::momentOf(WakeKey key) const {
    const auto entry = m_moments.find(key);
    return entry == m_moments.end() ? std::nullopt : std::optional(entry->second);
}

std::optional<UtcSeconds> WakeQueue::next() const {
    return m_order.empty() ? std::nullopt : std::optional(m_order.begin()->first);
}

std::vector<WakeKey> WakeQueue::popDue(UtcSeconds now) {
    std::vector<WakeKey> due;
    auto it = m_order.begin();
    for (; it != m_order.end() && it->first <= now; ++it) {
        due.push_back(it->second);
        m_moments.erase(it->second);
    }
    m_order.erase(m_order.begin(), it);
    return due;
}

void WakeQueue::clear() {
    m_order.clear();
    m_moments.clear();
}

} // namespace zorvane::schedule
