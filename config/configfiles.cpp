#include "config/configfiles.h"

#include "config/inifile.h"
#include "text/numbers.h"

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
constexpr std::string_view kTableSections[] = {kNumberSection,  kUseSection,   kNameSection,
                                               kPeriodSection,  kDelaySection, kLastTimeSection,
                                               kNextTimeSection};
constexpr std::string_view kDefaultWarnMinutes = "5";
constexpr std::string_view kTrue = "真";
constexpr std::string_view kFalse = "假";

// The writes of one save, row by row in the order the values were always written, so
// sections and keys land where single writes would put them.
void writeRows(IniDocument& doc, const std::vector<BossRow>& rows) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const BossRow& row = rows[i];
        const std::string key = text::integerText(static_cast<long long>(i) + 1);
        doc.setValue(kNumberSection, key, key);
        doc.setValue(kUseSection, key, row.use ? kTrue : kFalse);
        doc.setValue(kNameSection, key, row.text[schedule::kNameColumn]);
        doc.setValue(kPeriodSection, key, row.text[schedule::kPeriodColumn]);
        doc.setValue(kDelaySection, key, row.text[schedule::kDelayColumn]);
        doc.setValue(kLastTimeSection, key, row.text[schedule::kLastTimeColumn]);
        doc.setValue(kNextTimeSection, key, row.text[schedule::kNextTimeColumn]);
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

} // namespace

std::filesystem::path tableFilePath(const std::filesystem::path& dir) {
    return dir / std::filesystem::path(kTableFileName);
}

std::filesystem::path soundFilePath(const std::filesystem::path& dir) {
    return dir / std::filesystem::path(kSoundFileName);
}

void loadTable(BossTable& table, const std::filesystem::path& dir) {
    IniDocument doc;
    if (!loadIniDocument(tableFilePath(dir), doc)) {
        return;
    }
    // The whole table goes in at once: one notice for the listener, however many rows.
    std::vector<BossRow> rows;
    for (const std::string& key : keysOf(doc.sectionLines(kNumberSection))) {
        BossRow& row = rows.emplace_back();
        row.use = textToFlag(doc.value(kUseSection, key));
        row.text[schedule::kNumberColumn] = doc.value(kNumberSection, key);
        row.text[schedule::kNameColumn] = doc.value(kNameSection, key);
        row.text[schedule::kPeriodColumn] = doc.value(kPeriodSection, key);
        row.text[schedule::kDelayColumn] = doc.value(kDelaySection, key);
        row.text[schedule::kLastTimeColumn] = doc.value(kLastTimeSection, key);
        row.text[schedule::kNextTimeColumn] = doc.value(kNextTimeSection, key);
    }
    table.appendRows(std::move(rows));
}

bool saveTable(const BossTable& table, const std::filesystem::path& dir) {
    const std::filesystem::path file = tableFilePath(dir);
    IniDocument doc;
    if (!loadIniDocument(file, doc)) {
        return false;
    }
    const std::vector<BossRow> rows = table.rows();
    writeRows(doc, rows);
    return saveIniDocument(file, doc);
}

bool rewriteTable(const BossTable& table, const std::filesystem::path& dir) {
    const std::filesystem::path file = tableFilePath(dir);
    IniDocument doc;
    if (!loadIniDocument(file, doc)) {
        return false;
    }
    for (std::string_view section : kTableSections) {
        doc.removeSection(section);
    }
    writeRows(doc, table.rows());
    return saveIniDocument(file, doc);
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
    return readIniValue(tableFilePath(dir), "set", "预警");
}

bool writeWarnMinutes(const std::filesystem::path& dir, std::string_view text) {
    return writeIniValue(tableFilePath(dir), "set", "预警", text);
}

bool onWarnMinutesChanged(const std::filesystem::path& dir, std::string_view boxText) {
    return writeWarnMinutes(dir, boxText);
}

std::string startupWarnMinutes(const std::filesystem::path& dir) {
    const std::string stored = readWarnMinutes(dir);
    if (!stored.empty()) {
        return stored;
    }
    const std::string fallback(kDefaultWarnMinutes);
    writeWarnMinutes(dir, fallback);
    return fallback;
}

std::string readSoundPath(const std::filesystem::path& dir) {
    return readIniValue(soundFilePath(dir), "m", "m");
}

bool writeSoundPath(const std::filesystem::path& dir, std::string_view path) {
    return writeIniValue(soundFilePath(dir), "m", "m", path);
}

ConfigTableStore::ConfigTableStore(std::filesystem::path dir) : m_dir(std::move(dir)) {}

void ConfigTableStore::saveTable(const BossTable& table) {
    m_lastWriteSucceeded = config::saveTable(table, m_dir);
}

void ConfigTableStore::rewriteTable(const BossTable& table) {
    m_lastWriteSucceeded = config::rewriteTable(table, m_dir);
}

} // namespace zorvane::config
