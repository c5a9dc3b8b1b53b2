#include "config/configfiles.h"

#include "config/inifile.h"
#include "schedule/cycle.h"
#include "schedule/instant.h"
#include "schedule/leadtimes.h"
#include "schedule/serverzone.h"
#include "schedule/spawnrule.h"
#include "text/fileio.h"
#include "text/numbers.h"
#include "text/textops.h"

#include <algorithm>
#include <charconv>

#include <optional>
#include <unordered_set>

namespace zorvane::config {
namespace {

using schedule::BossRow;
using schedule::BossTable;

constexpr std::string_view kNumberSection = "序号";
constexpr std::string_view kUseSection = "使用";
constexpr std::string_view kNameSection = "BOSS事件";
constexpr std::string_view kPeriodSection = "周期";
constexpr std::string_view kDelaySection = "延迟";
constexpr std::string_view kLastTimeSection = "上次时间";
constexpr std::string_view kNextTimeSection = "下次时间";
// The full instant of each row's last time, which the clock-time texts cannot hold.
// Programs that know only the sections above ignore it.
constexpr std::string_view kDatedSection = "LastKillUtc";
// The computer's offset from UTC, in seconds, at each row's last kill when the file was
// written: the last-time text is that instant's clock time at this offset. A file moved
// to another zone (or a computer whose zone changed) thereby keeps its instants, while a
// text edited by another program still loses its date.
constexpr std::string_view kOffsetSection = "LastKillOffset";
// Each row's own lead times ("10, 1"; "-" for none at all); empty when the row follows the
// preferences. Written only once some row has its own list.
constexpr std::string_view kLeadSection = "LeadTimes";
constexpr std::string_view kNoLeadTimes = "-";
// Each row's spawn rule (schedule::spawnRuleText, "" for the default), its server's zone
// ("" the computer's) and its marks ("up <instant>", "missed <instant>"). Written only
// once some row has a rule of its own, so the files of a table without rules are what
// they always were; the sections above keep values the Windows program reads.
constexpr std::string_view kRuleSection = "SpawnRule";
constexpr std::string_view kZoneSection = "ServerZone";
constexpr std::string_view kMarksSection = "SpawnMarks";
constexpr std::string_view kTableSections[] = {
    kNumberSection,   kUseSection,      kNameSection,  kPeriodSection, kDelaySection,
    kLastTimeSection, kNextTimeSection, kDatedSection, kOffsetSection, kLeadSection};
constexpr std::string_view kSetSection = "set";
constexpr std::string_view kWarnKey = "预警";
constexpr std::string_view kTrue = "真";
constexpr std::string_view kFalse = "假";

std::string marksText(const schedule::RowTiming& timing) {
    std::string text;
    if (timing.upSince) {
        text = "up " + schedule::utcText(*timing.upSince);
    }
    if (timing.missedAt) {
        text += (text.empty() ? "missed " : " missed ") + schedule::utcText(*timing.missedAt);
    }
    return text;
}

// The marks marksText writes; a piece that cannot be read is left out.
void readMarks(std::string_view stored, schedule::RowTiming& timing) {
    const std::vector<std::string_view> pieces = text::words(stored);
    for (std::size_t i = 0; i + 1 < pieces.size(); i += 2) {
        const std::string_view word = pieces[i];
        const std::optional<schedule::UtcSeconds> at = schedule::parseUtcText(pieces[i + 1]);
        if (word == "up") {
            timing.upSince = at;
        } else if (word == "missed") {
            timing.missedAt = at;
        }
    }
}

// A row's rule and zone as stored; a rule or zone that cannot be read (a hand edit, a zone
// this system's tzdata lacks) leaves the row on the default, and says so in `unread`.
void readRule(std::string_view ruleText, std::string_view zoneText, schedule::RowTiming& timing,
              bool& unread) {
    std::optional<schedule::SpawnRule> rule = schedule::parseSpawnRule(text::trim(ruleText));
    const std::optional<schedule::ServerZone> zone =
        schedule::ServerZone::fromText(text::trim(zoneText));
    if (!rule || !zone) {
        unread = true;
        timing.unreadRule.emplace(std::string(ruleText), std::string(zoneText));
        return;
    }
    rule->zone = *zone;
    timing.spawn = std::move(*rule);
}

// The writes of one save, section by section in the order they were always created, each
// section's keys in row order, so sections and keys land where single writes put them.
void writeRows(IniDocument& doc, const std::vector<BossRow>& rows) {
    // A file that never had a row with its own lead times gets no section for them; once
    // it has one, every row's key is written, so a deleted row's list never moves up.
    const bool leadTimes = !doc.sectionEntries(kLeadSection).empty() ||
                           std::any_of(rows.begin(), rows.end(), [](const BossRow& row) {
                               return row.timing.leadMinutes.has_value();
                           });
    std::vector<std::string> keys;
    keys.reserve(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        keys.push_back(text::integerText(static_cast<long long>(i) + 1));
    }
    const auto writeSection = [&](std::string_view section, auto valueOf) {
        for (std::size_t i = 0; i < rows.size(); ++i) {
            doc.setValue(section, keys[i], valueOf(i));
        }
    };
    writeSection(kNumberSection, [&](std::size_t i) -> std::string_view { return keys[i]; });
    writeSection(kUseSection,
                 [&](std::size_t i) -> std::string_view { return rows[i].use ? kTrue : kFalse; });
    constexpr std::pair<std::string_view, int> kTextSections[] = {
        {kNameSection, schedule::kNameColumn},
        {kPeriodSection, schedule::kPeriodColumn},
        {kDelaySection, schedule::kDelayColumn},
        {kLastTimeSection, schedule::kLastTimeColumn},
        {kNextTimeSection, schedule::kNextTimeColumn}};
    for (const auto& [section, column] : kTextSections) {
        writeSection(section, [&, column = column](std::size_t i) -> std::string_view {
            return rows[i].text[static_cast<std::size_t>(column)];
        });
    }
    // Empty when the instant is unknown, so an older row's date under this key never
    // sticks to a new row.
    writeSection(kDatedSection, [&](std::size_t i) {
        return rows[i].timing.lastUtc ? schedule::utcText(*rows[i].timing.lastUtc) : std::string();
    });
    writeSection(kOffsetSection, [&](std::size_t i) {
        const std::optional<schedule::UtcSeconds>& last = rows[i].timing.lastUtc;
        return last ? text::integerText(schedule::ServerZone::local().offsetAt(*last))
                    : std::string();
    });
    const bool rules = !doc.sectionEntries(kRuleSection).empty() ||
                       std::any_of(rows.begin(), rows.end(), [](const BossRow& row) {
                           return !row.timing.spawn.isDefault() || row.timing.unreadRule;
                       });
    if (leadTimes) {
        writeSection(kLeadSection, [&](std::size_t i) {
            const std::optional<std::vector<int>>& own = rows[i].timing.leadMinutes;
            return !own           ? std::string()
                   : own->empty() ? std::string(kNoLeadTimes)
                                  : schedule::leadTimesText(*own);
        });
    }
    if (rules) {
        const auto& unread = [&](std::size_t i) { return rows[i].timing.unreadRule; };
        writeSection(kRuleSection, [&](std::size_t i) {
            return unread(i) ? unread(i)->first : schedule::spawnRuleText(rows[i].timing.spawn);
        });
        writeSection(kZoneSection, [&](std::size_t i) {
            return unread(i) ? unread(i)->second : rows[i].timing.spawn.zone.text();
        });
    }
    // A boss up since a spawn nobody recorded stays up across a restart, whatever its rule;
    // a table that never had a mark gets no section.
    const bool marks = rules || !doc.sectionEntries(kMarksSection).empty() ||
                       std::any_of(rows.begin(), rows.end(), [](const BossRow& row) {
                           return row.timing.upSince || row.timing.missedAt;
                       });
    if (marks) {
        writeSection(kMarksSection, [&](std::size_t i) { return marksText(rows[i].timing); });
    }
}

void removeTableSections(IniDocument& doc) {
    for (std::string_view section : kTableSections) {
        doc.removeSection(section);
    }
}

// A row's own lead times as stored; none when the row follows the preferences, or when a
// hand edit left something unreadable there.
std::optional<std::vector<int>> storedLeadTimes(std::string_view stored) {
    const std::string text = text::trim(stored);
    if (text == kNoLeadTimes) {
        return std::vector<int>{};
    }
    if (text.empty()) {
        return std::nullopt;
    }
    schedule::LeadTimes read = schedule::parseLeadTimes(text);
    if (!read.ok()) {
        return std::nullopt;
    }
    return std::move(read.minutes);
}

// The stored instant of a row, when it agrees with the row's last-time text: the same
// time of day on the local clock, or on the clock of the offset it was written at (the
// computer's zone changed since). A file edited by hand or by a program that does not
// know the sections keeps the text and loses the date.
struct StoredInstant {
    std::optional<schedule::UtcSeconds> instant;
    bool zoneChanged = false; // the text is the clock time of another zone
};
StoredInstant storedInstant(std::string_view stored, std::string_view storedOffset,
                            std::string_view lastText) {
    const std::optional<schedule::UtcSeconds> instant = schedule::parseUtcText(stored);
    const std::optional<schedule::ClockTime> time = schedule::readClockTime(lastText);
    if (!instant || !time || !time->valid()) {
        return {};
    }
    const std::int64_t textOfDay = time->secondsOfDay() % 86400;
    const auto ofDay = [&](std::int64_t offset) {
        return ((*instant + offset) % 86400 + 86400) % 86400;
    };
    const schedule::ServerZone local = schedule::ServerZone::local();
    if (ofDay(local.offsetAt(*instant)) == textOfDay) {
        return {instant, false};
    }
    const std::string offsetText = text::trim(storedOffset);
    long long offset = 0;
    const char* const end = offsetText.data() + offsetText.size();
    const auto [stop, failure] = std::from_chars(offsetText.data(), end, offset);
    if (!offsetText.empty() && failure == std::errc() && stop == end && offset > -86400 &&
        offset < 86400 && ofDay(offset) == textOfDay) {
        return {instant, true};
    }
    return {};
}

// The last and next times of a row with a known instant, as this computer's clock shows
// them.
void remakeTimeTexts(BossRow& row) {
    const schedule::UtcSeconds last = *row.timing.lastUtc;
    row.text[schedule::kLastTimeColumn] = schedule::clockTimeText(schedule::toLocal(last));
    if (!row.text[schedule::kNextTimeColumn].empty()) {
        const std::int32_t period =
            static_cast<std::int32_t>(text::textToInteger(row.text[schedule::kPeriodColumn]));
        row.text[schedule::kNextTimeColumn] = schedule::nextTimeText(last, period);
    }
}

std::vector<std::string> keysOf(const std::vector<std::string>& lines) {
    std::vector<std::string> keys;
    keys.reserve(lines.size());
    for (const std::string& line : lines) {
        keys.push_back(line.substr(0, line.find('=')));
    }
    return keys;
}

std::vector<std::string> keysOf(const std::vector<IniDocument::Entry>& entries) {
    std::vector<std::string> keys;
    keys.reserve(entries.size());
    for (const IniDocument::Entry& entry : entries) {
        keys.emplace_back(entry.key);
    }
    return keys;
}

// The rows' keys: the keys of "序号" in file order, each name once (key names compare
// without ASCII case, as in the INI layer). A key listed twice is one row: every read
// of it finds the first line anyway.
std::vector<std::string> rowKeys(const IniDocument& doc) {
    std::vector<std::string> keys = keysOf(doc.sectionEntries(kNumberSection));
    std::unordered_set<std::string> seen;
    seen.reserve(keys.size());
    std::erase_if(
        keys, [&](const std::string& key) { return !seen.insert(text::toLowerAscii(key)).second; });
    return keys;
}

// Whether "序号" holds the keys saving writes, "1", "2", ... in order and each once, so
// that saving key by key gives back the same rows. A duplicated, gapped or stray key
// (written by hand or by another program) would stay beside the keys saving writes and
// come back as one more row at every load.
bool keysAsSaved(const IniDocument& doc) {
    const std::vector<IniDocument::Entry> entries = doc.sectionEntries(kNumberSection);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!entries[i].pair ||
            entries[i].key != text::integerText(static_cast<long long>(i) + 1)) {
            return false;
        }
    }
    return true;
}

