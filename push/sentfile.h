#pragma once
// What this machine's targets were sent lately, kept in push-sent.json beside push.json, so
// that a restart (of the window or of zorvane-push) does not post an alert again: a member
// who quits and starts again within minutes of a spawn fires the spawn's alert anew.
//
// {"v":1,"sent":[{"target":"…","event":"…","until":1796637600}]}
//
// Only a memory against repeats: a file that is missing or cannot be read counts as empty,
// and a failed write costs at most one repeated post after the next start.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace zorvane::push {

// An event delivered to a target, remembered until it would no longer be sent anyway.
struct SentRecord {
    std::string targetId;
    std::string eventId;
    std::int64_t untilUtc = 0;
    friend bool operator==(const SentRecord&, const SentRecord&) = default;
};

// At most this many records are read or written.
inline constexpr std::size_t kMaxSentRecords = 4096;

// The file beside push.json.
std::filesystem::path sentFileFor(const std::filesystem::path& settingsFile);

// Records still current at `nowUtc`; empty for a missing, malformed or foreign file.
std::vector<SentRecord> readSentFile(const std::filesystem::path& file, std::int64_t nowUtc);
// Replaces the file atomically; false with the reason.
bool writeSentFile(const std::filesystem::path& file, const std::vector<SentRecord>& records,
                   std::string* error = nullptr);

} // namespace zorvane::push
