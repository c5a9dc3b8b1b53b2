#pragma once
// A member's connection to a room on an MQTT broker (libmosquitto). The connection runs on
// the library's own network thread; no call of this class waits for the network.
//
// Every message goes under the member's own topic level (roomtopics.h), so the broker's
// access list tells who sent what. Right after connecting, the client learns its role by
// asking the broker. It connects with MQTT 3.1.1 and subscribes to the room's role markers
// (roleMarkerTopic): the subscriptions the access list grants tell the role, and the client
// itself refuses what that role may not send. A broker that grants no markers (a room made
// by an earlier room script, a broker without roles, or one of earlier versions' topics
// only) is asked again over MQTT 5: the client sends an empty message to its kill topic, to
// its officer topic and to a topic no role may use, and reads the reason codes. MQTT 3.1.1
// is preferred because a broker ends an MQTT 5 connection with a DISCONNECT packet, whose
// handling in libmosquitto 2.0.11 releases a lock it never took, while it ends an MQTT 3.1.1
// connection by closing it. Then it subscribes. Kills are published with QoS 1, retained on the
// member's topic of the boss, so that a member who joins later receives the latest kills at once.
//
// What comes in is judged by a Referee (referee.h) before the listener hears of it. The
// retained messages of a new subscription are held back until the broker has sent them
// all (the member's own sync message, sent after subscribing, comes back after them) and
// then judged oldest first, so every member who catches up reaches the same verdicts. Then
// the client heals: a kill it holds that is newer than anything the broker kept for its
// key goes out again on the member's own topic, marked relayed. Nothing received is ever
// sent on, so members never echo each other.

#include "share/killevent.h"
#include "share/referee.h"
#include "share/remotekill.h"
#include "share/roomlink.h"
#include "share/roommessage.h"
#include "share/roomtopics.h"
#include "share/sendpacer.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct mosquitto;
struct mosquitto_message;
struct mqtt5__property;

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

// What this member may do in the room, as the broker answered.
enum class RoomRole {
    Unknown,   // not learned yet
    Reader,    // receives
    Recorder,  // also sends kills
    Officer,   // also retracts any member's kill and offers boss lists
    Unmanaged, // the broker enforces no roles: every member may send everything, and no
               // member's message counts as an officer's
};

const char* describe(RoomRole role);
// The role as a word for the window ("只读", "记录员", "官员", ...); empty for Unknown.
text::Message roleMessage(RoomRole role);

// A kill or retraction the referee refused, with the sender's counts after it.
struct RefusedMessage {
    KillEvent kill;          // the kill; for a retraction, what it would have retracted
    bool retraction = false; // a retraction was refused
    Refusal refusal = Refusal::InFuture;
    text::Message reason; // why, for the user
    MemberRecord sender;  // the sender's counts, this one included
};

// A retraction that stood.
struct RetractedKill {
    Retraction retraction;
    std::string member; // who retracted (member level)
    Standing standing = Standing::Member;
    std::optional<KillEvent> target;   // the retracted kill, when this member had it
    bool wasNewest = false;            // rows that show it go back...
    std::optional<KillEvent> restored; // ...to this kill, when one is kept
};

// A server restart another member told of, as the referee judged it.
struct ReceivedRestart {
    ServerRestart restart;
    std::string member; // who told (member level)
    Standing standing = Standing::Member;
    // Set when it was refused (then the rows stay as they are), with the reason.
    std::optional<Refusal> refusal;
    text::Message reason;
    MemberRecord sender; // the sender's counts, this one included
};

