#pragma once
// The boss table: the one store of the rows while the program runs. Row 0 is the
// header; data rows are 1 and up, in display order. Column 0 holds a truth value
// (the "使用" check box), every other column text. Any thread may call any member:
// one mutex guards the rows. Every data row has a stable id, so the tick can read
// and write a row that the window thread may move or delete meanwhile.
// Why row 0 is the header: see the glossary in ARCHITECTURE.md.

#include "schedule/instant.h"
#include "schedule/spawnrule.h"

#include <array>
#include <cstdint>
#include <limits>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace zorvane::schedule {

enum Column : int {
    kUseColumn = 0,
    kNumberColumn = 1,
    kNameColumn = 2,
    kPeriodColumn = 3,
    kDelayColumn = 4,
    kLastTimeColumn = 5,
    kNextTimeColumn = 6,
    kCountdownColumn = 7,
};
inline constexpr int kColumnCount = 8;

using RowId = std::uint64_t;

// Where a row stands as of the tick's last pass.
enum class RowPhase : int {
    Idle = 0,     // not counted (no last or next time), or not yet seen by a pass
    Counting = 1, // ahead of its lead time
    Lead = 2,     // within the warning lead time, not yet due
    Due = 3,      // the pass found it due (and started its next cycle)
    Window = 4,   // a spawn window (the delay after the period) is open, not yet due
};

// A counting row this close to due looks due (the window's last-minute look): the row
// changes as a whole when its count crosses it.
inline constexpr std::int64_t kDueSoonSeconds = 60;

// The typed state of a row beside its texts, kept in step by the table: the period and
// delay are read once when their cells change, and the last time's instant is known
// only while column 5 still holds the text it was recorded with.
struct RowTiming {
    std::int32_t periodMinutes = 0; // text-to-integer of column 3
    std::int32_t delayMinutes = 0;  // text-to-integer of column 4
    // The instant column 5 stands for; dropped whenever column 5 is written without one.
    std::optional<UtcSeconds> lastUtc;
    // Seconds until due and the phase, as the tick's last pass found them.
    std::optional<std::int64_t> remainingSeconds;
    RowPhase phase = RowPhase::Idle;
    // The row's own lead times in minutes, announced instead of the preferences' extra
    // lead times; none: the preferences' list applies.
    std::optional<std::vector<int>> leadMinutes;
    // When the boss appears; the default is a window after a kill from period and delay.
    SpawnRule spawn;
    // The spawn the tick saw pass with no kill recorded (its cycle rolled over meanwhile),
    // and the moment a spawn was marked as taken by others. Both go when a new last time
    // is written.
    std::optional<UtcSeconds> upSince;
    std::optional<UtcSeconds> missedAt;
    // A stored rule and zone this program could not read (a hand edit, a zone the system's
    // tzdata lacks): kept as stored and written back until a rule is chosen again.
    std::optional<std::pair<std::string, std::string>> unreadRule;
    // Where the boss stood by its rule at the tick's last pass; nullopt before one.
    std::optional<SpawnView> spawnView;
};

// The row's record as its spawn rule reads it.
SpawnFacts spawnFactsOf(const RowTiming& timing);

// One data row; text[kUseColumn] is unused.
struct BossRow {
    RowId id = 0;
    bool use = false;
    std::array<std::string, kColumnCount> text;
    RowTiming timing;
    // Inside the table only: the countdown text is made from timing.remainingSeconds when
    // it is read, so a count nobody reads costs no text. Rows handed out carry the text.
    bool countdownFromSeconds = false;
    // Inside the table only: the table instant (BossTable::setCountNow) the count and the
    // spawn view were made for; readers see them moved on to the table's current instant.
    std::optional<UtcSeconds> countedAt;
};

// The rows and columns a series of by-id writes touched (row indices as they were at
// each write), so a writer of many rows can tell the listener once.
struct CellBlock {
    int firstRow = std::numeric_limits<int>::max();
    int lastRow = -1;
    int firstColumn = std::numeric_limits<int>::max();
    int lastColumn = -1;

    bool empty() const { return lastRow < firstRow; }
    void add(int row, int first, int last);
};

class BossTable {
public:
    // Told about every change, on the thread that made it, after the table's mutex
    // has been released. Row indices count the header (first data row = 1).
    class Listener {
    public:
        virtual ~Listener() = default;
        virtual void rowsInserted(int first, int last) = 0;
        virtual void rowsRemoved(int first, int last) = 0;
        virtual void cellsChanged(int row, int firstColumn, int lastColumn) = 0;
        virtual void headerChanged(int firstColumn, int lastColumn) = 0;
        // Cells of several rows changed (see notifyCells); by default one notice per row.
        virtual void cellBlockChanged(int firstRow, int lastRow, int firstColumn, int lastColumn);
        // Countdowns moved on without changing any row's look (see notifyCountdownsMoved):
        // only their texts are new. By default nobody listens.
        virtual void countdownsMoved() {}
    };

