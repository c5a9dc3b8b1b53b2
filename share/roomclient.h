#pragma once
// A member's connection to a room on an MQTT broker (libmosquitto). The connection runs
// on the library's own network thread; no call of this class waits for the network.
// Kills are published with QoS 1, retained on the boss's topic, so that a member who
// joins later receives the latest kill of every boss at once.

#include "share/killevent.h"
#include "share/remotekill.h"
#include "share/roomlink.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

struct mosquitto;
struct mosquitto_message;

namespace zorvane::share {

struct MosquittoApi;

enum class RoomState {
    Stopped,      // not started, or stopped
    Connecting,   // the first connection attempt is under way
    Connected,    // connected and subscribed to the room
    Reconnecting, // the connection was lost; trying again with back-off
    Refused,      // the broker or the TLS check refused us; the reason says why
};

const char* describe(RoomState state);

// Told about the room. Calls come on the client's threads (the library's network thread,
// or the starter thread while the first connection is tried), one at a time per thread;
// implementations hand over to their own thread and return quickly, and may call
// publishKill. None is called after RoomClient::stop returns.
class RoomListener {
public:
    virtual ~RoomListener() = default;
    // The state changed, or a refusal came with another reason.
    virtual void roomStateChanged(RoomState state, const text::Message& reason) = 0;
    // A valid kill from another member (own messages are never delivered).
    virtual void remoteKill(const KillEvent& event, bool retained) = 0;
    // A message was dropped; droppedCount() counts them.
    virtual void messageDropped(DropReason reason, const std::string& detail) = 0;
    // A member's clock went out of (or back into) agreement with ours.
    virtual void clockSkew(const MemberSkew& skew) = 0;
    // The broker acknowledged a kill; `pending` kills still wait (see pendingCount()).
    virtual void killsPending(std::size_t pending) { (void)pending; }
};

struct RoomOptions {
    RoomLink link;
    std::string password; // used only when the link has a user; never logged
    std::string caFile;   // TLS: a PEM file of trusted CAs; empty = the system's CAs
    std::string nickname; // shown to other members
    // The current UTC time in milliseconds; the system clock unless a test sets one.
    std::function<std::int64_t()> utcMillis;
    int keepAliveSeconds = 30;
    // Reconnect back-off: from min doubling up to max seconds.
    int reconnectMinSeconds = 1;
    int reconnectMaxSeconds = 60;
};

// The kill a member records; the client adds nickname, ids and send time.
struct LocalKill {
    std::string boss;
    int periodMinutes = 0;
    int delayMinutes = 0;
    std::int64_t killUtcSeconds{};
};

class RoomClient {
public:
    RoomClient(RoomOptions options, RoomListener& listener);
    ~RoomClient(); // stops
    RoomClient(const RoomClient&) = delete;
    RoomClient& operator=(const RoomClient&) = delete;

    // Starts connecting in the background. Returns false with the reason when the options
    // cannot work at all (e.g. an unreadable CA file); the listener is then not called.
    bool start(text::Message& error);
    // Disconnects and ends the network thread; no listener call happens afterwards.
    void stop();

    // Publishes a kill, or queues it until the connection is up. Only the latest kill of a
    // boss waits in the queue: an older one would be stale anyway. Returns false with the
    // reason when the kill cannot be sent (e.g. a boss name too long).
    bool publishKill(const LocalKill& kill, std::string& error);

    RoomState state() const;
    // Messages dropped since start.
    std::uint64_t droppedCount() const { return m_dropped.load(); }
    // Kills not yet acknowledged by the broker.
    std::size_t pendingCount() const;
    // This client's random id, carried by its messages so that it ignores its own.
    const std::string& senderId() const { return m_senderId; }

private:
    struct Outgoing {
        std::string eventId;
        std::string payload;
        int mid = 0; // the library's message id of the latest sending; 0 while queued
    };

    static void onConnect(mosquitto* mosq, void* self, int rc);
    static void onDisconnect(mosquitto* mosq, void* self, int rc);
    static void onPublish(mosquitto* mosq, void* self, int mid);
    static void onMessage(mosquitto* mosq, void* self, const mosquitto_message* message);
    static void onLog(mosquitto* mosq, void* self, int level, const char* text);
    static void onSubscribe(mosquitto* mosq, void* self, int mid, int count, const int* granted);

    void connected(int rc);
    void disconnected(int rc);
    void acknowledged(int mid);
    void received(const mosquitto_message& message);
    void subscribed(int count, const int* granted);
    void logged(int level, const char* text);
    void setState(RoomState state, const text::Message& reason);
    // Hands a queued kill to the library; m_mutex held.
    void sendLocked(const std::string& topic, Outgoing& item);
    void connectLoop();

    RoomOptions m_options;
    RoomListener& m_listener;
    std::string m_senderId;
    std::string m_filter;
    // Set by start: the library opened at run time.
    const MosquittoApi* m_api = nullptr;
    mosquitto* m_mosq = nullptr;
    bool m_loopRunning = false;

    mutable std::mutex m_mutex;
    RoomState m_state = RoomState::Stopped;
    text::Message m_reason;
    bool m_connected = false;
    bool m_stopping = false;
    std::map<std::string, Outgoing> m_outbox; // topic -> latest unacknowledged kill
    SkewWatch m_skew;                         // network thread only

    std::atomic<std::uint64_t> m_dropped{0};
    // Makes the first connection (name lookup and TCP connect) off the caller's thread.
    std::thread m_starter;
    std::mutex m_starterMutex;
    std::condition_variable m_starterWake;
};

} // namespace zorvane::share
