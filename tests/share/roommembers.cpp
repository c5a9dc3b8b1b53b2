#include "tests/share/roommembers.h"

#include <gtest/gtest.h>

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <atomic>
#include <memory>

namespace zorvane::testing {

using namespace share;

void Recorder::update(const std::function<void()>& change) {
    {
        const std::lock_guard lock(m_mutex);
        change();
    }
    m_changed.notify_all();
}

void Recorder::roomStateChanged(RoomState state, const text::Message& reason) {
    update([&] { m_states.emplace_back(state, text::defaultText(reason)); });
}
void Recorder::remoteKill(const KillEvent& event, bool retained) {
    update([&] {
        m_kills.push_back(event);
        m_retained.push_back(retained);
    });
}
void Recorder::messageDropped(DropReason reason, const std::string&) {
    update([&] { m_drops.push_back(reason); });
}
void Recorder::clockSkew(const MemberSkew& skew) {
    update([&] { m_skews.push_back(skew); });
}
void Recorder::killsPending(std::size_t) {
    update([] {});
}
void Recorder::roleChanged(RoomRole role) {
    update([&] { m_roles.push_back(role); });
}

void Recorder::roomNeedsUpgrade(bool needed) {
    update([&] { m_upgradeNotices.push_back(needed); });
}
void Recorder::messageRefused(const RefusedMessage& refused) {
    update([&] { m_refusals.push_back(refused); });
}
void Recorder::killRetracted(const RetractedKill& retracted) {
    update([&] { m_retractions.push_back(retracted); });
}
void Recorder::sendRefused(const std::string& what, const text::Message& reason) {
    update([&] { m_sendRefusals.emplace_back(what, text::defaultText(reason)); });
}
void Recorder::caughtUp(std::size_t retained, std::size_t relayed) {
    update([&] { m_catchUps.emplace_back(retained, relayed); });
}
void Recorder::serverRestarted(const ReceivedRestart& restart) {
    update([&] { m_restarts.push_back(restart); });
}

bool Recorder::waitFor(const std::function<bool()>& check) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, kRoomPatience, check);
}
bool Recorder::waitForState(RoomState state) {
    return waitFor([&] { return hasStateLocked(state); });
}
bool Recorder::waitForKillOf(const std::string& boss, std::int64_t killUtc) {
    return waitFor([&] { return hasKillLocked(boss, killUtc); });
}

bool Recorder::hasKillLocked(const std::string& boss, std::int64_t killUtc) const {
    for (const auto& kill : m_kills) {
        if (kill.boss == boss && kill.killUtcSeconds == killUtc) {
            return true;
        }
    }
    return false;
}

#define ZORVANE_RECORDER_GETTER(type, name, member)                                                \
    type Recorder::name() const {                                                                  \
        const std::lock_guard lock(m_mutex);                                                       \
        return member;                                                                             \
    }
ZORVANE_RECORDER_GETTER(std::vector<KillEvent>, kills, m_kills)
ZORVANE_RECORDER_GETTER(std::vector<bool>, retained, m_retained)
ZORVANE_RECORDER_GETTER(std::vector<DropReason>, drops, m_drops)
ZORVANE_RECORDER_GETTER(std::vector<MemberSkew>, skews, m_skews)
using StateList = std::vector<std::pair<RoomState, std::string>>;
ZORVANE_RECORDER_GETTER(StateList, states, m_states)
ZORVANE_RECORDER_GETTER(std::vector<RoomRole>, roles, m_roles)
ZORVANE_RECORDER_GETTER(std::vector<bool>, upgradeNotices, m_upgradeNotices)
ZORVANE_RECORDER_GETTER(std::vector<RefusedMessage>, refusals, m_refusals)
ZORVANE_RECORDER_GETTER(std::vector<RetractedKill>, retractions, m_retractions)
ZORVANE_RECORDER_GETTER(std::vector<ReceivedRestart>, restarts, m_restarts)
using TextPairs = std::vector<std::pair<std::string, std::string>>;
ZORVANE_RECORDER_GETTER(TextPairs, sendRefusals, m_sendRefusals)
using CountPairs = std::vector<std::pair<std::size_t, std::size_t>>;
ZORVANE_RECORDER_GETTER(CountPairs, catchUps, m_catchUps)
#undef ZORVANE_RECORDER_GETTER

RoomOptions roomOptions(const LocalBroker& broker, const std::string& nickname,
                        const std::string& user, const std::string& password,
                        std::function<std::int64_t()> clock) {
    RoomOptions options;
    options.link.host = "127.0.0.1";
    options.link.port = broker.port();
    options.link.room = "guild";
    options.link.user = user;
    options.password = password;
    options.nickname = nickname;
    options.utcMillis = std::move(clock);
    options.reconnectMinSeconds = 1;
    options.reconnectMaxSeconds = 2;
    return options;
}

std::function<std::int64_t()> steppingClock(std::int64_t start, std::int64_t stepMillis) {
    auto readings = std::make_shared<std::atomic<std::int64_t>>(0);
    return [=] { return start + stepMillis * readings->fetch_add(1); };
}

bool RoomMember::join() {
    text::Message error;
    return client.start(error) && recorder.waitForState(RoomState::Connected);
}

std::string RoomMember::kill(const std::string& boss, std::int64_t utc, int period) {
    std::string error;
    std::string eventId;
    EXPECT_TRUE(client.publishKill({boss, period, 0, utc}, error, &eventId)) << error;
    return eventId;
}

int publishRaw(int port, const std::string& topic, const std::string& payload,
               const std::string& user, const std::string& password, bool retain) {
    mosquitto_lib_init();
    struct State {
        std::atomic<int> mid{-1};
        std::atomic<int> reason{-1};
    } state;
    mosquitto* mosq = mosquitto_new(nullptr, true, &state);
    if (mosq == nullptr) {
        ADD_FAILURE() << "no client";
        return -1;
    }
    mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    if (!user.empty()) {
        mosquitto_username_pw_set(mosq, user.c_str(), password.c_str());
    }
    mosquitto_publish_v5_callback_set(
        mosq, [](mosquitto*, void* data, int done, int reason, const mosquitto_property*) {
            auto* s = static_cast<State*>(data);
            s->reason = reason;
            s->mid = done;
        });
    int result = -1;
    if (mosquitto_connect(mosq, "127.0.0.1", port, 10) == MOSQ_ERR_SUCCESS) {
        int mid = 0;
        if (mosquitto_publish(mosq, &mid, topic.c_str(), static_cast<int>(payload.size()),
                              payload.data(), 1, retain) == MOSQ_ERR_SUCCESS) {
            // Runs the network until the broker answers.
            const auto deadline = std::chrono::steady_clock::now() + kRoomPatience;
            while (state.mid.load() != mid && std::chrono::steady_clock::now() < deadline &&
                   mosquitto_loop(mosq, 100, 1) == MOSQ_ERR_SUCCESS) {
            }
            if (state.mid.load() == mid) {
                result = state.reason.load();
            }
        }
        mosquitto_disconnect(mosq);
    } else {
        ADD_FAILURE() << "cannot connect to port " << port;
    }
    mosquitto_destroy(mosq);
    return result;
}

} // namespace zorvane::testing