    BossTable();

    // The listener must outlive the table or be reset to nullptr first.
    void setListener(Listener* listener);

    // Rows including the header: 1 for an empty table.
    int rowCount() const;

    std::string headerText(int column) const;
    bool setHeaderText(int column, std::string_view text);

    // Text of a data cell; "" outside the table and for column 0.
    std::string cellText(int row, int column) const;
    // Stores text; false outside the table, for the header row and for column 0.
    bool setCellText(int row, int column, std::string_view text);
    // The check box of column 0; false outside the table.
    bool checkState(int row) const;
    bool setCheckState(int row, bool checked);

    // Adds an empty, unchecked row at the end; returns its index.
    int appendRow();
    // Adds the rows at the end with new ids (the ids given are ignored) and tells the
    // listener once; returns the index of the first, or 0 when `rows` is empty.
    int appendRows(std::vector<BossRow> rows);
    // Puts `content` back as data row `row` (1 .. rowCount(); rowCount() appends), e.g.
    // to undo a deletion. It keeps content.id when that id is not in use, so by-id
    // readers find the row again; otherwise it gets a new one. Returns the row's id, 0
    // when `row` is out of range.
    RowId insertRow(int row, BossRow content);
    // Removes data row `row`; false outside the table.
    bool deleteRow(int row);

    // By-id access for code that runs beside the window thread.
    RowId rowId(int row) const;        // 0 when there is no such data row
    int rowIndex(RowId id) const;      // -1 when the row is gone
    std::vector<RowId> rowIds() const; // snapshot in display order
    std::optional<BossRow> row(RowId id) const;
    // Like row(), without making the countdown text: its cell is empty while the count is
    // kept in seconds. For the tick's pass, which reads every row and no countdown text.
    std::optional<BossRow> rowWithoutCountdownText(RowId id) const;
    bool setCellText(RowId id, int column, std::string_view text);
    // Sets several cells of one row at once, so no reader sees half an update.
    // With `collected`, the change is added to it instead of being told to the listener;
    // the writer tells the listener later with notifyCells.
    bool setCellTexts(RowId id, const std::vector<std::pair<int, std::string>>& cells,
                      CellBlock* collected = nullptr);
    // Like setCellTexts, but only while the row still holds the `expected` texts, so a
    // writer working from an earlier read never overwrites a newer edit.
    bool setCellTextsIf(RowId id, const std::vector<std::pair<int, std::string>>& expected,
                        const std::vector<std::pair<int, std::string>>& cells,
                        CellBlock* collected = nullptr);
    // Tells the listener once about the writes collected in `block` (nothing when empty).
    void notifyCells(const CellBlock& block) const;

    // Every data row, in display order.
    std::vector<BossRow> rows() const;
    // Calls `visit` with every data row in display order and its timing as counted now,
    // under the table's lock: a read of every row without a copy of each (the row's countdown
    // cell may be stale; its timing is not). `visit` must not call the table.
    template <typename Visit> void forEachRow(Visit&& visit) const {
        std::lock_guard lock(m_mutex);
        for (const BossRow& row : m_rows) {
            if (row.countedAt) {
                visit(row, currentTiming(row));
            } else {
                visit(row, row.timing);
            }
        }
    }
    // The number (1 ..) and name of every row keeping a stored spawn rule or zone this
    // program cannot read (RowTiming::unreadRule), without a copy of every row.
    std::vector<std::pair<int, std::string>> rowsWithUnreadRule() const;

