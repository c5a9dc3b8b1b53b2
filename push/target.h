#pragma once
// Where alerts are pushed: a Discord webhook, an ntfy topic or any address that takes a
// JSON POST, for the player alone or for the whole room.

#include "push/alertevent.h"

#include <optional>
#include <string>
#include <string_view>

namespace zorvane::push {

enum class TargetKind : std::uint8_t { Discord, Ntfy, Json };

// "discord", "ntfy", "json", as stored in push.json.
std::string_view targetKindName(TargetKind kind);
std::optional<TargetKind> targetKindFromName(std::string_view name);

enum class TargetScope : std::uint8_t {
    Player, // this player's own channel or phone: this machine always posts
    Room,   // the room's channel: one relay of the room posts each event (relay.h)
};

std::string_view scopeName(TargetScope scope);
std::optional<TargetScope> scopeFromName(std::string_view name);

struct PushTarget {
    // Stable key of the target (16 hex digits, made once), under which its status is kept.
    std::string id;
    std::string name; // the player's label, "公会频道"
    TargetKind kind = TargetKind::Discord;
    // The whole address with its secret (webhook token, topic, user and password).
    std::string url;
    TargetScope scope = TargetScope::Player;
    KindSet events = KindSet::all();
    bool enabled = true;

    friend bool operator==(const PushTarget&, const PushTarget&) = default;
};

// A new random target id.
std::string newTargetId();

} // namespace zorvane::push
