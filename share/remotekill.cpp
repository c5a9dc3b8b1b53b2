#include "share/remotekill.h"

namespace zorvane::share {

RemoteKillVerdict judgeRemoteKill(bool bossInTable, std::optional<std::int64_t> rowLastKillUtc,
                                  bool alreadySeen, std::int64_t remoteKillUtc) {
    if (alreadySeen) {
        return RemoteKillVerdict::Duplicate;
    }
    if (!bossInTable) {
        return RemoteKillVerdict::UnknownBoss;
    }
    if (rowLastKillUtc && remoteKillUtc <= *rowLastKillUtc) {
        return RemoteKillVerdict::Older;
    }
    return RemoteKillVerdict::Apply;
}

std::optional<MemberSkew> SkewWatch::observe(const std::string& senderId,
                                             const std::string& nickname,
                                             std::int64_t sentUtcMillis,
                                             std::int64_t arrivalUtcMillis) {
    MemberSkew skew{senderId, nickname, sentUtcMillis - arrivalUtcMillis, false};
    skew.skewed = skew.offsetMillis > kSkewLimitMillis || skew.offsetMillis < -kSkewLimitMillis;
    const auto known = m_skewed.find(senderId);
    if (known == m_skewed.end()) {
        // A member in agreement is not news; one that is not is reported at once.
        m_skewed.emplace(senderId, skew.skewed);
        return skew.skewed ? std::optional(skew) : std::nullopt;
    }
    if (known->second == skew.skewed) {
        return std::nullopt;
    }
    known->second = skew.skewed;
    return skew;
}

} // namespace zorvane::share