// Told about the room. Calls come on the client's threads (the library's network thread,
// or the client's own keeper thread), one at a time per thread; implementations hand over
// to their own thread and return quickly, and may call the client's publishing members.
// None is called after RoomClient::stop returns.
class RoomListener {
public:
    virtual ~RoomListener() = default;
    // The state changed, or a refusal came with another reason.
    virtual void roomStateChanged(RoomState state, const text::Message& reason) = 0;
    // Another member's kill that the referee found the newest of its key (own messages are
    // never delivered). Rows of the key take it when it is newer than what they show.
    virtual void remoteKill(const KillEvent& event, bool retained) = 0;
    // A message was dropped as malformed; droppedCount() counts them.
    virtual void messageDropped(DropReason reason, const std::string& detail) = 0;
    // A member's clock went out of (or back into) agreement with ours.
    virtual void clockSkew(const MemberSkew& skew) = 0;
    // The broker acknowledged a message; `pending` still wait (see pendingCount()).
    virtual void killsPending(std::size_t pending) { (void)pending; }
    // The broker told what this member may do.
    virtual void roleChanged(RoomRole role) { (void)role; }
    // The room enforces roles but its access list has no role markers (an earlier room
    // script made it): role changes reach this member less cleanly until an administrator
    // upgrades the room (zorvane-room upgrade). Told when it changes.
    virtual void roomNeedsUpgrade(bool needed) { (void)needed; }
    // The referee refused a kill or a retraction (a reason, counted per member).
    virtual void messageRefused(const RefusedMessage& refused) { (void)refused; }
    // A member retracted a kill.
    virtual void killRetracted(const RetractedKill& retracted) { (void)retracted; }
    // An officer (any member where the broker enforces no roles) offers a boss list.
    virtual void listOffered(const BossListOffer& offer, const std::string& member,
                             Standing standing) {
        (void)offer;
        (void)member;
        (void)standing;
    }
    // Another member told of a server restart: the newest of its server, or refused. Members
    // that know no restarts never receive one (roomtopics.h).
    virtual void serverRestarted(const ReceivedRestart& restart) { (void)restart; }
    // The broker did not take something this member sent (`what` names it: a boss, a list).
    virtual void sendRefused(const std::string& what, const text::Message& reason) {
        (void)what;
        (void)reason;
    }
    // Every message the broker kept for a new subscription was judged; `relayed` kills
    // this member held and the broker had lost went out again.
    virtual void caughtUp(std::size_t retained, std::size_t relayed) {
        (void)retained;
        (void)relayed;
    }
    // A push relay of the room (RoomOptions::relayId) told its presence; an empty payload:
    // it left. Our own presence is not told. The payloads are push/relay.h's, unread here.
    virtual void relayPresenceHeard(const std::string& relayId, const std::string& payload) {
        (void)relayId;
        (void)payload;
    }
    // A push relay of the room claimed an event (our own claims included).
    virtual void relayClaimHeard(const std::string& payload) { (void)payload; }
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
    // The sanity checks on receipt.
    RefereeRules rules;
    // Kills also go out on the topics of earlier versions, for members not yet updated
    // (kills with a server or a line excepted, which those cannot show).
    bool mirrorToLegacy = true;
    // How long the retained messages of a subscription may take to arrive before they are
    // judged anyway (the broker lost our sync message, or never sends it back).
    int catchUpPatienceMillis = 5000;
    // A kill held back by the limit per minute goes out this long after its turn at most,
    // also when the clock is one a test moves.
    int paceCheckMillis = 1000;
    // Room for the time a kill takes to arrive, added to the minute of the limit.
    int paceMarginMillis = 2000;
    // This member relays the room's push alerts under this id (letters and digits, new for
    // every run): the client reads the relays' topics, publishes the presence it is given
    // and has the broker clear it (its will) when the connection is lost. Empty: no relay.
    std::string relayId;
};

// The kill a member records; the client adds nickname, ids and send time.
struct LocalKill {
    std::string boss;
    int periodMinutes = 0;
    int delayMinutes = 0;
    std::int64_t killUtcSeconds{};
    std::string server = {}; // "" when the table has no servers
    std::string line = {};   // "" when the boss has no lines
};

class RoomClient {
public:
    RoomClient(RoomOptions options, RoomListener& listener);
    ~RoomClient(); // stops
    RoomClient(const RoomClient&) = delete;
    RoomClient& operator=(const RoomClient&) = delete;

    // Starts connecting in the background. Returns false with the reason when the options
    // cannot work at all (e.g. an unreadable CA file, or one without a certificate); the
    // listener is then not called.
    bool start(text::Message& error);
    // Disconnects and ends the network thread; no listener call happens afterwards.
    void stop();

