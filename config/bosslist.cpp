#include "config/bosslist.h"

#include "schedule/cycle.h"
#include "schedule/leadtimes.h"
#include "schedule/serverzone.h"
#include "text/codec.h"
#include "text/fileio.h"
#include "text/numbers.h"
#include "text/textops.h"

#include <nlohmann/json.hpp>

#include <array>
#include <fstream>
#include <map>
#include <set>
#include <utility>

namespace zorvane::config {
namespace {

using Json = nlohmann::json;
using text::Message;
using text::MessageId;

Message literal(std::string text) {
    return Message::literal(std::move(text));
}
Message number(long long value) {
    return literal(text::integerText(value));
}

// Thrown out of the parser's callback to stop reading a list nested too deep.
struct TooDeep {};

// Whether config.ini can hold `name` as a value and give it back as it was: valid UTF-8,
// no control characters (a line break would end the line), nothing the reader trims.
bool holdableName(const std::string& name) {
    if (name.empty() || name.size() > kMaxListedNameBytes || !text::isValidUtf8(name) ||
        text::trim(name) != name) {
        return false;
    }
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto byte = static_cast<unsigned char>(name[i]);
        if (byte < 0x20 || byte == 0x7f) {
            return false;
        }
        // C1 controls: U+0080..U+009F are C2 80..C2 9F.
        if (byte == 0xc2 && i + 1 < name.size() && static_cast<unsigned char>(name[i + 1]) < 0xa0) {
            return false;
        }
    }
    return true;
}

constexpr std::array<std::pair<const char*, std::string BossNote::*>, 3> kNoteFields = {{
    {"location", &BossNote::location},
    {"drops", &BossNote::drops},
    {"text", &BossNote::text},
}};

// Reads one boss; the reason of the first problem otherwise.
class BossReader {
public:
    BossReader(const Json& entry, std::size_t index, const std::set<std::string>& servers)
        : m_entry(entry), m_index(index), m_servers(servers) {}

    std::optional<ListedBoss> read(Message& error) {
        if (!m_entry.is_object()) {
            error = fieldError("", Message(MessageId::BossListWrongType));
            return std::nullopt;
        }
        const auto name = m_entry.find("name");
        if (name == m_entry.end() ||
            (name->is_string() && name->get_ref<const std::string&>().empty())) {
            error = Message(MessageId::BossListNoName, {number(static_cast<long long>(m_index))});
            return std::nullopt;
        }
        if (!name->is_string()) {
            error = fieldError("name", Message(MessageId::BossListWrongType));
            return std::nullopt;
        }
        m_boss.name = name->get<std::string>();
        if (!holdableName(m_boss.name)) {
            error = nameError(m_boss.name);
            return std::nullopt;
        }
        if (!minutes("period", m_boss.periodMinutes, error) ||
            !minutes("delay", m_boss.delayMinutes, error) || !rule(error) || !lead(error) ||
            !notes(error) || !reserved(error)) {
            return std::nullopt;
        }
        return std::move(m_boss);
    }

    static Message nameError(const std::string& name) {
        return Message(MessageId::BossListBadName,
                       {literal(text::repairUtf8(name)), number(kMaxListedNameBytes)});
    }

private:
    Message fieldError(const char* field, Message reason) const {
        return Message(MessageId::BossListBossField,
                       {number(static_cast<long long>(m_index)), literal(m_boss.name),
                        literal(field), std::move(reason)});
    }

    // The field, or nullptr when absent; a wrong type is an error.
    const Json* field(const char* name, bool (Json::*isType)() const noexcept, Message& error,
                      bool& ok) const {
        ok = true;
        const auto it = m_entry.find(name);
        if (it == m_entry.end()) {
            return nullptr;
        }
        if (!((*it).*isType)()) {
            error = fieldError(name, Message(MessageId::BossListWrongType));
            ok = false;
            return nullptr;
        }
        return &*it;
    }

    bool minutes(const char* name, std::optional<std::int32_t>& out, Message& error) const {
        bool ok = true;
        const Json* value = field(name, &Json::is_number_integer, error, ok);
        if (value == nullptr) {
            return ok;
        }
        const bool inRange = value->is_number_unsigned()
                                 ? value->get<std::uint64_t>() <= kMaxListedMinutes
                                 : value->get<std::int64_t>() >= 0 &&
                                       value->get<std::int64_t>() <= kMaxListedMinutes;
        if (!inRange) {
            error = fieldError(name, Message(MessageId::BossListOutOfRange,
                                             {number(0), number(kMaxListedMinutes)}));
            return false;
        }
        out = static_cast<std::int32_t>(value->get<std::int64_t>());
        return true;
    }