// The values of one section for the rows' keys, as single reads would give them. Saved
// files list the same keys in the same order in every section, so values are taken by
// position while the section's keys match the (distinct) row keys one for one: then
// each is the first of its key. From the first mismatch on they are looked up by key.
// A load of many rows thus costs no lookup per cell.
std::vector<std::string> sectionValues(const IniDocument& doc, std::string_view section,
                                       const std::vector<std::string>& keys) {
    std::vector<std::string> values;
    values.reserve(keys.size());
    const std::vector<IniDocument::Entry> entries = doc.sectionEntries(section);
    bool aligned = true;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (aligned && i < entries.size()) {
            const IniDocument::Entry& entry = entries[i];
            if (entry.pair && text::equalsIgnoringAsciiCase(entry.key, keys[i])) {
                std::string_view v = entry.value;
                if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') &&
                    v.back() == v.front()) {
                    v = v.substr(1, v.size() - 2);
                }
                values.emplace_back(v);
                continue;
            }
        }
        aligned = false;
        values.push_back(doc.value(section, keys[i]));
    }
    return values;
}

} // namespace

std::filesystem::path tableFilePath(const std::filesystem::path& dir) {
    return dir / std::filesystem::path(kTableFileName);
}

std::filesystem::path soundFilePath(const std::filesystem::path& dir) {
    return dir / std::filesystem::path(kSoundFileName);
}

