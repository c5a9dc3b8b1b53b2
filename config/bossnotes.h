#pragma once
// Notes a player keeps per boss (where it stands, what it drops, anything else), in a file
// of their own beside config.ini, so that config.ini keeps its sections. The file is small
// versioned JSON keyed by the boss's name:
//
//   {"version": 1, "notes": {"黑龙": {"location": "...", "drops": "...", "text": "..."}}}
//
// A boss on several lines or servers is one boss with one note. Reading is strict and never
// throws: a file that is not such a list is refused with the reason and left as it is.

#include <cstddef>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace zorvane::config {

inline constexpr const char* kNotesFileName = "notes.json";
inline constexpr int kNotesVersion = 1;
// Longest field, in bytes of UTF-8, and the most notes a file may hold.
inline constexpr std::size_t kMaxNoteFieldBytes = 4000;
inline constexpr std::size_t kMaxNotes = 20000;

struct BossNote {
    std::string location;
    std::string drops;
    std::string text;

    bool empty() const { return location.empty() && drops.empty() && text.empty(); }
    bool operator==(const BossNote&) const = default;
};

// By the boss's name, trimmed.
using BossNotes = std::map<std::string, BossNote>;

// The file's text for the notes (empty notes left out).
std::string encodeBossNotes(const BossNotes& notes);
// Reads a file's text; nullopt with the reason in `error` for anything that is not a list
// of this version (bad JSON, another version, a field of the wrong type, too long or not
// UTF-8, too many notes).
std::optional<BossNotes> decodeBossNotes(std::string_view text, std::string& error);

// The notes beside config.ini in `dir`: none when the file does not exist; nullopt with the
// file's name and the reason when it exists but cannot be read.
std::optional<BossNotes> readBossNotes(const std::filesystem::path& dir, std::string& error);
// Replaces the file atomically; false with the reason.
bool writeBossNotes(const std::filesystem::path& dir, const BossNotes& notes, std::string& error);

} // namespace zorvane::config
