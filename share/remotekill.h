#pragma once
// What a received kill does to a row, and which members' clocks disagree. Both are pure
// decisions; the window layer applies them.

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace zorvane::share {

enum class RemoteKillVerdict {
    Apply,       // newer than the row's last kill: becomes the row's last time
    Older,       // not newer than the row's last kill (same instant included): nothing changes
    Duplicate,   // an event already seen (same event id): nothing changes
    UnknownBoss, // no row has the boss: offer it to the user, change nothing
};

// `rowLastKillUtc` is the row's last kill, absent when the row has none (or no row has the
// boss, see `bossInTable`); `alreadySeen` whether the event id was met before.
RemoteKillVerdict judgeRemoteKill(bool bossInTable, std::optional<std::int64_t> rowLastKillUtc,
                                  bool alreadySeen, std::int64_t remoteKillUtc);

// A member's clock differs from the arrival time by more than this (milliseconds).
inline constexpr std::int64_t kSkewLimitMillis = 30000;

struct MemberSkew {
    std::string senderId;
    std::string nickname;
    std::int64_t offsetMillis = 0; // sender's send time minus arrival time
    bool skewed = false;           // |offsetMillis| > kSkewLimitMillis
};

// Follows each member's last measured clock offset and tells when a member's clock goes
// out of (or back into) agreement. Not thread-safe: use it on one thread.
class SkewWatch {
public:
    // Returns the member's state when it changed with this message: the first message of a
    // member whose clock is off, or a member coming back into agreement.
    std::optional<MemberSkew> observe(const std::string& senderId, const std::string& nickname,
                                      std::int64_t sentUtcMillis, std::int64_t arrivalUtcMillis);

private:
    std::map<std::string, bool> m_skewed; // sender id -> last state
};

} // namespace zorvane::share
