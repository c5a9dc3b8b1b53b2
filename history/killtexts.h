#pragma once
// The texts of a recorded kill: the stable key of its source as stored in the
// database, the label the user reads, and instants and durations as text.

#include "schedule/services.h"
#include "text/message.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zorvane::history {

// The key stored in the database ("double-click", "typed", ...). Never changes, so
// old databases keep reading.
std::string_view sourceKey(schedule::KillSource source);
// The source of a stored key; nullopt for a key this version does not know.
std::optional<schedule::KillSource> sourceFromKey(std::string_view key);
// What files keep ("双击", "输入", ...): the default text of sourceMessage.
std::string_view sourceLabel(schedule::KillSource source);
// What the user reads, in the window's language.
text::Message sourceMessage(schedule::KillSource source);

// "YYYY-MM-DD hh:mm:ss" in the machine's local time zone.
std::string localTimeText(std::int64_t utcSeconds);
// "YYYY-MM-DDThh:mm:ssZ".
std::string utcTimeText(std::int64_t utcSeconds);

// A length of time for people: "45秒", "12分05秒", "2时03分10秒", "3天04时05分".
// A negative duration gets a leading "-". durationText is the default text of durationMessage.
text::Message durationMessage(std::int64_t seconds);
std::string durationText(std::int64_t seconds);

} // namespace zorvane::history
