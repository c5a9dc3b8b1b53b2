#pragma once
// A room is named by one link that guild members pass around:
// mqtt://[user@]host[:port]/room (plain) or mqtts://... (TLS).

#include "text/message.h"

#include <string>
#include <string_view>

namespace zorvane::share {

inline constexpr int kPlainPort = 1883;
inline constexpr int kTlsPort = 8883;
// Longest room name accepted, in bytes; a room name is one topic level.
inline constexpr std::size_t kMaxRoomBytes = 128;

struct RoomLink {
    bool secure = false; // mqtts: TLS with verified certificates
    std::string user;    // empty: connect without a user name
    std::string host;    // a name, an IPv4 address or an IPv6 address without brackets
    int port = kPlainPort;
    std::string room; // the room name, UTF-8, never empty

    bool operator==(const RoomLink&) const = default;
};

// Reads a link. Returns false and says why in `reason` when it is not a room link;
// `link` is then left unchanged.
bool parseRoomLink(std::string_view text, RoomLink& link, text::Message& reason);

// The link as text again (the port only when it is not the default of the scheme), so
// that the preferences can store what the user typed in a normal form.
std::string formatRoomLink(const RoomLink& link);

} // namespace zorvane::share
