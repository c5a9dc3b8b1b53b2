#pragma once
// The program's two INI files in its directory: "config.ini" holds the boss table (one
// section per stored column, one key per row) and the warning minutes; "confing.ini"
// holds the chosen alarm sound path (the file name is kept as it is: see the glossary in
// ARCHITECTURE.md).

#include "schedule/bosstable.h"
#include "schedule/services.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorvane::config {

class IniDocument;

inline constexpr std::string_view kTableFileName = "config.ini";
inline constexpr std::string_view kSoundFileName = "confing.ini";

std::filesystem::path tableFilePath(const std::filesystem::path& dir);
std::filesystem::path soundFilePath(const std::filesystem::path& dir);

// Appends the rows stored in the table file, in the order of the keys of "序号",
// each filled from its own key in every section. A missing file adds nothing. A row's
// stored instant (section "LastKillUtc") is taken only when its local clock time is the
// time of the row's last-time text; otherwise the date is derived from the text.
void loadTable(schedule::BossTable& table, const std::filesystem::path& dir);

// Writes every data row under keys "1", "2", ... in one atomic replacement; the result
// is the file that writing the values one by one would give, plus section "LastKillUtc"
// with each row's last time as a UTC instant ("" when unknown). Keys of rows that no
// longer exist stay. False (file unchanged) when the write fails, with the file and the
// reason in `error`.
bool saveTable(const schedule::BossTable& table, const std::filesystem::path& dir,
               std::string* error = nullptr);

// Drops the table's sections, keeps everything else ("set" where it was) and writes
// every data row anew, in one atomic replacement.
bool rewriteTable(const schedule::BossTable& table, const std::filesystem::path& dir,
                  std::string* error = nullptr);

// The keys of one section, in file order (a line without "=" counts whole).
std::vector<std::string> readSectionKeys(const std::filesystem::path& file,
                                         std::string_view section);

// True exactly for "真".
bool textToFlag(std::string_view text);

// n zero bytes.
std::string zeroedBytes(std::size_t n);

// Warning minutes: "config.ini", section "set", key "预警". An empty value is replaced
// by the default at start-up (the window does it, through the box).
inline constexpr std::string_view kDefaultWarnMinutes = "5";
std::string readWarnMinutes(const std::filesystem::path& dir);
bool writeWarnMinutes(const std::filesystem::path& dir, std::string_view text,
                      std::string* error = nullptr);

// The warning minutes box's content changed: store it as typed.
bool onWarnMinutesChanged(const std::filesystem::path& dir, std::string_view boxText,
                          std::string* error = nullptr);

// Alarm sound path: "confing.ini", section "m", key "m"; "" means the built-in sound.
std::string readSoundPath(const std::filesystem::path& dir);
bool writeSoundPath(const std::filesystem::path& dir, std::string_view path,
                    std::string* error = nullptr);

// Every write the window makes to the two files: the table's copy in config.ini for the
// table operations, the warning minutes and the sound path. Each write tells the status
// sink how it ended. What a failed write should have stored is kept and written again
// with the next write through the store, so a change made while the disk was full
// reaches its file once writing works again, and a file is reported written only when
// everything asked of it is on disk.
class ConfigTableStore final : public schedule::TableStore {
public:
    // `status` may be null; otherwise it must outlive the store.
    explicit ConfigTableStore(std::filesystem::path dir,
                              schedule::WriteStatusSink* status = nullptr);
    // The table must outlive the store: a failed save is made again from it later.
    void saveTable(const schedule::BossTable& table) override;
    void rewriteTable(const schedule::BossTable& table) override;
    // Stores the warning minutes in config.ini; false when config.ini could not be
    // written, with the reason in `error`.
    bool writeWarnMinutes(std::string_view text, std::string* error = nullptr);
    // Stores the sound path in confing.ini; false when confing.ini could not be
    // written, with the reason in `error`.
    bool writeSoundPath(std::string_view path, std::string* error = nullptr);

private:
    enum class TableWrite { None, Save, Rewrite };
    struct Outcome {
        bool written = true;
        std::string error;
    };

    // Writes what each file still lacks and reports every write made.
    void writePending(Outcome& tableFile, Outcome& soundFile);
    bool writeTableFile(std::string& error);
    bool writeSoundFile(std::string& error);
    void report(const std::filesystem::path& file, const Outcome& outcome);

    std::filesystem::path m_dir;
    schedule::WriteStatusSink* m_status;
    // What config.ini and confing.ini lack after a failed write.
    TableWrite m_tableWrite = TableWrite::None;
    const schedule::BossTable* m_table = nullptr;
    std::optional<std::string> m_warnMinutes;
    std::optional<std::string> m_soundPath;
};

} // namespace zorvane::config