std::optional<StoredTable> readTable(const std::filesystem::path& dir, std::string* error) {
    IniDocument doc;
    if (!loadIniDocument(tableFilePath(dir), doc, error)) {
        return std::nullopt;
    }
    StoredTable stored;
    stored.warnMinutes = doc.value(kSetSection, kWarnKey);
    const std::vector<std::string> keys = rowKeys(doc);
    // Columns in section order; the check box is read from its own section.
    constexpr std::pair<std::string_view, int> kTextSections[] = {
        {kNumberSection, schedule::kNumberColumn},
        {kNameSection, schedule::kNameColumn},
        {kPeriodSection, schedule::kPeriodColumn},
        {kDelaySection, schedule::kDelayColumn},
        {kLastTimeSection, schedule::kLastTimeColumn},
        {kNextTimeSection, schedule::kNextTimeColumn}};
    std::vector<BossRow>& rows = stored.rows;
    rows.resize(keys.size());
    const std::vector<std::string> use = sectionValues(doc, kUseSection, keys);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i].use = textToFlag(use[i]);
    }
    for (const auto& [section, column] : kTextSections) {
        std::vector<std::string> values = sectionValues(doc, section, keys);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            rows[i].text[static_cast<std::size_t>(column)] = std::move(values[i]);
        }
    }
    // A stored instant counts only while it still matches the row's last time text.
    const std::vector<std::string> dated = sectionValues(doc, kDatedSection, keys);
    const std::vector<std::string> offsets = sectionValues(doc, kOffsetSection, keys);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        BossRow& row = rows[i];
        const StoredInstant found =
            storedInstant(dated[i], offsets[i], row.text[schedule::kLastTimeColumn]);
        row.timing.lastUtc = found.instant;
        if (found.zoneChanged) {
            // The instant is the truth: the texts are made again on this computer's clock,
            // never the instant from the texts.
            remakeTimeTexts(row);
        }
    }
    const std::vector<std::string> leads = sectionValues(doc, kLeadSection, keys);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i].timing.leadMinutes = storedLeadTimes(leads[i]);
    }
    if (!doc.sectionEntries(kRuleSection).empty()) {
        const std::vector<std::string> ruleTexts = sectionValues(doc, kRuleSection, keys);
        const std::vector<std::string> zones = sectionValues(doc, kZoneSection, keys);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            bool unread = false;
            readRule(ruleTexts[i], zones[i], rows[i].timing, unread);
            if (unread) {
                stored.unreadRules.push_back(static_cast<int>(i) + 1);
            }
        }
    }
    const std::vector<std::string> marks = sectionValues(doc, kMarksSection, keys);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        readMarks(marks[i], rows[i].timing);
    }
    return stored;
}

