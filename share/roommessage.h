#pragma once
// The messages members exchange on the room's current topics (roomtopics.h), as small JSON
// of version 2 with a "type": a kill, a retraction of a kill, a boss list an officer offers.
// Who sent a message is not in it: the topic's member level says that, and the broker
// vouches for it. Decoding is strict and never throws.

#include "share/killevent.h"
#include "share/roomtopics.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zorvane::share {

inline constexpr int kMessageVersion = 2;
// Largest boss list, as the JSON text of its object; the only message over kMaxPayloadBytes.
inline constexpr std::size_t kMaxListBytes = 60 * 1024;
// The largest packet a member accepts, told to the broker when connecting: a list with its
// topic and the packet's own fields. A broker that honours it never sends anything larger,
// so nothing larger is ever read into memory here.
inline constexpr std::size_t kMaxPacketBytes = 64 * 1024;
// Longest list name, in bytes.
inline constexpr std::size_t kMaxListNameBytes = 64;

// A member takes back a kill: an officer any member's, anyone else only its own.
struct Retraction {
    std::string targetEventId;     // the retracted kill's event id
    std::string targetMember;      // the member level the retracted kill came from
    KillKey key;                   // what the retracted kill was of
    std::int64_t killUtcSeconds{}; // the retracted kill's instant
    std::string nickname;          // the retracting member's nickname
    std::string senderId;
    std::int64_t sentUtcMillis{};
    std::string eventId; // of the retraction itself

    bool operator==(const Retraction&) const = default;
};

// A boss list an officer offers the room. The list's own format belongs to whoever reads
// it; here it is a JSON object of at most kMaxListBytes.
struct BossListOffer {
    std::string name;
    std::string listJson; // the object, as JSON text
    std::string nickname;
    std::string senderId;
    std::int64_t sentUtcMillis{};
    std::string eventId;

    bool operator==(const BossListOffer&) const = default;
};

// A member tells the room that a game server restarted at an instant: every member starts
// its rows of that server again by their own rules, as for a restart told to it directly.
struct ServerRestart {
    std::string server;               // "" for a table without servers
    std::int64_t restartUtcSeconds{}; // when the server restarted
    std::string nickname;
    std::string senderId;
    std::int64_t sentUtcMillis{};
    std::string eventId;

    bool operator==(const ServerRestart&) const = default;
};

enum class MessageType { Kill, Retraction, List, Restart };

struct RoomMessage {
    MessageType type = MessageType::Kill;
    KillEvent kill;        // Kill
    Retraction retraction; // Retraction
    BossListOffer list;    // List
    ServerRestart restart; // Restart
};

struct MessageDecode {
    std::optional<RoomMessage> message; // set when the payload is a valid message
    DropReason reason = DropReason::NotJson;
    std::string detail; // what exactly was wrong, when the message is not set
};

// Why a message cannot be sent: empty when it is fine.
std::string checkRetraction(const Retraction& retraction, DropReason* reason = nullptr);
std::string checkListOffer(const BossListOffer& offer, DropReason* reason = nullptr);
std::string checkRestart(const ServerRestart& restart, DropReason* reason = nullptr);

std::string encodeKill(const KillEvent& event);
std::string encodeRetraction(const Retraction& retraction);
std::string encodeListOffer(const BossListOffer& offer);
std::string encodeRestart(const ServerRestart& restart);

// Reads a version-2 payload. Kills and retractions larger than kMaxPayloadBytes and lists
// larger than kMaxListBytes are dropped as TooLarge.
MessageDecode decodeRoomMessage(std::string_view payload) noexcept;

} // namespace zorvane::share
