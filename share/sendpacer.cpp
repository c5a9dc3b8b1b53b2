#include "share/sendpacer.h"

#include <algorithm>
#include <limits>

namespace zorvane::share {

namespace {
constexpr std::int64_t kMinuteMillis = 60000;
} // namespace

SendPacer::SendPacer(int perMinute, std::int64_t marginMillis)
    : m_perMinute(perMinute),
      m_windowMillis(kMinuteMillis + std::max<std::int64_t>(0, marginMillis)) {}

std::int64_t SendPacer::nextAllowed(std::int64_t nowMillis) const {
    if (m_perMinute <= 0) {
        return std::numeric_limits<std::int64_t>::max();
    }
    if (static_cast<int>(m_sent.size()) < m_perMinute) {
        return nowMillis;
    }
    // The oldest of the last `perMinute` sendings must have left the window; a clock set
    // back makes a kill wait one window at most.
    return std::clamp(m_sent.front() + m_windowMillis, nowMillis, nowMillis + m_windowMillis);
}

void SendPacer::sent(std::int64_t atMillis) {
    if (m_perMinute <= 0) {
        return;
    }
    m_sent.push_back(atMillis);
    // Only the sendings that can still hold the next one back: a large limit keeps a
    // window's worth, not every sending ever.
    while (static_cast<int>(m_sent.size()) > m_perMinute ||
           (!m_sent.empty() && m_sent.front() + m_windowMillis <= atMillis)) {
        m_sent.pop_front();
    }
}

} // namespace zorvane::share
