#include "config/linesfile.h"

#include "text/codec.h"
#include "text/fileio.h"
#include "text/textops.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <map>
#include <set>
#include <system_error>
#include <utility>

namespace zorvane::config {
namespace {

using Json = nlohmann::json;
using schedule::LineKey;
using schedule::UtcSeconds;

// Thrown out of the parser's callback to stop reading a file nested too deep.
struct TooDeep {};
constexpr int kMaxDepth = 6;

// Instants a file may hold: 1970 to the year 9999.
constexpr std::int64_t kLatestInstant = 253'402'300'799;

constexpr std::pair<const char*, std::optional<UtcSeconds> StoredLine::*> kInstants[] = {
    {"kill", &StoredLine::lastKill},
    {"up", &StoredLine::upSince},
    {"missed", &StoredLine::missedAt},
};

// A name the grid and config.ini can show and keep: UTF-8, no control characters.
bool goodName(const std::string& name) {
    return !name.empty() && name.size() <= 200 && text::isValidUtf8(name) &&
           text::trim(name) == name && std::none_of(name.begin(), name.end(), [](char c) {
               return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
           });
}

// Reads a list of distinct names; the reason otherwise.
bool readNames(const Json& boss, const char* field, std::size_t most,
               std::vector<std::string>& names, std::string& error) {
    const auto found = boss.find(field);
    if (found == boss.end()) {
        return true;
    }
    if (!found->is_array() || found->size() > most) {
        error = std::string("\"") + field + "\" is not a list of at most " + std::to_string(most) +
                " names";
        return false;
    }
    std::set<std::string> seen;
    for (const Json& name : *found) {
        if (!name.is_string() || !goodName(name.get_ref<const std::string&>()) ||
            !seen.insert(name.get<std::string>()).second) {
            error = std::string("\"") + field +
                    "\" holds an empty, blank-edged, repeated or unprintable name";
            return false;
        }
        names.push_back(name.get<std::string>());
    }
    return true;
}

std::optional<StoredLine> readTimer(const Json& entry, const schedule::BossLines& lines,
                                    std::string& error) {
    if (!entry.is_object()) {
        error = "a timer is not an object";
        return std::nullopt;
    }
    StoredLine timer;
    const auto server = entry.find("server");
    const auto line = entry.find("line");
    if ((server != entry.end() && !server->is_string()) || line == entry.end() ||
        !line->is_string()) {
        error = "a timer's \"server\" or \"line\" is missing or not a text";
        return std::nullopt;
    }
    timer.key.server = server == entry.end() ? std::string() : server->get<std::string>();
    timer.key.line = line->get<std::string>();
    const bool serverKnown = lines.servers.empty()
                                 ? timer.key.server.empty()
                                 : std::find(lines.servers.begin(), lines.servers.end(),
                                             timer.key.server) != lines.servers.end();
    if (!serverKnown ||
        std::find(lines.lines.begin(), lines.lines.end(), timer.key.line) == lines.lines.end()) {
        error = "a timer names line '" + timer.key.line + "' of server '" + timer.key.server +
                "', which the boss does not have";
        return std::nullopt;
    }
    for (const auto& [field, member] : kInstants) {
        const auto value = entry.find(field);
        if (value == entry.end()) {
            continue;
        }
        if (!value->is_number_integer() || value->get<std::int64_t>() < 0 ||
            value->get<std::int64_t>() > kLatestInstant) {
            error = std::string("a timer's \"") + field + "\" is not an instant";
            return std::nullopt;
        }
        timer.*member = value->get<std::int64_t>();
    }
    return timer;
}

std::optional<StoredBoss> readBoss(const Json& entry, std::string& error) {
    if (!entry.is_object()) {
        error = "a boss is not an object";
        return std::nullopt;
    }
    StoredBoss boss;
    const auto name = entry.find("name");
    if (name == entry.end() || !name->is_string() ||
        !goodName(name->get_ref<const std::string&>())) {
        error = "a boss has no name, or an empty, blank-edged or unprintable one";
        return std::nullopt;
    }
    boss.name = name->get<std::string>();
    const auto problem = [&](std::string reason) {
        error = "'" + boss.name + "': " + reason;
        return std::nullopt;
    };
    std::string reason;
    if (!readNames(entry, "servers", schedule::kMaxServersPerBoss, boss.lines.servers, reason) ||
        !readNames(entry, "lines", schedule::kMaxLinesPerServer, boss.lines.lines, reason)) {
        return problem(reason);
    }
    if (boss.lines.lines.empty()) {
        return problem("no lines");
    }
    const auto timers = entry.find("timers");
    if (timers != entry.end()) {
        const std::size_t most =
            std::max<std::size_t>(1, boss.lines.servers.size()) * boss.lines.lines.size();
        if (!timers->is_array() || timers->size() > most) {
            return problem("\"timers\" is not a list of at most one per line");
        }
        std::set<LineKey> seen;
        for (const Json& timer : *timers) {
            std::optional<StoredLine> read = readTimer(timer, boss.lines, reason);
            if (!read) {
                return problem(reason);
            }
            if (!seen.insert(read->key).second) {
                return problem("line '" + read->key.line + "' has two timers");
            }
            boss.timers.push_back(std::move(*read));
        }
    }
    return boss;
}

} // namespace

std::string encodeLines(const StoredLines& bosses) {
    Json list = Json::array();
    for (const StoredBoss& boss : bosses) {
        Json entry{{"name", boss.name}};
        if (!boss.lines.servers.empty()) {
            entry["servers"] = boss.lines.servers;
        }
        entry["lines"] = boss.lines.lines;
        Json timers = Json::array();
        for (const StoredLine& timer : boss.timers) {
            Json stored = Json::object();
            if (!timer.key.server.empty()) {
                stored["server"] = timer.key.server;
            }
            stored["line"] = timer.key.line;
            for (const auto& [field, member] : kInstants) {
                if (timer.*member) {
                    stored[field] = *(timer.*member);
                }
            }
            timers.push_back(std::move(stored));
        }
        if (!timers.empty()) {
            entry["timers"] = std::move(timers);
        }
        list.push_back(std::move(entry));
    }
    const Json root{{"format", kLinesFormat}, {"version", kLinesVersion}, {"bosses", list}};
    return root.dump(1, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::optional<StoredLines> decodeLines(std::string_view text, std::string& error) {
    if (text.size() > kMaxLinesFileBytes) {
        error = "larger than " + std::to_string(kMaxLinesFileBytes) + " bytes";
        return std::nullopt;
    }
    // Nesting deeper than the format's own is refused while parsing, before it costs stack.
    Json root;
    try {
        root = Json::parse(text.begin(), text.end(), [](int depth, Json::parse_event_t, Json&) {
            if (depth > kMaxDepth) {
                throw TooDeep{};
            }
            return true;
        });
    } catch (const TooDeep&) {
        error = "nested deeper than " + std::to_string(kMaxDepth) + " levels";
        return std::nullopt;
    } catch (const Json::exception& e) {
        error = std::string("not JSON: ") + e.what();
        return std::nullopt;
    }
    if (!root.is_object()) {
        error = "not a JSON object";
        return std::nullopt;
    }
    const auto format = root.find("format");
    const auto version = root.find("version");
    if (format == root.end() || *format != kLinesFormat || version == root.end() ||
        !version->is_number_integer() || version->get<std::int64_t>() != kLinesVersion) {
        error = "not version " + std::to_string(kLinesVersion) + " of the lines file";
        return std::nullopt;
    }
    const auto list = root.find("bosses");
    if (list == root.end() || !list->is_array() || list->size() > kMaxBossesWithLines) {
        error = "\"bosses\" is missing, not a list or longer than " +
                std::to_string(kMaxBossesWithLines);
        return std::nullopt;
    }
    StoredLines bosses;
    std::set<std::string> names;
    for (const Json& entry : *list) {
        std::optional<StoredBoss> boss = readBoss(entry, error);
        if (!boss) {
            return std::nullopt;
        }
        if (!names.insert(boss->name).second) {
            error = "'" + boss->name + "' is given twice";
            return std::nullopt;
        }
        bosses.push_back(std::move(*boss));
    }
    return bosses;
}

std::optional<StoredLines> readLinesFile(const std::filesystem::path& dir, std::string& error) {
    const std::filesystem::path file = dir / kLinesFileName;
    std::error_code code;
    if (!std::filesystem::exists(std::filesystem::symlink_status(file, code))) {
        return StoredLines{};
    }
    if (std::filesystem::file_size(file, code) > kMaxLinesFileBytes && !code) {
        error = text::utf8FromPath(file) + ": larger than " + std::to_string(kMaxLinesFileBytes) +
                " bytes";
        return std::nullopt;
    }
    std::optional<std::string> bytes = text::readWholeFile(file, &error);
    if (!bytes) {
        return std::nullopt;
    }
    std::optional<StoredLines> bosses = decodeLines(*bytes, error);
    if (!bosses) {
        error = text::utf8FromPath(file) + ": " + error;
    }
    return bosses;
}

bool writeLinesFile(const std::filesystem::path& dir, const StoredLines& bosses,
                    std::string& error) {
    const std::filesystem::path file = dir / kLinesFileName;
    if (bosses.empty()) {
        std::error_code code;
        std::filesystem::remove(file, code);
        if (code) {
            error = text::utf8FromPath(file) + ": " + code.message();
            return false;
        }
        return true;
    }
    return text::replaceFileAtomically(file, encodeLines(bosses), &error);
}

StoredLines storedLinesOf(const std::vector<schedule::BossRow>& rows,
                          const schedule::LineBoard& board, const StoredLines& unclaimed) {
    StoredLines bosses;
    std::set<std::string> names;
    for (const schedule::BossRow& row : rows) {
        const std::string name = text::trim(row.text[schedule::kNameColumn]);
        if (name.empty() || !names.insert(name).second) {
            continue;
        }
        std::optional<schedule::BossLines> lines = board.lines(row.id);
        if (!lines) {
            continue;
        }
        StoredBoss boss{name, std::move(*lines), {}};
        for (const schedule::LineTimer& timer : board.timers(row.id)) {
            const schedule::LineState& state = timer.state;
            if (state.lastKill || state.upSince || state.missedAt) {
                boss.timers.push_back({timer.key, state.lastKill, state.upSince, state.missedAt});
            }
        }
        bosses.push_back(std::move(boss));
    }
    for (const StoredBoss& boss : unclaimed) {
        if (names.insert(boss.name).second) {
            bosses.push_back(boss);
        }
    }
    return bosses;
}

StoredLines applyStoredLines(const std::vector<schedule::BossRow>& rows, schedule::LineBoard& board,
                             const StoredLines& bosses) {
    std::map<std::string, schedule::RowId> rowOf;
    for (const schedule::BossRow& row : rows) {
        rowOf.try_emplace(text::trim(row.text[schedule::kNameColumn]), row.id);
    }
    StoredLines unclaimed;
    for (const StoredBoss& boss : bosses) {
        const auto row = rowOf.find(boss.name);
        if (row == rowOf.end() || !board.setLines(row->second, boss.lines)) {
            unclaimed.push_back(boss);
            continue;
        }
        for (const StoredLine& stored : boss.timers) {
            schedule::LineId id = 0;
            if (board.findLine(row->second, stored.key.server, stored.key.line, id) ==
                schedule::LineLookup::Found) {
                schedule::LineState state;
                state.lastKill = stored.lastKill;
                state.upSince = stored.upSince;
                state.missedAt = stored.missedAt;
                board.restore(row->second, id, state);
            }
        }
    }
    return unclaimed;
}

} // namespace zorvane::config