bool loadTable(BossTable& table, const std::filesystem::path& dir, std::string* warnMinutes,
               std::string* error) {
    std::optional<StoredTable> stored = readTable(dir, error);
    if (warnMinutes) {
        *warnMinutes = stored ? stored->warnMinutes : std::string();
    }
    if (!stored) {
        return false;
    }
    // The whole table goes in at once: one notice for the listener, however many rows.
    table.appendRows(std::move(stored->rows));
    return true;
}

bool saveTable(const BossTable& table, const std::filesystem::path& dir, std::string* error) {
    return saveRows(table.rows(), dir, error);
}

bool saveRows(const std::vector<BossRow>& rows, const std::filesystem::path& dir,
              std::string* error) {
    const std::filesystem::path file = tableFilePath(dir);
    IniDocument doc;
    if (!loadIniDocument(file, doc, error)) {
        return false;
    }
    if (!keysAsSaved(doc)) {
        // Every row read from those keys is in `rows`: written anew under the keys saving
        // writes, nothing is lost and no key is left to add a row at the next load.
        removeTableSections(doc);
    }
    writeRows(doc, rows);
    return saveIniDocument(file, doc, error);
}

bool rewriteTable(const BossTable& table, const std::filesystem::path& dir, std::string* error) {
    return rewriteRows(table.rows(), dir, error);
}

