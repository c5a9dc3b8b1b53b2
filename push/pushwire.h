#pragma once
// The lines between the window and the push helper (zorvane-push), one JSON object per line:
// the window hands alerts and "read push.json again" in, the helper reports each target's
// status and the settings' problems back. Messages travel as text::messageLine, so the
// window words them in the player's language. Reading is strict and never throws: a line
// that is not one of these gives nullopt.

#include "push/alertevent.h"
#include "push/targetstatus.h"
#include "text/message.h"

#include <optional>
#include <string>
#include <string_view>

namespace zorvane::push {

// Lines longer than this are not read (an alert with its names is far below it).
inline constexpr std::size_t kMaxWireLine = 16 * 1024;

// The room's push relays (relay.h) between the window, which holds the room's connection,
// and the helper, which holds the relay book. Window -> helper: Join (relay in this room
// under this id), Presence and Claim as the broker carried them, Lost (the connection to the
// room is down). Helper -> window: Presence and Claim to publish.
struct RelayLine {
    enum class Kind { Join, Presence, Claim, Lost };
    Kind kind = Kind::Join;
    std::string room;    // Join
    std::string relayId; // Join: this relay's; Presence: whose
    std::string payload; // Presence (empty: it left), Claim
    friend bool operator==(const RelayLine&, const RelayLine&) = default;
};

std::string relayLine(const RelayLine& relay);

// Window -> helper.
struct HelperCommand {
    enum class Kind { Alert, Reload, Relay };
    Kind kind = Kind::Alert;
    AlertEvent event; // Alert
    RelayLine relay;  // Relay
};

std::string alertLine(const AlertEvent& event);
std::string reloadLine();
std::optional<HelperCommand> readCommand(std::string_view line);

// Helper -> window.
struct HelperReport {
    enum class Kind { Status, Problem, Relay };
    Kind kind = Kind::Status;
    TargetStatus status;   // Status
    text::Message problem; // Problem: what is wrong with push.json
    RelayLine relay;       // Relay
};

std::string statusLine(const TargetStatus& status);
std::string problemLine(const text::Message& problem);
std::optional<HelperReport> readReport(std::string_view line);

} // namespace zorvane::push
