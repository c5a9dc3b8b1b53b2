#pragma once
// How a room with several relays posts each event once. A relay is a member whose
// push.json holds a target for the room; every relay tells the room which channels it
// holds (a key per address, never the address), and for each event and channel all relays
// rank the holders alike by rendezvous hashing of the event id. The first posts at once
// and says so (a claim); the next posts kTakeOverDelay later only if no claim came, and so
// on, so a relay that has left, has stopped its countdown or does not track that boss is
// taken over without any of them having to know.
//
// On the room's broker (the room code publishes and reads these; payloads below):
//   zorvane/v1/<room>/~relay/<relay id>  the presence, retained, QoS 1; the same topic with
//                                        an empty retained payload as the client's will and
//                                        when it stops relaying, so the broker forgets it
//   zorvane/v1/<room>/~claim             claims, QoS 1, not retained
// A presence carries the time it was written, and a live relay writes it again every
// RelayTiming::refresh: a presence older than RelayTiming::life was left behind (a member
// revoked while connected, a broker that crashed with its retained store, so no will was
// sent) and no longer ranks. Earlier versions write no time; theirs rank as before.
// A presence also carries when its relay began relaying in the room. Claims are not kept by
// the broker, so a relay that began after an event fired cannot know whether it was
// posted: it leaves the event to a relay that was there when it fired, and posts it only
// when none was.
// <room> is written as the room's boss topics write it; "~" never starts a boss's level
// (such bytes are escaped there), so the two subtrees never meet.

#include "push/alertevent.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zorvane::push {

inline constexpr std::chrono::seconds kTakeOverDelay{20};
inline constexpr std::size_t kMaxRelayPayloadBytes = 4096;
inline constexpr std::size_t kMaxRelayChannels = 32;

struct RelayTiming {
    std::chrono::seconds refresh{std::chrono::minutes(5)};
    // Three refreshes missed, with room for clocks a little apart.
    std::chrono::seconds life{std::chrono::minutes(16)};
    // How long a relay that has just begun waits before it posts an event that fired before
    // it began: the presences the broker keeps reach it meanwhile.
    std::chrono::seconds settle{10};
};

// One channel a relay posts to, and which kinds of alert it posts there.
struct RelayChannel {
    std::string key; // channelKey of the address
    KindSet kinds;
    friend bool operator==(const RelayChannel&, const RelayChannel&) = default;
};

struct RelayPresence {
    std::string relayId; // 32 hex digits, new for every run of the program
    std::vector<RelayChannel> channels;
    std::int64_t writtenUtc = 0; // seconds since 1970 UTC; 0: an earlier version's, not known
    // When this run of the relay began relaying in the room; 0: not known (an earlier
    // version's), taken as there all along.
    std::int64_t sinceUtc = 0;
    friend bool operator==(const RelayPresence&, const RelayPresence&) = default;
};

// "I am posting this event to this channel now."
struct RelayClaim {
    std::string relayId;
    std::string eventId;
    std::string channel;
    friend bool operator==(const RelayClaim&, const RelayClaim&) = default;
};

// 16 hex digits of the SHA-256 of the room and the trimmed address: members holding the same
// webhook or topic get the same key, and the key does not give the address away.
std::string channelKey(std::string_view room, std::string_view url);

// {"v":1,"relay":"…","at":1796637600,"since":1796630000,"channels":[{"key":"…","kinds":["lead"]}]}
// ("at" and "since" left out while 0)
std::string encodePresence(const RelayPresence& presence);
// {"v":1,"relay":"…","event":"…","channel":"…"}
std::string encodeClaim(const RelayClaim& claim);
// Strict: nullopt for anything larger than kMaxRelayPayloadBytes, not JSON, of another
// version, with a field missing or of the wrong shape. Never throws.
std::optional<RelayPresence> decodePresence(std::string_view payload);
std::optional<RelayClaim> decodeClaim(std::string_view payload);

// The relays holding the channel for this kind of alert, best first: ordered by the
// SHA-256 score of (event id, channel, relay id), ties by relay id. Every member computes
// the same order from the same relays.
std::vector<std::string> relayOrder(std::string_view eventId, std::string_view channel,
                                    AlertKind kind, std::span<const RelayPresence> present);