bool rewriteRows(const std::vector<BossRow>& rows, const std::filesystem::path& dir,
                 std::string* error) {
    const std::filesystem::path file = tableFilePath(dir);
    IniDocument doc;
    if (!loadIniDocument(file, doc, error)) {
        return false;
    }
    removeTableSections(doc);
    writeRows(doc, rows);
    return saveIniDocument(file, doc, error);
}

std::vector<std::string> readSectionKeys(const std::filesystem::path& file,
                                         std::string_view section) {
    return keysOf(readIniSection(file, section));
}

bool textToFlag(std::string_view text) {
    return text == kTrue;
}

std::string zeroedBytes(std::size_t n) {
    return std::string(n, '\0');
}

std::string readWarnMinutes(const std::filesystem::path& dir) {
    return readIniValue(tableFilePath(dir), kSetSection, kWarnKey);
}

bool writeWarnMinutes(const std::filesystem::path& dir, std::string_view text, std::string* error) {
    return writeIniValue(tableFilePath(dir), kSetSection, kWarnKey, text, error);
}

bool onWarnMinutesChanged(const std::filesystem::path& dir, std::string_view boxText,
                          std::string* error) {
    return writeWarnMinutes(dir, boxText, error);
}

std::string readSoundPath(const std::filesystem::path& dir) {
    return readIniValue(soundFilePath(dir), "m", "m");
}

bool writeSoundPath(const std::filesystem::path& dir, std::string_view path, std::string* error) {
    return writeIniValue(soundFilePath(dir), "m", "m", path, error);
}

