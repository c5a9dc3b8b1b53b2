#pragma once
// Members of a room for the sharing tests: a room client with a listener that records what
// it is told, for the test thread to wait on, and a bare publisher that sends raw bytes as
// a hostile member could.

#include "share/roomclient.h"
#include "tests/share/localbroker.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zorvane::testing {

// Generous: the machine is shared by many builds.
inline constexpr auto kRoomPatience = std::chrono::seconds(30);
// The tests' "now" (milliseconds): after every kill they make, since later ones are refused.
inline constexpr std::int64_t kRoomNow = 1796001000000;

// Records what the client tells, from its threads.
class Recorder final : public share::RoomListener {
public:
    void roomStateChanged(share::RoomState state, const text::Message& reason) override;
    void remoteKill(const share::KillEvent& event, bool retained) override;
    void messageDropped(share::DropReason reason, const std::string& detail) override;
    void clockSkew(const share::MemberSkew& skew) override;
    void killsPending(std::size_t pending) override;
    void roleChanged(share::RoomRole role) override;
    void roomNeedsUpgrade(bool needed) override;
    void messageRefused(const share::RefusedMessage& refused) override;
    void killRetracted(const share::RetractedKill& retracted) override;
    void sendRefused(const std::string& what, const text::Message& reason) override;
    void caughtUp(std::size_t retained, std::size_t relayed) override;
    void serverRestarted(const share::ReceivedRestart& restart) override;

    // Waits until the check holds (checked under the lock) or the patience runs out.
    bool waitFor(const std::function<bool()>& check);
    bool waitForState(share::RoomState state);
    bool waitForKillOf(const std::string& boss, std::int64_t killUtc);

    std::vector<share::KillEvent> kills() const;
    std::vector<bool> retained() const;
    std::vector<share::DropReason> drops() const;
    std::vector<share::MemberSkew> skews() const;
    std::vector<std::pair<share::RoomState, std::string>> states() const;
    std::vector<share::RoomRole> roles() const;
    std::vector<bool> upgradeNotices() const;
    std::vector<share::RefusedMessage> refusals() const;
    std::vector<share::RetractedKill> retractions() const;
    std::vector<share::ReceivedRestart> restarts() const;
    std::vector<std::pair<std::string, std::string>> sendRefusals() const;
    // The catch-ups: retained messages judged and kills relayed, each.
    std::vector<std::pair<std::size_t, std::size_t>> catchUps() const;

    // Only for use inside waitFor checks.
    bool hasKillLocked(const std::string& boss, std::int64_t killUtc) const;
    std::size_t dropCountLocked() const { return m_drops.size(); }
    std::size_t killCountLocked() const { return m_kills.size(); }
    const std::vector<share::KillEvent>& killsLocked() const { return m_kills; }
    std::size_t refusalCountLocked() const { return m_refusals.size(); }
    std::size_t retractionCountLocked() const { return m_retractions.size(); }
    std::size_t catchUpCountLocked() const { return m_catchUps.size(); }
    std::size_t restartCountLocked() const { return m_restarts.size(); }
    bool hasRoleLocked(share::RoomRole role) const {
        return !m_roles.empty() && m_roles.back() == role;
    }
    bool hasStateLocked(share::RoomState state) const {
        return !m_states.empty() && m_states.back().first == state;
    }

private:
    void update(const std::function<void()>& change);

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::pair<share::RoomState, std::string>> m_states;
    std::vector<share::KillEvent> m_kills;
    std::vector<bool> m_retained;
    std::vector<share::DropReason> m_drops;
    std::vector<share::MemberSkew> m_skews;
    std::vector<share::RoomRole> m_roles;
    std::vector<bool> m_upgradeNotices;
    std::vector<share::RefusedMessage> m_refusals;
    std::vector<share::RetractedKill> m_retractions;
    std::vector<share::ReceivedRestart> m_restarts;
    std::vector<std::pair<std::string, std::string>> m_sendRefusals;
    std::vector<std::pair<std::size_t, std::size_t>> m_catchUps;
};

// Options for a member of room "guild" on the broker, with a fixed clock unless given.
share::RoomOptions roomOptions(
    const LocalBroker& broker, const std::string& nickname, const std::string& user = {},
    const std::string& password = {},
    std::function<std::int64_t()> clock = [] { return kRoomNow; });

// A clock that moves `stepMillis` on at every reading, from `start`.
std::function<std::int64_t()> steppingClock(std::int64_t start, std::int64_t stepMillis);

// A member: its client and what it was told.
struct RoomMember {
    explicit RoomMember(share::RoomOptions options) : client(std::move(options), recorder) {}
    // Starts and waits until it is connected.
    bool join();
    // Records a kill; the test fails when it cannot be sent. Returns its event id.
    std::string kill(const std::string& boss, std::int64_t utc, int period = 60);

    Recorder recorder;
    share::RoomClient client;
};

// Sends raw bytes on a topic, as `user` (none: anonymous) with MQTT 5, and returns the
// broker's reason code for it (0 or 16: taken; 0x80 and above: refused), or -1 when the
// broker never answered.
int publishRaw(int port, const std::string& topic, const std::string& payload,
               const std::string& user = {}, const std::string& password = {}, bool retain = false);

} // namespace zorvane::testing