    // Publishes a kill, or queues it until the connection is up. Only the latest kill of a
    // key waits in the queue: an older one would be stale anyway. A member who is no
    // officer sends at most the room's kills per minute (RefereeRules); the others wait for
    // their turn, in order, so that no member refuses what this one keeps. Returns false with the
    // reason when the kill cannot be sent (e.g. a boss name too long, or a reader's
    // account). `eventId`, when given, receives the kill's id (for retracting it later).
    bool publishKill(const LocalKill& kill, text::Message& error, std::string* eventId = nullptr);
    // The same, with the reason as text in the program's default wording.
    bool publishKill(const LocalKill& kill, std::string& error, std::string* eventId = nullptr);
    // Retracts a kill for everyone: one's own (an undo), or as an officer any member's.
    // `judgement`, when given, tells what the retraction did here (the kill a row goes back
    // to). False with the reason when it cannot be retracted.
    bool retractKill(const std::string& eventId, text::Message& error,
                     RetractionJudgement* judgement = nullptr);
    // Tells the room that the game server `server` ("" for a table without servers)
    // restarted at the instant; queued until the connection is up, the latest per server.
    // False with the reason for a reader, or when the restart cannot be sent.
    bool publishRestart(const std::string& server, std::int64_t restartUtcSeconds,
                        text::Message& error);
    // Offers a boss list (a JSON object) to the room; officers only.
    bool offerList(const std::string& name, const std::string& listJson, text::Message& error);

    // This relay's presence, retained on its topic while connected and sent again on every
    // connection; empty: it stops relaying and the topic is cleared. Any thread.
    void setRelayPresence(std::string payload);
    // Publishes a claim of this relay (not retained). False when not connected: a claim
    // matters only now.
    bool publishRelayClaim(const std::string& payload);

    // The rule (period plus delay, minutes) of each boss in the member's table, for the
    // early re-kill check. Any thread.
    void setBossRules(std::map<std::string, int> ruleMinutes);

    RoomState state() const;
    RoomRole role() const;
    // Whether the broker's access list knows only the topics of earlier versions, so that
    // the room works as one of them: kills go out there only, and nobody is named.
    bool legacyOnly() const;
    // Whether the room enforces roles without role markers (roomNeedsUpgrade).
    bool needsUpgrade() const;
    // Messages dropped since start.
    std::uint64_t droppedCount() const { return m_dropped.load(); }
    // Messages of this member not yet acknowledged by the broker.
    std::size_t pendingCount() const;
    // This client's random id, carried by its messages so that it ignores its own.
    const std::string& senderId() const { return m_senderId; }
    // This member's topic level (its user name).
    const std::string& member() const { return m_member; }
    // What each member did, as this member saw it.
    std::vector<MemberRecord> members() const;
    // The newest kill of a key this member knows, if any.
    std::optional<KillEvent> newestKill(const KillKey& key) const;

private:
    enum class Kind { Kill, Mirror, Retraction, List, Restart };
    struct Outgoing {
        Kind kind = Kind::Kill;
        KillKey key;      // Kill, Mirror, Retraction: the key (of the retracted kill); Restart:
                          // the server
        std::string name; // Retraction: the target's event id; List: the list's name
        std::string payload;
        bool ownTopic = true; // Retraction: on the member's own kill topic (an undo)
        int mid = 0;          // the library's message id of the latest sending; 0 while queued
        // Kill, Mirror: a fresh kill of this member's waiting for its turn under the limit
        // per minute; it goes out with the time it is sent.
        std::optional<KillEvent> waiting;
    };
    // A retained message held back until the catch-up ends.
    struct Held {
        TopicAddress address;
        RoomMessage message;
    };
    // What the referee decided, to tell the listener outside the locks.
    struct Outcome;

    static void onConnect(mosquitto* mosq, void* self, int rc, int flags,
                          const mqtt5__property* properties);
    static void onDisconnect(mosquitto* mosq, void* self, int rc,
                             const mqtt5__property* properties);
    static void onPublish(mosquitto* mosq, void* self, int mid, int reasonCode,
                          const mqtt5__property* properties);
    static void onMessage(mosquitto* mosq, void* self, const mosquitto_message* message);
    static void onLog(mosquitto* mosq, void* self, int level, const char* text);
    static void onSubscribe(mosquitto* mosq, void* self, int mid, int count, const int* granted,
                            const mqtt5__property* properties);

    void connected(int rc);
    void disconnected(int rc);
    void acknowledged(int mid, int reasonCode);
    void received(const mosquitto_message& message);
    void subscribed(int mid, int count, const int* granted);
    // Learns the role from the role markers the broker granted, or falls back to MQTT 5.
    void markersAnswered(int count, const int* granted);
    void logged(int level, const char* text);
    void setState(RoomState state, const text::Message& reason);
    void setRole(RoomRole role);
    // Has the keeper connect again after `seconds`, once the library has given up; over
    // MQTT 5 right away when `mqtt5`, else over MQTT 3.1.1 first.
    void reconnectLater(int seconds, bool mqtt5 = false);

