#pragma once
// Notes a player keeps per boss (where it stands, what it drops, anything else, the group
// the grid shows it under), in a file of their own beside config.ini, so that config.ini
// keeps its sections. The file is small versioned JSON keyed by the boss's name:
//
//   {"version": 1, "notes": {"黑龙": {"location": "...", "drops": "...", "text": "...",
//                                      "group": "野外"}}}
//
// The group lives here rather than in a file of its own because it belongs to the boss by
// name exactly as its note does: it is carried through the same atomic writes, the same
// refusal of a malformed file, and the same boss lists, and a program that predates groups
// reads the file as before (it ignores the extra field).
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
// Longest group name, in bytes of UTF-8.
inline constexpr std::size_t kMaxGroupBytes = 200;

struct BossNote {
    std::string location;
    std::string drops;
    std::string text;
    // The group the grid shows the boss under (one line of free text); none when empty.
    std::string group = {};

    bool empty() const {
        return location.empty() && drops.empty() && text.empty() && group.empty();
    }
    // The note without its group: what a tooltip, the note dialog and a boss list's "notes"
    // carry.
    BossNote withoutGroup() const { return {location, drops, text, {}}; }
    bool operator==(const BossNote&) const = default;
};

// By the boss's name, trimmed.
using BossNotes = std::map<std::string, BossNote>;

// A group name the file can hold: one line, no blanks around it (empty: no group).
bool isGroupName(std::string_view group);

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
