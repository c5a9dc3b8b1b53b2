#include "config/sessionfile.h"

#include "config/inifile.h"

namespace zorvane::config {
namespace {

constexpr std::string_view kSection = "session";
constexpr std::string_view kLastSeenKey = "lastSeenUtc";

} // namespace

std::filesystem::path sessionFilePath(const std::filesystem::path& dir) {
    return dir / std::filesystem::path(kSessionFileName);
}

std::optional<schedule::UtcSeconds> readLastSeen(const std::filesystem::path& dir) {
    return schedule::parseUtcText(readIniValue(sessionFilePath(dir), kSection, kLastSeenKey));
}

bool writeLastSeen(const std::filesystem::path& dir, schedule::UtcSeconds instant) {
    return writeIniValue(sessionFilePath(dir), kSection, kLastSeenKey, schedule::utcText(instant));
}

} // namespace zorvane::config
