#pragma once
// Reading and checking the fields of a room message's JSON, shared by the message formats
// of every version. Internal to share/.

#include "share/killevent.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zorvane::share::fields {

using Json = nlohmann::json;

struct Failure {
    DropReason reason;
    std::string detail;
};

// 32 lower-case hex digits.
bool isHexId(std::string_view id);

// Empty when the text is fine: not empty (unless `mayBeEmpty`), at most `maxBytes`,
// valid UTF-8, no control characters, no blanks at either end.
std::string textProblem(const char* field, std::string_view text, std::size_t maxBytes,
                        bool mayBeEmpty = false);

// Reads an integer field within [low, high]; nlohmann keeps large positive numbers unsigned
// and fractions as floating point, both of which are checked here rather than converted
// silently.
std::optional<Failure> readInteger(const Json& object, const char* key, std::int64_t low,
                                   std::int64_t high, std::int64_t& out);
std::optional<Failure> readText(const Json& object, const char* key, std::string& out);

// Parses a payload into a JSON object; the failure says why it is none. Payloads over
// `limit` bytes are not parsed at all.
std::optional<Failure> parseObject(std::string_view payload, std::size_t limit, Json& object);

// The JSON text of an object, replacing invalid UTF-8 rather than throwing.
std::string dump(const Json& object);

// "v" is there and is `expected`.
std::optional<Failure> readVersion(const Json& object, int expected);
// The fields every version of a kill has (boss, period, delay, kill, nick, from, sent, id),
// then checkKillEvent on the whole event.
std::optional<Failure> readKillFields(const Json& object, KillEvent& event);

} // namespace zorvane::share::fields
