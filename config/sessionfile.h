#pragma once
// "session.ini" beside config.ini: the last moment the program was seen running, so
// that at the next start it can tell which cycles came due while it was not.

#include "schedule/instant.h"

#include <filesystem>
#include <optional>

namespace zorvane::config {

inline constexpr std::string_view kSessionFileName = "session.ini";

std::filesystem::path sessionFilePath(const std::filesystem::path& dir);

// The stored moment; nullopt when the file, the key or a readable value is missing.
std::optional<schedule::UtcSeconds> readLastSeen(const std::filesystem::path& dir);

// Stores the moment in one atomic write; false when the write fails.
bool writeLastSeen(const std::filesystem::path& dir, schedule::UtcSeconds instant);

} // namespace zorvane::config