PendingWrites PendingWrites::table(std::vector<BossRow> rows, bool rewrite) {
    PendingWrites writes;
    writes.rows = std::move(rows);
    writes.rewrite = rewrite;
    return writes;
}

PendingWrites PendingWrites::warnMinutesText(std::string text) {
    PendingWrites writes;
    writes.warnMinutes = std::move(text);
    return writes;
}

PendingWrites PendingWrites::soundPathText(std::string path) {
    PendingWrites writes;
    writes.soundPath = std::move(path);
    return writes;
}

void PendingWrites::merge(PendingWrites newer) {
    if (newer.rows) {
        // A rewrite still owed stays one: the stored table must lose the keys of rows
        // deleted since, whatever came after.
        rewrite = (rows && rewrite) || newer.rewrite;
        rows = std::move(newer.rows);
    }
    if (newer.warnMinutes) {
        warnMinutes = std::move(newer.warnMinutes);
    }
    if (newer.soundPath) {
        soundPath = std::move(newer.soundPath);
    }
}

ConfigTableStore::ConfigTableStore(std::filesystem::path dir, schedule::WriteStatusSink* status)
    : m_dir(std::move(dir)), m_status(status) {}

void ConfigTableStore::saveTable(const BossTable& table) {
    write(PendingWrites::table(table.rows()));
}

void ConfigTableStore::rewriteTable(const BossTable& table) {
    write(PendingWrites::table(table.rows(), true));
}

bool ConfigTableStore::writeWarnMinutes(std::string_view text, std::string* error) {
    const WriteOutcome outcome = write(PendingWrites::warnMinutesText(std::string(text)));
    if (error) {
        *error = outcome.tableError;
    }
    return outcome.tableWritten;
}

bool ConfigTableStore::writeSoundPath(std::string_view path, std::string* error) {
    const WriteOutcome outcome = write(PendingWrites::soundPathText(std::string(path)));
    if (error) {
        *error = outcome.soundError;
    }
    return outcome.soundWritten;
}

ConfigTableStore::WriteOutcome ConfigTableStore::write(PendingWrites changes) {
    m_pending.merge(std::move(changes));
    WriteOutcome outcome;
    if (m_pending.rows || m_pending.warnMinutes) {
        outcome.tableWritten = writeTableFile(outcome.tableError);
        report(tableFilePath(m_dir), outcome.tableWritten, outcome.tableError);
    }
    if (m_pending.soundPath) {
        outcome.soundWritten = writeSoundFile(outcome.soundError);
        report(soundFilePath(m_dir), outcome.soundWritten, outcome.soundError);
    }
    return outcome;
}

bool ConfigTableStore::writeTableFile(std::string& error) {
    // The table first: a rewrite after a deletion keeps "set" where it was.
    if (m_pending.rows) {
        const bool written = m_pending.rewrite ? config::rewriteRows(*m_pending.rows, m_dir, &error)
                                               : config::saveRows(*m_pending.rows, m_dir, &error);
        if (!written) {
            return false;
        }
        m_pending.rows.reset();
        m_pending.rewrite = false;
    }
    if (m_pending.warnMinutes) {
        if (!config::writeWarnMinutes(m_dir, *m_pending.warnMinutes, &error)) {
            return false;
        }
        m_pending.warnMinutes.reset();
    }
    return true;
}

bool ConfigTableStore::writeSoundFile(std::string& error) {
    if (!config::writeSoundPath(m_dir, *m_pending.soundPath, &error)) {
        return false;
    }
    m_pending.soundPath.reset();
    return true;
}

void ConfigTableStore::report(const std::filesystem::path& file, bool written,
                              const std::string& error) {
    if (!m_status) {
        return;
    }
    if (written) {
        m_status->writeSucceeded(text::utf8FromPath(file));
    } else {
        m_status->writeFailed(text::utf8FromPath(file), error);
    }
}

} // namespace zorvane::config