    bool rule(Message& error) {
        bool ok = true;
        const Json* ruleText = field("rule", &Json::is_string, error, ok);
        if (!ok) {
            return false;
        }
        const Json* zoneText = field("zone", &Json::is_string, error, ok);
        if (!ok) {
            return false;
        }
        if (ruleText == nullptr && zoneText == nullptr) {
            return true;
        }
        schedule::SpawnRule rule;
        if (ruleText != nullptr) {
            const std::string& text = ruleText->get_ref<const std::string&>();
            std::optional<schedule::SpawnRule> read = schedule::parseSpawnRule(text);
            if (!read) {
                error = fieldError(
                    "rule", Message(MessageId::BossListBadRule, {literal(text::repairUtf8(text))}));
                return false;
            }
            rule = std::move(*read);
        }
        if (zoneText != nullptr) {
            const std::string& text = zoneText->get_ref<const std::string&>();
            std::optional<schedule::ServerZone> zone = schedule::ServerZone::fromText(text);
            if (!zone) {
                error = fieldError(
                    "zone", Message(MessageId::BossListBadZone, {literal(text::repairUtf8(text))}));
                return false;
            }
            rule.zone = *zone;
        }
        m_boss.rule = std::move(rule);
        return true;
    }

    bool lead(Message& error) {
        const auto given = m_entry.find("lead");
        if (given != m_entry.end() && given->is_null()) {
            m_boss.leadMinutes.emplace(std::nullopt);
            return true;
        }
        bool ok = true;
        const Json* value = field("lead", &Json::is_array, error, ok);
        if (value == nullptr) {
            return ok;
        }
        std::vector<int> minutes;
        for (const Json& item : *value) {
            if (!item.is_number_integer() || item.get<std::int64_t>() < 1 ||
                item.get<std::int64_t>() > schedule::kMaxLeadMinutes) {
                error = fieldError("lead", Message(MessageId::BossListOutOfRange,
                                                   {number(1), number(schedule::kMaxLeadMinutes)}));
                return false;
            }
            minutes.push_back(static_cast<int>(item.get<std::int64_t>()));
        }
        // The same reading as a typed list: distinct, largest first, at most so many.
        schedule::LeadTimes read = schedule::parseLeadTimes(schedule::leadTimesText(minutes));
        if (!read.ok()) {
            error = fieldError("lead", std::move(read.error));
            return false;
        }
        m_boss.leadMinutes.emplace(std::move(read.minutes));
        return true;
    }

    bool notes(Message& error) {
        bool ok = true;
        const Json* value = field("notes", &Json::is_object, error, ok);
        if (value == nullptr) {
            return ok;
        }
        BossNote note;
        for (const auto& [name, member] : kNoteFields) {
            const auto it = value->find(name);
            if (it == value->end()) {
                continue;
            }
            if (!it->is_string()) {
                error = fieldError(name, Message(MessageId::BossListWrongType));
                return false;
            }
            note.*member = it->get<std::string>();
            if ((note.*member).size() > kMaxNoteFieldBytes) {
                error = fieldError(
                    name, Message(MessageId::BossListTooLong, {number(kMaxNoteFieldBytes)}));
                return false;
            }
        }
        m_boss.notes = std::move(note);
        return true;
    }

    bool names(const char* name, std::size_t limit, std::vector<std::string>& out,
               Message& error) const {
        bool ok = true;
        const Json* value = field(name, &Json::is_array, error, ok);
        if (value == nullptr) {
            return ok;
        }
        if (value->size() > limit) {
            error =
                fieldError(name, Message(MessageId::BossListTooMany,
                                         {literal(name), number(static_cast<long long>(limit))}));
            return false;
        }
        std::set<std::string> seen;
        for (const Json& item : *value) {
            if (!item.is_string()) {
                error = fieldError(name, Message(MessageId::BossListWrongType));
                return false;
            }
            const std::string& text = item.get_ref<const std::string&>();
            if (!holdableName(text)) {
                error = fieldError(name, nameError(text));
                return false;
            }
            if (!seen.insert(text).second) {
                error = fieldError(name, Message(MessageId::BossListDuplicate, {literal(text)}));
                return false;
            }
            out.push_back(text);
        }
        return true;
    }

