#pragma once
// The lines and servers of the bosses that have them, and each line's last kill and spawn
// marks, in lines.json beside config.ini: config.ini keeps one row per boss with its own
// sections and keys, and a table without lines writes no such file, so its files stay
// byte for byte as they were. Versioned JSON keyed by the boss's name, as the notes and
// boss lists are:
//
//   {"format": "zorvane-lines", "version": 1,
//    "bosses": [{"name": "黑龙", "servers": ["一区", "二区"], "lines": ["1", "2", "3"],
//                "timers": [{"server": "二区", "line": "3", "kill": 1765000000,
//                            "up": 1765003600, "missed": 1765003700}]}]}
//
// "servers" may be left out (one unnamed server; a timer then names none); a line without
// a kill or marks is left out of "timers". Reading is strict and never throws: anything
// else (bad JSON, another version, a field of the wrong type, a name twice, a timer on a
// line or server the boss lacks, beyond the limits) is refused whole with the reason.

#include "schedule/bosstable.h"
#include "schedule/linetimers.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorvane::config {

inline constexpr const char* kLinesFileName = "lines.json";
inline constexpr const char* kLinesFormat = "zorvane-lines";
inline constexpr int kLinesVersion = 1;
inline constexpr std::size_t kMaxLinesFileBytes = 16 * 1024 * 1024;
inline constexpr std::size_t kMaxBossesWithLines = 5000;

struct StoredLine {
    schedule::LineKey key;
    std::optional<schedule::UtcSeconds> lastKill;
    std::optional<schedule::UtcSeconds> upSince;
    std::optional<schedule::UtcSeconds> missedAt;
    bool operator==(const StoredLine&) const = default;
};

struct StoredBoss {
    std::string name;
    schedule::BossLines lines;
    std::vector<StoredLine> timers; // those with a kill or a mark
    bool operator==(const StoredBoss&) const = default;
};

using StoredLines = std::vector<StoredBoss>;

std::string encodeLines(const StoredLines& bosses);
// nullopt with the reason in `error` for anything that is not such a file.
std::optional<StoredLines> decodeLines(std::string_view text, std::string& error);

// lines.json in `dir`: none when it does not exist; nullopt with the file's name and the
// reason when it exists but cannot be read.
std::optional<StoredLines> readLinesFile(const std::filesystem::path& dir, std::string& error);
// Replaces the file atomically; with no bosses, removes it (a table back without lines
// leaves no file behind). False with the reason.
bool writeLinesFile(const std::filesystem::path& dir, const StoredLines& bosses,
                    std::string& error);

// What the board holds for the rows, by name (the first row of a name given twice), then
// the bosses of `unclaimed` that no row is named after.
StoredLines storedLinesOf(const std::vector<schedule::BossRow>& rows,
                          const schedule::LineBoard& board, const StoredLines& unclaimed = {});
// Gives the rows named in `bosses` their lines and timers (the first row of a name). Returns
// the bosses no row is named after, for the caller to keep, so that a save loses nothing.
StoredLines applyStoredLines(const std::vector<schedule::BossRow>& rows, schedule::LineBoard& board,
                             const StoredLines& bosses);

} // namespace zorvane::config
