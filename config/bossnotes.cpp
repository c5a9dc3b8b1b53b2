#include "config/bossnotes.h"

#include "text/fileio.h"
#include "text/textops.h"

#include <nlohmann/json.hpp>

#include <array>
#include <utility>

namespace zorvane::config {
namespace {

using Json = nlohmann::json;

constexpr std::array<std::pair<const char*, std::string BossNote::*>, 4> kFields = {{
    {"location", &BossNote::location},
    {"drops", &BossNote::drops},
    {"text", &BossNote::text},
    {"group", &BossNote::group},
}};

// Why a field's text cannot be kept; empty when it can.
std::string fieldProblem(const std::string& boss, const char* field, const std::string& value) {
    if (std::string_view(field) == "group") {
        if (value.size() > kMaxGroupBytes) {
            return "the group of '" + boss + "' is longer than " + std::to_string(kMaxGroupBytes) +
                   " bytes";
        }
        if (!isGroupName(value)) {
            return "the group of '" + boss + "' is not one line without blanks around it";
        }
        return {};
    }
    if (value.size() > kMaxNoteFieldBytes) {
        return "the " + std::string(field) + " of '" + boss + "' is longer than " +
               std::to_string(kMaxNoteFieldBytes) + " bytes";
    }
    return {};
}

} // namespace

bool isGroupName(std::string_view group) {
    if (group.empty()) {
        return true;
    }
    if (text::trim(std::string(group)).size() != group.size()) {
        return false;
    }
    for (const char c : group) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            return false;
        }
    }
    return true;
}

std::string encodeBossNotes(const BossNotes& notes) {
    Json list = Json::object();
    for (const auto& [boss, note] : notes) {
        if (note.empty()) {
            continue;
        }
        Json entry = Json::object();
        for (const auto& [field, member] : kFields) {
            if (!(note.*member).empty()) {
                entry[field] = note.*member;
            }
        }
        list[boss] = std::move(entry);
    }
    // Replacement characters rather than an exception, should a caller hand over broken
    // UTF-8; decodeBossNotes never lets any in.
    return Json{{"version", kNotesVersion}, {"notes", std::move(list)}}.dump(
               2, ' ', false, Json::error_handler_t::replace) +
           "\n";
}

std::optional<BossNotes> decodeBossNotes(std::string_view text, std::string& error) {
    const Json root = Json::parse(text.begin(), text.end(), nullptr, false);
    if (root.is_discarded() || !root.is_object()) {
        error = "not a JSON object";
        return std::nullopt;
    }
    const auto version = root.find("version");
    if (version == root.end() || !version->is_number_integer() ||
        version->get<std::int64_t>() != kNotesVersion) {
        error = "not version " + std::to_string(kNotesVersion) + " of the notes";
        return std::nullopt;
    }
    const auto list = root.find("notes");
    if (list == root.end() || !list->is_object()) {
        error = "\"notes\" is missing or not an object";
        return std::nullopt;
    }
    if (list->size() > kMaxNotes) {
        error = "more than " + std::to_string(kMaxNotes) + " notes";
        return std::nullopt;
    }
    BossNotes notes;
    for (const auto& [name, entry] : list->items()) {
        const std::string boss = text::trim(name);
        if (boss.empty() || boss.size() != name.size()) {
            error = "the boss name '" + name + "' is empty or has blanks around it";
            return std::nullopt;
        }
        if (!entry.is_object()) {
            error = "the note of '" + boss + "' is not an object";
            return std::nullopt;
        }
        BossNote note;
        for (const auto& [field, member] : kFields) {
            const auto value = entry.find(field);
            if (value == entry.end()) {
                continue;
            }
            if (!value->is_string()) {
                error = "the " + std::string(field) + " of '" + boss + "' is not a text";
                return std::nullopt;
            }
            note.*member = value->get<std::string>();
            if (std::string problem = fieldProblem(boss, field, note.*member); !problem.empty()) {
                error = std::move(problem);
                return std::nullopt;
            }
        }
        if (!note.empty()) {
            notes[boss] = std::move(note);
        }
    }
    return notes;
}

std::optional<BossNotes> readBossNotes(const std::filesystem::path& dir, std::string& error) {
    const std::filesystem::path file = dir / kNotesFileName;
    std::error_code code;
    if (!std::filesystem::exists(std::filesystem::symlink_status(file, code))) {
        return BossNotes{};
    }
    std::optional<std::string> bytes = text::readWholeFile(file, &error);
    if (!bytes) {
        return std::nullopt;
    }
    std::optional<BossNotes> notes = decodeBossNotes(*bytes, error);
    if (!notes) {
        error = text::utf8FromPath(file) + ": " + error;
    }
    return notes;
}

bool writeBossNotes(const std::filesystem::path& dir, const BossNotes& notes, std::string& error) {
    return text::replaceFileAtomically(dir / kNotesFileName, encodeBossNotes(notes), &error);
}

} // namespace zorvane::config