    bool reserved(Message& error) {
        bool ok = true;
        if (const Json* group = field("group", &Json::is_string, error, ok)) {
            m_boss.group = group->get<std::string>();
            if (!holdableName(m_boss.group)) {
                error = fieldError("group", nameError(m_boss.group));
                return false;
            }
        }
        if (!ok || !names("servers", kMaxListedServers, m_boss.servers, error) ||
            !names("lines", kMaxListedLines, m_boss.lines, error)) {
            return false;
        }
        if (!m_boss.servers.empty() && m_boss.lines.empty()) {
            error = fieldError("servers", Message(MessageId::BossListServersWithoutLines));
            return false;
        }
        for (const std::string& server : m_boss.servers) {
            if (m_servers.count(server) == 0) {
                error = fieldError("servers",
                                   Message(MessageId::BossListUnknownServer, {literal(server)}));
                return false;
            }
        }
        return true;
    }

    const Json& m_entry;
    std::size_t m_index;
    const std::set<std::string>& m_servers;
    ListedBoss m_boss;
};

std::optional<std::vector<ListedServer>> readServers(const Json& root, std::set<std::string>& names,
                                                     Message& error) {
    std::vector<ListedServer> servers;
    const auto list = root.find("servers");
    if (list == root.end()) {
        return servers;
    }
    const auto fail = [&](Message reason) {
        error = Message(MessageId::BossListField, {literal("servers"), std::move(reason)});
        return std::nullopt;
    };
    if (!list->is_array()) {
        return fail(Message(MessageId::BossListWrongType));
    }
    if (list->size() > kMaxListedServers) {
        return fail(
            Message(MessageId::BossListTooMany, {literal("servers"), number(kMaxListedServers)}));
    }
    for (const Json& entry : *list) {
        if (!entry.is_object() || !entry.contains("name") || !entry["name"].is_string() ||
            (entry.contains("zone") && !entry["zone"].is_string())) {
            return fail(Message(MessageId::BossListWrongType));
        }
        ListedServer server{entry["name"].get<std::string>(), entry.value("zone", std::string())};
        if (!holdableName(server.name)) {
            return fail(BossReader::nameError(server.name));
        }
        if (!schedule::ServerZone::fromText(server.zone)) {
            return fail(
                Message(MessageId::BossListBadZone, {literal(text::repairUtf8(server.zone))}));
        }
        if (!names.insert(server.name).second) {
            return fail(Message(MessageId::BossListDuplicate, {literal(server.name)}));
        }
        servers.push_back(std::move(server));
    }
    return servers;
}

unsigned differences(const schedule::BossRow& row, const BossNotes& notes, const ListedBoss& boss,
                     const schedule::LineBoard* board) {
    unsigned changes = 0;
    if (!boss.lines.empty()) {
        const std::optional<schedule::BossLines> current =
            board != nullptr ? board->lines(row.id) : std::nullopt;
        if (!(current.value_or(schedule::BossLines{}) ==
              schedule::BossLines{boss.servers, boss.lines})) {
            changes |= kLinesChanged;
        }
    }
    if (boss.periodMinutes && *boss.periodMinutes != row.timing.periodMinutes) {
        changes |= kPeriodChanged;
    }
    if (boss.delayMinutes && *boss.delayMinutes != row.timing.delayMinutes) {
        changes |= kDelayChanged;
    }
    if (boss.rule) {
        schedule::SpawnRule withoutZone = *boss.rule;
        withoutZone.zone = row.timing.spawn.zone;
        if (row.timing.unreadRule || !(withoutZone == row.timing.spawn)) {
            changes |= kRuleChanged;
        }
        if (row.timing.unreadRule || !(boss.rule->zone == row.timing.spawn.zone)) {
            changes |= kZoneChanged;
        }
    }
    if (boss.leadMinutes && *boss.leadMinutes != row.timing.leadMinutes) {
        changes |= kLeadChanged;
    }
    if (boss.notes) {
        const auto it = notes.find(boss.name);
        const BossNote current = it == notes.end() ? BossNote{} : it->second.withoutGroup();
        if (!(current == *boss.notes)) {
            changes |= kNotesChanged;
        }
    }
    if (!boss.group.empty()) {
        const auto it = notes.find(boss.name);
        if (it == notes.end() || it->second.group != boss.group) {
            changes |= kGroupChanged;
        }
    }
    return changes;
}

} // namespace