    // The typed state of data row `row`; nullopt outside the table.
    std::optional<RowTiming> timing(int row) const;
    // Like setCellTextsIf, and the row's last time then stands for `lastUtc`.
    bool setDatedCellTextsIf(RowId id, const std::vector<std::pair<int, std::string>>& expected,
                             const std::vector<std::pair<int, std::string>>& cells,
                             UtcSeconds lastUtc, CellBlock* collected = nullptr);
    // Records the instant of the row's last time, only while column 5 still holds
    // `lastText`. Changes no text, so no listener is told.
    bool setLastInstantIf(RowId id, std::string_view lastText, UtcSeconds lastUtc);
    // Gives the row its own lead times (none: the preferences' list) and tells the listener
    // the row changed; false when the row is gone.
    bool setLeadMinutes(RowId id, std::optional<std::vector<int>> minutes);
    // Gives the row its spawn rule and tells the listener the row changed; false when the
    // row is gone.
    bool setSpawnRule(RowId id, SpawnRule rule);
    // Records that the row's boss is up since `upSince` and, or, that a spawn was taken by
    // others at `missedAt` (see RowTiming); changes no text. False when the row is gone.
    bool setSpawnMarks(RowId id, std::optional<UtcSeconds> upSince,
                       std::optional<UtcSeconds> missedAt, CellBlock* collected = nullptr);
    // Where the tick's pass found the row's boss; changes no text. Tells of the whole row
    // when the spawn phase changed or a window is open (its progress shows in the name
    // cell); otherwise nobody.
    bool setSpawnView(RowId id, const SpawnView& view, CellBlock* collected = nullptr);
    // The tick's result for a row: the countdown text, the remaining seconds and the phase.
    bool setCountdown(RowId id, std::string_view text, std::optional<std::int64_t> remaining,
                      RowPhase phase, CellBlock* collected = nullptr);
    // What advanceCountdown changed.
    enum class CountdownChange {
        Gone,  // the row is gone
        Same,  // nothing
        Moved, // only the count: tell everyone once with notifyCountdownsMoved
        Row,   // the row's look may have changed: the whole row was told (or collected)
    };
    // The tick's result for a counting row, kept in seconds: its countdown text is made
    // from them when read. A new phase, a first count, a count crossing kDueSoonSeconds or
    // a text written before tell of the whole row.
    CountdownChange advanceCountdown(RowId id, std::int64_t remaining, RowPhase phase,
                                     CellBlock* collected = nullptr);
    // The row no longer counts: its countdown text stays as last shown, the typed count
    // goes (phase Idle). Tells of the countdown cell.
    bool stopCountdown(RowId id, CellBlock* collected = nullptr);
    // Tells the listener once that counts moved (countdownsMoved).
    void notifyCountdownsMoved() const;

    // The instant counts are read at: every kept count and spawn view is moved on by
    // arithmetic from the instant it was made for, so a pass writes only the rows whose
    // state changes. Before the first call counts are read as they were made.
    void setCountNow(UtcSeconds now);

    // Rows changed by anything but a pass's own count (an edit, a kill, a rule, an added
    // or deleted row) since the last call, so a pass reads only those afresh. `all` when
    // the rows changed wholesale or nobody asked before: read every row. Nobody pays for
    // the list until the first call.
    struct EditedRows {
        bool all = false;
        std::vector<RowId> ids;
    };
    EditedRows takeEditedRows();

private:
    // Keeps the row's typed state in step with a text just written into `column`.
    void textWritten(BossRow& row, int column) const;
    bool writeIf(RowId id, const std::vector<std::pair<int, std::string>>& expected,
                 const std::vector<std::pair<int, std::string>>& cells,
                 std::optional<UtcSeconds> lastUtc, CellBlock* collected);
    // Runs `change` on row `id` under the mutex, then tells of columns `told` (first,
    // last): added to `collected` when given, else to the listener. A `told` of
    // kNothingTold tells nobody. False when the row is gone.
    static constexpr std::pair<int, int> kNothingTold{0, -1};
    template <typename Change>
    bool changeRow(RowId id, std::pair<int, int> told, CellBlock* collected, Change&& change);
    // Turns a count kept in seconds back into a stored text, so the next count tells of
    // the whole row.
    void keepCountdownText(BossRow& row) const;
    // Tells of the whole row (collected when given), as changeRow does.
    void tellRow(RowId id, CellBlock* collected);
    // A copy of a stored row as readers see it: its countdown text made.
    BossRow handedOut(const BossRow& row) const;
    // The countdown text of a stored row; caller holds m_mutex.
    std::string countdownTextOf(const BossRow& row) const;
    // Position of a row in m_rows; caller holds m_mutex. -1 when the row is gone.
    int positionOf(RowId id) const;
    // The row's timing as of m_countNow; caller holds m_mutex.
    RowTiming currentTiming(const BossRow& row) const;
    // The row's timing moved on to `at` (as made when `at` or the row's count is unknown).
    static RowTiming timingAt(const BossRow& row, std::optional<UtcSeconds> at);
    // Moves the row's kept count and view on to m_countNow before a pass writes them.
    void rebase(BossRow& row) const;
    // Notes an edit of row `id` for takeEditedRows; caller holds m_mutex.
    void noteEdited(RowId id);

    mutable std::mutex m_mutex;
    std::array<std::string, kColumnCount> m_header;
    std::vector<BossRow> m_rows;
    // id -> position in m_rows, kept in step with every insertion and deletion so that
    // by-id access costs the same however long the table is.
    std::unordered_map<RowId, std::size_t> m_positions;
    RowId m_nextId = 1;
    Listener* m_listener = nullptr;
    std::optional<UtcSeconds> m_countNow;
    std::optional<UtcSeconds> m_previousCountNow;
    bool m_trackEdits = false;
    bool m_editedAll = false;
    std::vector<RowId> m_edited;
};

} // namespace zorvane::schedule
