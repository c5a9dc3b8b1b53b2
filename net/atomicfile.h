#pragma once
// Whole-file writes that never leave a half-written file behind.

#include <optional>
#include <string>
#include <string_view>

namespace zorvane::net {

// Replaces the file at `path` with `bytes`: they go to a temporary file in the same
// directory, which is then renamed over the target. On failure the old file (if any)
// stays as it was and false is returned.
bool writeFileAtomically(const std::string& path, std::string_view bytes);

// The whole content of a file; nullopt when it cannot be read.
std::optional<std::string> readWholeFile(const std::string& path);

} // namespace zorvane::net