BossList bossListOf(const std::vector<schedule::BossRow>& rows, const BossNotes& notes,
                    const schedule::LineBoard* board) {
    BossList list;
    std::set<std::string> seen;
    std::set<std::string> servers;
    for (const schedule::BossRow& row : rows) {
        const std::string name = text::trim(row.text[schedule::kNameColumn]);
        if (!holdableName(name) || !seen.insert(name).second) {
            continue;
        }
        ListedBoss boss;
        boss.name = name;
        boss.periodMinutes = row.timing.periodMinutes;
        boss.delayMinutes = row.timing.delayMinutes;
        // A stored rule this program cannot read is left out rather than sent as the
        // default rule the row runs on meanwhile: an import then keeps the receiver's.
        if (!row.timing.unreadRule) {
            boss.rule = row.timing.spawn;
        }
        boss.leadMinutes.emplace(row.timing.leadMinutes);
        const auto note = notes.find(name);
        if (note != notes.end() && !note->second.withoutGroup().empty()) {
            boss.notes = note->second.withoutGroup();
        }
        if (note != notes.end()) {
            boss.group = note->second.group;
        }
        if (const std::optional<schedule::BossLines> lines =
                board != nullptr ? board->lines(row.id) : std::nullopt) {
            boss.servers = lines->servers;
            boss.lines = lines->lines;
            for (const std::string& server : lines->servers) {
                if (servers.insert(server).second) {
                    list.servers.push_back({server, ""});
                }
            }
        }
        list.bosses.push_back(std::move(boss));
    }
    return list;
}

