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

// Window -> helper.
struct HelperCommand {
    enum class Kind { Alert, Reload };
    Kind kind = Kind::Alert;
    AlertEvent event; // Alert
};

std::string alertLine(const AlertEvent& event);
std::string reloadLine();
std::optional<HelperCommand> readCommand(std::string_view line);

// Helper -> window.
struct HelperReport {
    enum class Kind { Status, Problem };
    Kind kind = Kind::Status;
    TargetStatus status;   // Status
    text::Message problem; // Problem: what is wrong with push.json
};

std::string statusLine(const TargetStatus& status);
std::string problemLine(const text::Message& problem);
std::optional<HelperReport> readReport(std::string_view line);

} // namespace zorvane::push
