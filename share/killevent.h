#pragma once
// A kill recorded by one member, and its form on the topics of earlier versions
// (zorvane/v1/<room>/<boss>, small JSON of version 1), which members still read and write
// for members that have not updated. roommessage.h holds the current form. Decoding is
// strict and never throws: anything that is not a well-formed event is dropped with a
// reason.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zorvane::share {

// Largest payload accepted or sent.
inline constexpr std::size_t kMaxPayloadBytes = 4096;
// Longest boss name, nickname, server and line, in bytes of UTF-8.
inline constexpr std::size_t kMaxBossBytes = 256;
inline constexpr std::size_t kMaxNicknameBytes = 64;
inline constexpr std::size_t kMaxServerBytes = 64;
inline constexpr std::size_t kMaxLineBytes = 64;
// Periods and delays in minutes: up to a leap year.
inline constexpr int kMaxMinutes = 366 * 24 * 60;
// Instants are accepted from 2000-01-01 to 2100-01-01 UTC.
inline constexpr std::int64_t kEarliestUtcSeconds = 946684800;
inline constexpr std::int64_t kLatestUtcSeconds = 4102444800;
// The message format's version; messages of another version are dropped.
inline constexpr int kEventVersion = 1;

// How far the room vouches for who sent a kill (filled in on receipt, never sent).
enum class Standing {
    Legacy,    // a topic of an earlier version: the broker does not name the sender
    Member,    // the sender's own topic: the broker's access list names the member
    Officer,   // an officer's topic in a room whose broker enforces roles
    Unmanaged, // the sender's own topic where the broker enforces no roles: members may
               // share one account, so a member is told apart by its client's id as well
};

struct KillEvent {
    std::string boss;              // trimmed, as in the sender's table
    int periodMinutes = 0;         // the sender's period for the boss
    int delayMinutes = 0;          // the sender's delay for the boss
    std::int64_t killUtcSeconds{}; // the instant of the kill
    std::string nickname;          // the sender's nickname, shown to others
    std::string senderId;          // 32 hex digits, random per running client
    std::int64_t sentUtcMillis{};  // the sender's clock when sending
    std::string eventId;           // 32 hex digits, random per event
    std::string server = {};       // "" when the sender's table has no servers
    std::string line = {};         // "" when the boss has no lines
    // Sent again by another member than the one who recorded it, after the broker lost it.
    bool relayed = false;

    // Filled in on receipt: the member level of the topic it came on, and what that says.
    std::string member = {};
    Standing standing = Standing::Legacy;

    bool operator==(const KillEvent&) const = default;
};

enum class DropReason {
    TooLarge,      // payload over kMaxPayloadBytes
    NotJson,       // not parseable, or not a JSON object
    WrongVersion,  // "v" missing or another version
    MissingField,  // a required field is absent
    WrongType,     // a field has the wrong JSON type
    OutOfRange,    // a number outside its range
    BadText,       // a text empty, too long, untrimmed or with control characters
    BadId,         // an id that is not 32 lower-case hex digits
    TopicMismatch, // the topic does not belong to the room or names another boss
    UnknownType,   // a message type this version does not know
};

// A short English description of a drop reason, for logs and the window's counters.
const char* describe(DropReason reason);

// Why an event cannot be sent or was not accepted: empty when it is fine.
std::string checkKillEvent(const KillEvent& event, DropReason* reason = nullptr);

// The version-1 JSON payload of an event that passes checkKillEvent (its server and line,
// which version 1 has not, are left out).
std::string encodeKillEvent(const KillEvent& event);

struct DecodeResult {
    std::optional<KillEvent> event; // set when the payload is a valid event
    DropReason reason = DropReason::NotJson;
    std::string detail; // what exactly was wrong, when the event is not set
};

// Reads a version-1 payload. Never throws; payloads over kMaxPayloadBytes are not parsed at
// all.
DecodeResult decodeKillEvent(std::string_view payload) noexcept;

// 32 lower-case hex digits of 128 random bits.
std::string randomId();

// Topic levels never contain '/', '+', '#' or NUL: every byte other than ASCII letters,
// digits, '-', '_' and '.' is written as %XX (upper-case hex).
std::string encodeTopicLevel(std::string_view text);

// The topic a boss's kills travel on in a room; the boss name is trimmed first.
std::string bossTopic(std::string_view room, std::string_view boss);
// The filter that subscribes to every boss of a room.
std::string roomFilter(std::string_view room);
// Whether a received topic is the one the event's boss travels on in the room.
bool topicMatches(std::string_view topic, std::string_view room, const KillEvent& event);

} // namespace zorvane::share
