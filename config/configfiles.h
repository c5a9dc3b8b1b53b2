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

// What the table file holds: its rows and the stored warning minutes ("" when none).
struct StoredTable {
    std::vector<schedule::BossRow> rows;
    std::string warnMinutes;
    // Rows (first 1) whose stored spawn rule or server zone could not be read: they run on
    // the default rule until one is chosen again.
    std::vector<int> unreadRules;
};

// Reads the rows stored in the table file, in the order of the keys of "序号", each
// filled from its own key in every section. A row's stored instant (section
// "LastKillUtc") is taken when its local clock time is the time of the row's last-time
// text, or when its clock time at the offset stored beside it ("LastKillOffset") is: then
// the computer's zone changed, and the last and next times are made again from the
// instant. Otherwise the date is derived from the text. A missing file is a table
// without rows; nullopt when the file cannot be read (a directory, a pipe, no
// permission), with the file and the system's reason in `error`. Touches no table, so
// any thread may read while the window is being built.
[[nodiscard]] std::optional<StoredTable> readTable(const std::filesystem::path& dir,
                                                   std::string* error = nullptr);

// Appends what readTable reads (a missing file adds nothing). `warnMinutes`, when given,
// receives the stored warning minutes from the same read (what readWarnMinutes gives),
// so a start reads the file once. False, with the reason in `error`, when the file
// cannot be read: an empty table then is no table without rows.
bool loadTable(schedule::BossTable& table, const std::filesystem::path& dir,
               std::string* warnMinutes = nullptr, std::string* error = nullptr);

// Writes every data row under keys "1", "2", ... in one atomic replacement; the result
// is the file that writing the values one by one would give, plus section "LastKillUtc"
// with each row's last time as a UTC instant ("" when unknown) and "LastKillOffset" with
// the local clock's offset from UTC at that instant, in seconds. Keys of rows that no
// longer exist stay. False (file unchanged) when the write fails, with the file and the
// reason in `error`.
[[nodiscard]] bool saveTable(const schedule::BossTable& table, const std::filesystem::path& dir,
                             std::string* error = nullptr);
// The same for rows copied out of a table (its rows()).
[[nodiscard]] bool saveRows(const std::vector<schedule::BossRow>& rows,
                            const std::filesystem::path& dir, std::string* error = nullptr);

// Drops the table's sections, keeps everything else ("set" where it was) and writes
// every data row anew, in one atomic replacement.
[[nodiscard]] bool rewriteTable(const schedule::BossTable& table, const std::filesystem::path& dir,
                                std::string* error = nullptr);
[[nodiscard]] bool rewriteRows(const std::vector<schedule::BossRow>& rows,
                               const std::filesystem::path& dir, std::string* error = nullptr);

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
[[nodiscard]] bool writeWarnMinutes(const std::filesystem::path& dir, std::string_view text,
                                    std::string* error = nullptr);

// The warning minutes box's content changed: store it as typed.
[[nodiscard]] bool onWarnMinutesChanged(const std::filesystem::path& dir, std::string_view boxText,
                                        std::string* error = nullptr);

// Alarm sound path: "confing.ini", section "m", key "m"; "" means the built-in sound.
std::string readSoundPath(const std::filesystem::path& dir);
[[nodiscard]] bool writeSoundPath(const std::filesystem::path& dir, std::string_view path,
                                  std::string* error = nullptr);

// What config.ini and confing.ini are still to receive. A later change replaces an
// earlier one of the same kind, so writing what is pending always stores the newest.
struct PendingWrites {
    // The table's rows as they were when the save was asked for.
    std::optional<std::vector<schedule::BossRow>> rows;
    bool rewrite = false; // drop the stored table first (after a deletion)
    std::optional<std::string> warnMinutes;
    std::optional<std::string> soundPath;

    static PendingWrites table(std::vector<schedule::BossRow> rows, bool rewrite = false);
    static PendingWrites warnMinutesText(std::string text);
    static PendingWrites soundPathText(std::string path);

    bool empty() const { return !rows && !warnMinutes && !soundPath; }
    // Takes over what `newer` asks for on top of what is pending.
    void merge(PendingWrites newer);
};

// Every write the window makes to the two files: the table's copy in config.ini for the
// table operations, the warning minutes and the sound path. Each write tells the status
// sink how it ended. What a failed write should have stored is kept and written again
// with the next write through the store, so a change made while the disk was full
// reaches its file once writing works again, and a file is reported written only when
// everything asked of it is on disk. Not thread-safe: one thread writes through it.
class ConfigTableStore final : public schedule::TableStore {
public:
    // How the files touched by one write ended; a file not touched counts as written.
    struct WriteOutcome {
        bool tableWritten = true;
        std::string tableError;
        bool soundWritten = true;
        std::string soundError;
    };

    // `status` may be null; otherwise it must outlive the store.
    explicit ConfigTableStore(std::filesystem::path dir,
                              schedule::WriteStatusSink* status = nullptr);
    // Copies the rows at once; the table need not outlive the call.
    void saveTable(const schedule::BossTable& table) override;
    void rewriteTable(const schedule::BossTable& table) override;
    // Stores the warning minutes in config.ini; false when config.ini could not be
    // written, with the reason in `error`.
    [[nodiscard]] bool writeWarnMinutes(std::string_view text, std::string* error = nullptr);
    // Stores the sound path in confing.ini; false when confing.ini could not be
    // written, with the reason in `error`.
    [[nodiscard]] bool writeSoundPath(std::string_view path, std::string* error = nullptr);
    // Adds `changes` to what is pending, writes every file that lacks something and
    // reports each write made.
    WriteOutcome write(PendingWrites changes);

private:
    [[nodiscard]] bool writeTableFile(std::string& error);
    [[nodiscard]] bool writeSoundFile(std::string& error);
    void report(const std::filesystem::path& file, bool written, const std::string& error);

    std::filesystem::path m_dir;
    schedule::WriteStatusSink* m_status;
    // What config.ini and confing.ini lack after a failed write.
    PendingWrites m_pending;
};

} // namespace zorvane::config
