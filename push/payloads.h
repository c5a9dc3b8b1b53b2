#pragma once
// The request each kind of target takes: a Discord webhook message (up to ten alerts as
// embeds, mentions switched off), an ntfy message in its JSON form (title, priority and
// tags, UTF-8 safe, unlike ntfy's header form), or one plain JSON object per alert.

#include "push/alertevent.h"
#include "push/target.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace zorvane::push {

// Words a message in the player's language. Called on the pusher's thread.
using Wording = std::function<std::string(const text::Message&)>;

struct PushRequest {
    std::string url;     // without user and password
    std::string headers; // CR LF between lines
    std::string body;
};

// How many alerts one request of this kind carries.
std::size_t maxBatch(TargetKind kind);

// The request that posts the alerts (at most maxBatch of them) to the target at `nowUtc`;
// nullopt when the target's address cannot serve its kind.
std::optional<PushRequest> buildRequest(const PushTarget& target,
                                        std::span<const AlertEvent> events, std::int64_t nowUtc,
                                        const Wording& wording);

// ntfy's priorities (1 min .. 5 max) and Discord's embed colours per kind.
int ntfyPriority(AlertKind kind);
std::uint32_t discordColour(AlertKind kind);

} // namespace zorvane::push