// When this relay posts: at once when it ranks first among the holders (itself counted
// whether or not its presence is known yet), otherwise after kTakeOverDelay per relay ranked
// before it, unless a claim arrives meanwhile.
std::chrono::seconds relayDelay(std::string_view eventId, std::string_view channel, AlertKind kind,
                                std::string_view myId, std::span<const RelayPresence> present);

// Told what this relay must publish; called on the thread that changed the book or claimed,
// so an implementation hands over and returns at once.
class RelayOutbox {
public:
    virtual ~RelayOutbox() = default;
    virtual void publishPresence(const RelayPresence& presence) = 0;
    virtual void publishClaim(const RelayClaim& claim) = 0;
};

// The relays of one room as this member knows them, and the claims it has seen. Safe to use
// from any thread.
class RelayBook {
public:
    // `relayId` empty: a new random one.
    explicit RelayBook(std::string room, std::string relayId = {}, RelayTiming timing = {});

    const std::string& room() const { return m_room; }
    const std::string& relayId() const { return m_relayId; }
    std::string channelFor(std::string_view url) const { return channelKey(m_room, url); }

    // outbox may be null (nothing published); it must outlive the book or be reset first.
    void setOutbox(RelayOutbox* outbox);
    // This relay's channels (from the room targets); publishes the presence, written now,
    // when it changed.
    void setOwnChannels(std::vector<RelayChannel> channels, std::int64_t nowUtc);
    RelayPresence ownPresence() const;
    // Publishes this relay's presence again when it was written RelayTiming::refresh ago or
    // earlier. Gives when to call again (seconds since 1970 UTC); nullopt while this relay
    // holds no channel.
    std::optional<std::int64_t> refreshPresence(std::int64_t nowUtc);

    // Another relay's presence arrived (our own is ignored: the book knows it already).
    void presenceReceived(const RelayPresence& presence);
    // Its topic was emptied: it left.
    void relayLeft(std::string_view relayId);
    // The connection to the room was lost: who is there is unknown until it is back.
    void forgetOthers();
    std::vector<RelayPresence> others() const;

    void claimReceived(const RelayClaim& claim, std::int64_t nowUtc);

    // What the room's broker carried, as it came: the payload on a relay's presence topic
    // (empty: cleared, it left) and on the claims' topic. False when it was dropped: not
    // readable, or a presence under another relay's topic.
    bool presenceHeard(std::string_view topicRelayId, std::string_view payload);
    bool claimHeard(std::string_view payload, std::int64_t nowUtc);

    // Presences older than RelayTiming::life at `nowUtc` are left out, and so are relays
    // that began after the event fired (`firesUtc`, when known): they leave it to this one.
    // An event that fired before this relay began waits at least until RelayTiming::settle
    // after it began.
    std::chrono::seconds delayFor(std::string_view eventId, std::string_view channel,
                                  AlertKind kind, std::int64_t nowUtc,
                                  std::optional<std::int64_t> firesUtc = std::nullopt) const;
    // Whether an event that fired at `firesUtc`, before this relay began, is another's to
    // post: a live relay holding the channel for the kind was there when it fired.
    bool leftToEarlierRelay(std::string_view channel, AlertKind kind, std::int64_t firesUtc,
                            std::int64_t nowUtc) const;
    // Whether another relay has claimed the event for the channel.
    bool claimedElsewhere(std::string_view eventId, std::string_view channel) const;
    // Just before posting: false when another relay has claimed the event for the channel;
    // otherwise notes and publishes this relay's claim and gives true.
    bool claim(std::string_view eventId, std::string_view channel, std::int64_t nowUtc);

private:
    void noteClaim(std::string key, std::int64_t nowUtc);
    bool isLive(const RelayPresence& presence, std::int64_t nowUtc) const;

    const std::string m_room;
    const std::string m_relayId;
    const RelayTiming m_timing;
    mutable std::mutex m_mutex;
    RelayOutbox* m_outbox = nullptr;
    std::vector<RelayChannel> m_ownChannels;
    std::int64_t m_ownWrittenUtc = 0;
    std::int64_t m_ownSinceUtc = 0;
    std::map<std::string, RelayPresence, std::less<>> m_others;
    std::map<std::string, std::pair<std::int64_t, std::string>, std::less<>> m_claims;
};

} // namespace zorvane::push
