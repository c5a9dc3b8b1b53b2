#pragma once
// The push targets, kept in push.json beside config.ini: a file of their own, readable and
// writable by its owner only, since every address in it holds a secret (a webhook token,
// an ntfy topic, a password). JSON, because a target is a record with a list in it and
// there may be any number of them; nothing else ever writes this file.

#include "push/target.h"
#include "text/message.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace zorvane::push {

inline constexpr std::string_view kPushSettingsFileName = "push.json";

struct PushSettings {
    std::vector<PushTarget> targets;
    // Targets this version cannot read (a kind added later, say), kept as they were so that
    // writing the settings back loses none of them.
    std::vector<std::string> keptAside;

    friend bool operator==(const PushSettings&, const PushSettings&) = default;
};

struct PushSettingsRead {
    PushSettings settings;
    // What the player should be told: a file that cannot be read or is not JSON (nothing is
    // pushed then), targets that were skipped. Empty when all was well or no file exists.
    std::vector<text::Message> problems;
};

std::string encodePushSettings(const PushSettings& settings);
// `fileName` names the file in the problems.
PushSettingsRead decodePushSettings(std::string_view json, std::string_view fileName);

// Reads the file; no file gives no targets and no problem. A file others may read is made
// the owner's alone.
PushSettingsRead readPushSettings(const std::filesystem::path& file);

// Writes the whole file atomically, owner-only. A file that is there but is not JSON is first
// moved aside to "push.json.broken", so the player's hand edits are not lost. False with the
// path and the system's reason in `error` when it cannot be written.
bool writePushSettings(const std::filesystem::path& file, const PushSettings& settings,
                       std::string* error = nullptr);

} // namespace zorvane::push
