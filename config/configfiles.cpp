#include "config/configfiles.h"

#include "config/inifile.h"
#include "text/fileio.h"
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
    for (const std::string& key : keysOf(doc.sectionLines(kNumberSection))) {
        const int row = table.appendRow();
        table.setCheckState(row, textToFlag(doc.value(kUseSection, key)));
        table.setCellTexts(table.rowId(row),
                           {{schedule::kNumberColumn, doc.value(kNumberSection, key)},
                            {schedule::kNameColumn, doc.value(kNameSection, key)},
                            {schedule::kPeriodColumn, doc.value(kPeriodSection, key)},
                            {schedule::kDelayColumn, doc.value(kDelaySection, key)},
                            {schedule::kLastTimeColumn, doc.value(kLastTimeSection, key)},
                            {schedule::kNextTimeColumn, doc.value(kNextTimeSection, key)}});
    }
}

bool saveTable(const BossTable& table, const std::filesystem::path& dir, std::string* error) {
    const std::filesystem::path file = tableFilePath(dir);
    IniDocument doc;
    if (!loadIniDocument(file, doc, error)) {
        return false;
    }
    const std::vector<BossRow> rows = table.rows();
    writeRows(doc, rows);
    return saveIniDocument(file, doc, error);
}

bool rewriteTable(const BossTable& table, const std::filesystem::path& dir, std::string* error) {
    const std::filesystem::path file = tableFilePath(dir);
    IniDocument doc;
    if (!loadIniDocument(file, doc, error)) {
        return false;
    }
    for (std::string_view section : kTableSections) {
        doc.removeSection(section);
    }
    writeRows(doc, table.rows());
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
    return readIniValue(tableFilePath(dir), "set", "预警");
}

bool writeWarnMinutes(const std::filesystem::path& dir, std::string_view text, std::string* error) {
    return writeIniValue(tableFilePath(dir), "set", "预警", text, error);
}

bool onWarnMinutesChanged(const std::filesystem::path& dir, std::string_view boxText,
                          std::string* error) {
    return writeWarnMinutes(dir, boxText, error);
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

bool writeSoundPath(const std::filesystem::path& dir, std::string_view path, std::string* error) {
    return writeIniValue(soundFilePath(dir), "m", "m", path, error);
}

ConfigTableStore::ConfigTableStore(std::filesystem::path dir, schedule::WriteStatusSink* status)
    : m_dir(std::move(dir)), m_status(status) {}

void ConfigTableStore::saveTable(const BossTable& table) {
    m_table = &table;
    if (m_tableWrite == TableWrite::None) {
        m_tableWrite = TableWrite::Save;
    }
    Outcome tableFile;
    Outcome soundFile;
    writePending(tableFile, soundFile);
}

void ConfigTableStore::rewriteTable(const BossTable& table) {
    m_table = &table;
    m_tableWrite = TableWrite::Rewrite;
    Outcome tableFile;
    Outcome soundFile;
    writePending(tableFile, soundFile);
}

bool ConfigTableStore::writeWarnMinutes(std::string_view text, std::string* error) {
    m_warnMinutes = std::string(text);
    Outcome tableFile;
    Outcome soundFile;
    writePending(tableFile, soundFile);
    if (error) {
        *error = tableFile.error;
    }
    return tableFile.written;
}

bool ConfigTableStore::writeSoundPath(std::string_view path, std::string* error) {
    m_soundPath = std::string(path);
    Outcome tableFile;
    Outcome soundFile;
    writePending(tableFile, soundFile);
    if (error) {
        *error = soundFile.error;
    }
    return soundFile.written;
}

void ConfigTableStore::writePending(Outcome& tableFile, Outcome& soundFile) {
    if (m_tableWrite != TableWrite::None || m_warnMinutes) {
        tableFile.written = writeTableFile(tableFile.error);
        report(tableFilePath(m_dir), tableFile);
    }
    if (m_soundPath) {
        soundFile.written = writeSoundFile(soundFile.error);
        report(soundFilePath(m_dir), soundFile);
    }
}

bool ConfigTableStore::writeTableFile(std::string& error) {
    // The table first: a rewrite after a deletion keeps "set" where it was.
    if (m_tableWrite != TableWrite::None && m_table) {
        const bool written = m_tableWrite == TableWrite::Rewrite
                                 ? config::rewriteTable(*m_table, m_dir, &error)
                                 : config::saveTable(*m_table, m_dir, &error);
        if (!written) {
            return false;
        }
    }
    m_tableWrite = TableWrite::None;
    if (m_warnMinutes) {
        if (!config::writeWarnMinutes(m_dir, *m_warnMinutes, &error)) {
            return false;
        }
        m_warnMinutes.reset();
    }
    return true;
}

bool ConfigTableStore::writeSoundFile(std::string& error) {
    if (!config::writeSoundPath(m_dir, *m_soundPath, &error)) {
        return false;
    }
    m_soundPath.reset();
    return true;
}

void ConfigTableStore::report(const std::filesystem::path& file, const Outcome& outcome) {
    if (!m_status) {
        return;
    }
    if (outcome.written) {
        m_status->writeSucceeded(text::utf8FromPath(file));
    } else {
        m_status->writeFailed(text::utf8FromPath(file), outcome.error);
    }
}

} // namespace zorvane::config