    // Learns the role; m_mutex held.
    void sendProbesLocked();
    void subscribeMarkersLocked();
    void subscribeLocked();
    // Reads the relays' topics and publishes this relay's presence; m_mutex held.
    void joinRelaysLocked();
    void publishPresenceLocked();
    // Tells the listener of a relay topic's message; false when the topic is none.
    bool relayReceived(std::string_view topic, std::string_view payload);
    // Hands a queued message to the library (not one waiting for its turn); m_mutex held.
    void sendLocked(Outgoing& item);
    // Sends the waiting kills whose turn has come and sets when the keeper looks again;
    // m_mutex held. Returns whether the keeper has to be woken.
    bool sendWaitingLocked();
    bool pacesLocked() const;
    std::string topicOfLocked(const Outgoing& item) const;
    std::size_t pendingLocked() const;
    // Judges one message (m_judgeMutex held) into outcomes for the listener.
    void judgeLocked(const TopicAddress& address, RoomMessage& message, bool retained,
                     std::int64_t arrival, std::vector<Outcome>& outcomes);
    // Judges the held messages and heals; any thread.
    void finishCatchUp();
    void tell(std::vector<Outcome>& outcomes);
    void keeperLoop();
    // Sets the protocol and the CONNECT properties of the next connection; keeper only,
    // while no network thread runs.
    void useProtocol(bool mqtt5);
    void connectOnce();

    RoomOptions m_options;
    RoomListener& m_listener;
    std::string m_senderId;
    std::string m_member;
    std::string m_clientId;
    // Set by start: the library opened at run time.
    const MosquittoApi* m_api = nullptr;
    mosquitto* m_mosq = nullptr;
    bool m_loopRunning = false;

    // Guards the referee and the catch-up; taken before m_mutex when both are needed.
    mutable std::mutex m_judgeMutex;
    Referee m_referee;
    bool m_catchingUp = false;
    std::vector<Held> m_held;
    std::map<KillKey, KillEvent> m_heldNewest; // per key, the newest kill the broker kept
    SkewWatch m_skew;

    mutable std::mutex m_mutex;
    RoomState m_state = RoomState::Stopped;
    text::Message m_reason;
    RoomRole m_role = RoomRole::Unknown;
    bool m_connected = false;
    bool m_subscribed = false;
    bool m_stopping = false;
    bool m_mirror = true;
    // The broker takes only the topics of earlier versions.
    bool m_legacyOnly = false;
    // The protocol of the connection being made or held, and of the keeper's next one.
    bool m_mqtt5 = false;
    bool m_nextMqtt5 = false;
    // The markers were refused: this connection ends to be made again over MQTT 5.
    bool m_switchingToMqtt5 = false;
    // The broker refused this member the room: this connection ends to be made again later.
    bool m_retryRefused = false;
    bool m_needsUpgrade = false;
    int m_markerMid = 0;
    std::map<int, int> m_probes; // probe message id -> which probe
    int m_probeAnswers = 0;
    bool m_probeAllowed[4] = {false, false, false, false};
    int m_subscribeMid = 0;
    int m_relaySubscribeMid = 0;
    std::string m_relayPresence;      // what setRelayPresence gave
    bool m_presencePublished = false; // a non-empty presence went out on this connection
    int m_syncMid = 0;
    std::chrono::steady_clock::time_point m_catchUpDeadline{};
    // The broker ended the connection: the keeper connects again after this time.
    bool m_reconnect = false;
    std::chrono::steady_clock::time_point m_reconnectAfter{};
    // How long after the broker's next refusal of the connection the keeper asks again.
    int m_refusedDelaySeconds = 1;
    std::map<std::string, Outgoing> m_outbox; // slot -> latest unacknowledged message
    // Slots of fresh kills in the order they were recorded, while any waits for its turn.
    std::deque<std::string> m_waitingSlots;
    SendPacer m_pacer;
    bool m_pacing = false; // a kill waits: the keeper sends it at m_paceAfter
    std::chrono::steady_clock::time_point m_paceAfter{};

    std::atomic<std::uint64_t> m_dropped{0};
    // Makes the first connection (name lookup and TCP connect) off the caller's thread,
    // then ends catch-ups that take too long.
    std::thread m_keeper;
    std::mutex m_keeperMutex;
    std::condition_variable m_keeperWake;
};

} // namespace zorvane::share