std::string encodeBossList(const BossList& list, ListLayout layout) {
    Json root = {{"format", kBossListFormat}, {"version", kBossListVersion}};
    if (!list.servers.empty()) {
        Json servers = Json::array();
        for (const ListedServer& server : list.servers) {
            Json entry = {{"name", server.name}};
            if (!server.zone.empty()) {
                entry["zone"] = server.zone;
            }
            servers.push_back(std::move(entry));
        }
        root["servers"] = std::move(servers);
    }
    Json bosses = Json::array();
    for (const ListedBoss& boss : list.bosses) {
        Json entry = {{"name", boss.name}};
        if (boss.periodMinutes) {
            entry["period"] = *boss.periodMinutes;
        }
        if (boss.delayMinutes) {
            entry["delay"] = *boss.delayMinutes;
        }
        if (boss.rule) {
            entry["rule"] = schedule::spawnRuleText(*boss.rule);
            entry["zone"] = boss.rule->zone.text();
        }
        if (boss.leadMinutes) {
            entry["lead"] = *boss.leadMinutes ? Json(**boss.leadMinutes) : Json(nullptr);
        }
        if (!boss.group.empty()) {
            entry["group"] = boss.group;
        }
        if (boss.notes) {
            Json note = Json::object();
            for (const auto& [field, member] : kNoteFields) {
                if (!((*boss.notes).*member).empty()) {
                    note[field] = (*boss.notes).*member;
                }
            }
            entry["notes"] = std::move(note);
        }
        if (!boss.servers.empty()) {
            entry["servers"] = boss.servers;
        }
        if (!boss.lines.empty()) {
            entry["lines"] = boss.lines;
        }
        bosses.push_back(std::move(entry));
    }
    root["bosses"] = std::move(bosses);
    if (layout == ListLayout::Compact) {
        return root.dump(-1, ' ', false, Json::error_handler_t::replace);
    }
    return root.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::optional<BossList> decodeBossList(std::string_view input, Message& error) {
    if (input.size() > kMaxBossListBytes) {
        error = Message(MessageId::BossListTooLarge, {number(kMaxBossListBytes / (1024 * 1024))});
        return std::nullopt;
    }
    Json root;
    try {
        root = Json::parse(input.begin(), input.end(), [](int depth, Json::parse_event_t, Json&) {
            if (depth > static_cast<int>(kMaxBossListDepth)) {
                throw TooDeep{};
            }
            return true;
        });
    } catch (const TooDeep&) {
        error = Message(MessageId::BossListTooDeep, {number(kMaxBossListDepth)});
        return std::nullopt;
    } catch (const Json::parse_error& e) {
        error = Message(MessageId::BossListNotJson, {number(static_cast<long long>(e.byte))});
        return std::nullopt;
    } catch (const Json::exception&) {
        // A number beyond a double ("1E999") ends the parse without a position.
        error = Message(MessageId::BossListNotJson, {literal("?")});
        return std::nullopt;
    }
    const auto format = root.is_object() ? root.find("format") : root.end();
    if (!root.is_object() || format == root.end() || *format != kBossListFormat) {
        error = Message(MessageId::BossListNotList);
        return std::nullopt;
    }
    const auto version = root.find("version");
    if (version == root.end() || !version->is_number_integer() ||
        version->get<std::int64_t>() != kBossListVersion) {
        error = Message(
            MessageId::BossListVersion,
            {literal(version == root.end() ? std::string("?") : text::repairUtf8(version->dump())),
             number(kBossListVersion)});
        return std::nullopt;
    }
    BossList list;
    std::set<std::string> serverNames;
    std::optional<std::vector<ListedServer>> servers = readServers(root, serverNames, error);
    if (!servers) {
        return std::nullopt;
    }
    list.servers = std::move(*servers);
    const auto bosses = root.find("bosses");
    if (bosses == root.end() || !bosses->is_array()) {
        error = Message(MessageId::BossListField,
                        {literal("bosses"), Message(MessageId::BossListWrongType)});
        return std::nullopt;
    }
    if (bosses->size() > kMaxListedBosses) {
        error = Message(MessageId::BossListTooMany, {literal("bosses"), number(kMaxListedBosses)});
        return std::nullopt;
    }
    std::set<std::string> names;
    std::size_t index = 0;
    for (const Json& entry : *bosses) {
        ++index;
        std::optional<ListedBoss> boss = BossReader(entry, index, serverNames).read(error);
        if (!boss) {
            return std::nullopt;
        }
        if (!names.insert(boss->name).second) {
            error = Message(MessageId::BossListDuplicate, {literal(boss->name)});
            return std::nullopt;
        }
        list.bosses.push_back(std::move(*boss));
    }
    return list;
}

std::optional<BossList> readBossList(const std::filesystem::path& file, Message& error) {
    const std::string shown = text::utf8FromPath(file);
    std::error_code code;
    const auto size = std::filesystem::file_size(file, code);
    if (code) {
        error = Message(MessageId::BossListCannotRead, {literal(shown), literal(code.message())});
        return std::nullopt;
    }
    if (size > kMaxBossListBytes) {
        error = Message(MessageId::BossListTooLarge, {number(kMaxBossListBytes / (1024 * 1024))});
        return std::nullopt;
    }
    std::string reason;
    std::optional<std::string> bytes = text::readWholeFile(file, &reason);
    if (!bytes) {
        error = Message(MessageId::BossListCannotRead, {literal(shown), literal(reason)});
        return std::nullopt;
    }
    return decodeBossList(*bytes, error);
}

bool writeBossList(const std::filesystem::path& file, const BossList& list, Message& error) {
    std::string reason;
    if (!text::replaceFileAtomically(file, encodeBossList(list), &reason)) {
        error = Message(MessageId::BossListCannotWrite,
                        {literal(text::utf8FromPath(file)), literal(reason)});
        return false;
    }
    return true;
}

BossListMerge planBossListMerge(const std::vector<schedule::BossRow>& rows, const BossNotes& notes,
                                BossList list, const schedule::LineBoard* board) {
    std::map<std::string, std::vector<const schedule::BossRow*>> byName;
    for (const schedule::BossRow& row : rows) {
        byName[text::trim(row.text[schedule::kNameColumn])].push_back(&row);
    }
    BossListMerge merge;
    for (std::size_t i = 0; i < list.bosses.size(); ++i) {
        const ListedBoss& boss = list.bosses[i];
        const auto found = byName.find(boss.name);
        if (found == byName.end()) {
            merge.report.added.push_back(boss.name);
            merge.steps.push_back({i, 0, 0});
            continue;
        }
        if (found->second.size() > 1) {
            merge.report.skipped.push_back(
                {boss.name, Message(MessageId::BossListRowsTwice,
                                    {number(static_cast<long long>(found->second.size()))})});
            continue;
        }
        const schedule::BossRow& row = *found->second.front();
        const unsigned changes = differences(row, notes, boss, board);
        if (changes == 0) {
            merge.report.unchanged.push_back(boss.name);
            continue;
        }
        merge.report.changed.push_back({boss.name, changes});
        merge.steps.push_back({i, row.id, changes});
    }
    merge.list = std::move(list);
    return merge;
}

std::vector<std::pair<schedule::RowId, schedule::BossLines>>
mergedLines(const schedule::BossTable& table, const BossListMerge& merge) {
    std::map<std::string, schedule::RowId> byName;
    for (const schedule::BossRow& row : table.rows()) {
        byName.emplace(text::trim(row.text[schedule::kNameColumn]), row.id);
    }
    std::vector<std::pair<schedule::RowId, schedule::BossLines>> lines;
    for (const BossListMerge::Step& step : merge.steps) {
        const ListedBoss& boss = merge.list.bosses[step.boss];
        const bool given =
            step.row == 0 ? !boss.lines.empty() : (step.changes & kLinesChanged) != 0;
        const auto row = byName.find(boss.name);
        if (given && row != byName.end()) {
            lines.emplace_back(row->second, schedule::BossLines{boss.servers, boss.lines});
        }
    }
    return lines;
}

std::vector<schedule::RowId> applyBossListMerge(schedule::BossTable& table, BossNotes& notes,
                                                const BossListMerge& merge) {
    std::vector<schedule::RowId> touched;
    std::vector<schedule::BossRow> added;
    std::vector<const ListedBoss*> addedBosses;
    // The note and the group share the boss's entry: each is taken only when listed.
    const auto takeNotes = [&notes](const ListedBoss& boss) {
        if (!boss.notes && boss.group.empty()) {
            return;
        }
        BossNote note = notes.count(boss.name) != 0 ? notes[boss.name] : BossNote{};
        if (boss.notes) {
            note = BossNote{boss.notes->location, boss.notes->drops, boss.notes->text, note.group};
        }
        if (!boss.group.empty()) {
            note.group = boss.group;
        }
        if (note.empty()) {
            notes.erase(boss.name);
        } else {
            notes[boss.name] = std::move(note);
        }
    };
    for (const BossListMerge::Step& step : merge.steps) {
        const ListedBoss& boss = merge.list.bosses[step.boss];
        if (step.row == 0) {
            schedule::BossRow row;
            row.use = true;
            row.text[schedule::kNumberColumn] =
                text::integerText(table.rowCount() + static_cast<long long>(added.size()));
            row.text[schedule::kNameColumn] = boss.name;
            row.text[schedule::kPeriodColumn] = text::integerText(boss.periodMinutes.value_or(0));
            row.text[schedule::kDelayColumn] = text::integerText(boss.delayMinutes.value_or(0));
            added.push_back(std::move(row));
            addedBosses.push_back(&boss);
            continue;
        }
        const std::optional<schedule::BossRow> row = table.row(step.row);
        if (!row) {
            continue;
        }
        std::vector<std::pair<int, std::string>> cells;
        if ((step.changes & kPeriodChanged) != 0) {
            cells.emplace_back(schedule::kPeriodColumn, text::integerText(*boss.periodMinutes));
            if (row->timing.lastUtc) {
                cells.emplace_back(
                    schedule::kNextTimeColumn,
                    schedule::nextTimeText(*row->timing.lastUtc, *boss.periodMinutes));
            }
        }
        if ((step.changes & kDelayChanged) != 0) {
            cells.emplace_back(schedule::kDelayColumn, text::integerText(*boss.delayMinutes));
        }
        // Only while the row still holds the last time it was read with, so a next time
        // written here follows the kill the row has; the last time itself is not written.
        if (!cells.empty() &&
            !table.setCellTextsIf(
                step.row, {{schedule::kLastTimeColumn, row->text[schedule::kLastTimeColumn]}},
                cells)) {
            continue;
        }
        if ((step.changes & (kRuleChanged | kZoneChanged)) != 0) {
            (void)table.setSpawnRule(step.row, *boss.rule);
        }
        if ((step.changes & kLeadChanged) != 0) {
            (void)table.setLeadMinutes(step.row, *boss.leadMinutes);
        }
        takeNotes(boss);
        touched.push_back(step.row);
    }
    if (!added.empty()) {
        const int first = table.appendRows(std::move(added));
        for (std::size_t i = 0; i < addedBosses.size(); ++i) {
            const ListedBoss& boss = *addedBosses[i];
            const schedule::RowId id = table.rowId(first + static_cast<int>(i));
            if (boss.rule) {
                (void)table.setSpawnRule(id, *boss.rule);
            }
            if (boss.leadMinutes && *boss.leadMinutes) {
                (void)table.setLeadMinutes(id, *boss.leadMinutes);
            }
            takeNotes(boss);
            touched.push_back(id);
        }
    }
    return touched;
}

} // namespace zorvane::config
