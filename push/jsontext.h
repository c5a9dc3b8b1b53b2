#pragma once
// JSON as text the way the push module writes it everywhere: names from the player (bosses,
// targets) may hold bytes that are not UTF-8, which nlohmann would throw on; they become
// U+FFFD instead.

#include <nlohmann/json.hpp>

#include <string>

namespace zorvane::push {

inline std::string jsonText(const nlohmann::json& json, int indent = -1) {
    return json.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace zorvane::push
