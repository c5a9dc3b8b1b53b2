#include "schedule/bosstable.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace zorvane::schedule;

namespace {

// Records every notification, and checks that the table's mutex is free when it arrives.
class RecordingListener : public BossTable::Listener {
public:
    explicit RecordingListener(BossTable& table) : m_table(table) {}
    void rowsInserted(int first, int last) override { record("ins", first, last); }
    void rowsRemoved(int first, int last) override { record("rem", first, last); }
    void cellsChanged(int row, int firstColumn, int lastColumn) override {
        record("cell" + std::to_string(row), firstColumn, lastColumn);
    }
    void headerChanged(int firstColumn, int lastColumn) override {
        record("hdr", firstColumn, lastColumn);
    }
    std::vector<std::string> events;
    std::vector<std::thread::id> threads;

private:
    void record(const std::string& what, int a, int b) {
        // Reading the table here would deadlock if the mutex were still held.
        const int rows = m_table.rowCount();
        events.push_back(what + ":" + std::to_string(a) + "-" + std::to_string(b) + "/" +
                         std::to_string(rows));
        threads.push_back(std::this_thread::get_id());
    }
    BossTable& m_table;
};

} // namespace

TEST(BossTable, CellsAndBounds) {
    BossTable table;
    EXPECT_EQ(table.rowCount(), 1);
    EXPECT_TRUE(table.setHeaderText(2, "BOSS事件"));
    EXPECT_FALSE(table.setHeaderText(8, "x"));
    EXPECT_EQ(table.headerText(2), "BOSS事件");
    EXPECT_EQ(table.appendRow(), 1);
    EXPECT_EQ(table.appendRow(), 2);
    EXPECT_EQ(table.rowCount(), 3);

    EXPECT_TRUE(table.setCellText(2, kNameColumn, "龙王"));
    EXPECT_EQ(table.cellText(2, kNameColumn), "龙王");
    EXPECT_EQ(table.cellText(1, kNameColumn), "");
    // Header row, column 0 and cells outside the table refuse text.
    EXPECT_FALSE(table.setCellText(0, kNameColumn, "x"));
    EXPECT_FALSE(table.setCellText(1, kUseColumn, "x"));
    EXPECT_FALSE(table.setCellText(3, kNameColumn, "x"));
    EXPECT_FALSE(table.setCellText(1, 8, "x"));
    EXPECT_EQ(table.cellText(3, kNameColumn), "");

    EXPECT_FALSE(table.checkState(1));
    EXPECT_TRUE(table.setCheckState(1, true));
    EXPECT_TRUE(table.checkState(1));
    EXPECT_FALSE(table.setCheckState(0, true));
    EXPECT_FALSE(table.setCheckState(3, true));

    EXPECT_FALSE(table.deleteRow(0));
    EXPECT_FALSE(table.deleteRow(3));
    EXPECT_TRUE(table.deleteRow(1));
    EXPECT_EQ(table.rowCount(), 2);
    EXPECT_EQ(table.cellText(1, kNameColumn), "龙王");
    EXPECT_FALSE(table.checkState(1));
}

TEST(BossTable, IdsSurviveDeletionOfOtherRows) {
    BossTable table;
    for (int i = 0; i < 3; ++i) {
        table.appendRow();
    }
    const std::vector<RowId> ids = table.rowIds();
    ASSERT_EQ(ids.size(), 3u);
    EXPECT_NE(ids[0], ids[1]);
    EXPECT_NE(ids[1], ids[2]);
    EXPECT_EQ(table.rowId(0), 0u);
    EXPECT_EQ(table.rowId(4), 0u);

    ASSERT_TRUE(table.deleteRow(1));
    // The third row moved up but keeps its id.
    EXPECT_EQ(table.rowIndex(ids[2]), 2);
    EXPECT_EQ(table.rowIndex(ids[0]), -1);
    EXPECT_FALSE(table.row(ids[0]).has_value());
    EXPECT_FALSE(table.setCellText(ids[0], kLastTimeColumn, "10:00:00"));

    EXPECT_TRUE(
        table.setCellTexts(ids[2], {{kLastTimeColumn, "10:00:00"}, {kNextTimeColumn, "10:30:00"}}));
    EXPECT_EQ(table.cellText(2, kLastTimeColumn), "10:00:00");
    EXPECT_EQ(table.cellText(2, kNextTimeColumn), "10:30:00");
    EXPECT_EQ(table.cellText(1, kLastTimeColumn), "");
    EXPECT_TRUE(table.setCellText(ids[1], kCountdownColumn, "x"));
    EXPECT_EQ(table.row(ids[1])->text[kCountdownColumn], "x");
    // Column 0 is not text, so a by-id write to it changes nothing.
    EXPECT_FALSE(table.setCellTexts(ids[1], {{kNameColumn, "a"}, {kUseColumn, "b"}}));
    EXPECT_EQ(table.cellText(1, kNameColumn), "");

    // A new row never reuses an id of a deleted one.
    table.appendRow();
    EXPECT_EQ(table.rowIndex(ids[0]), -1);
    EXPECT_NE(table.rowId(3), ids[0]);
}

TEST(BossTable, ListenerHearsEveryChangeAfterUnlocking) {
    BossTable table;
    RecordingListener listener(table);
    table.setListener(&listener);
    table.setHeaderText(1, "序号");
    table.appendRow();
    table.appendRow();
    table.setCellText(2, kNameColumn, "a");
    table.setCheckState(1, true);
    table.setCellTexts(table.rowId(1), {{kNextTimeColumn, "b"}, {kLastTimeColumn, "c"}});
    table.setCellText(5, kNameColumn, "refused");
    table.deleteRow(1);
    const std::vector<std::string> expected = {"hdr:1-1/1",   "ins:1-1/2",   "ins:2-2/3",
                                               "cell2:2-2/3", "cell1:0-0/3", "cell1:5-6/3",
                                               "rem:1-1/2"};
    EXPECT_EQ(listener.events, expected);

    std::thread other([&] { table.setCellText(1, kNameColumn, "from worker"); });
    const std::thread::id otherId = other.get_id();
    other.join();
    ASSERT_EQ(listener.threads.size(), expected.size() + 1);
    EXPECT_EQ(listener.threads.back(), otherId);

    table.setListener(nullptr);
    table.appendRow();
    EXPECT_EQ(listener.events.size(), expected.size() + 1);
}

TEST(BossTable, ConcurrentWritersAndDeleter) {
    BossTable table;
    for (int i = 0; i < 200; ++i) {
        table.appendRow();
    }
    const std::vector<RowId> ids = table.rowIds();
    std::thread ticker([&] {
        for (int pass = 0; pass < 20; ++pass) {
            for (RowId id : ids) {
                table.setCellTexts(id, {{kLastTimeColumn, "x"}, {kNextTimeColumn, "y"}});
            }
        }
    });
    for (int i = 0; i < 100; ++i) {
        table.deleteRow(1);
    }
    ticker.join();
    EXPECT_EQ(table.rowCount(), 101);
    EXPECT_EQ(table.rowIndex(ids[100]), 1);
    for (const BossRow& row : table.rows()) {
        EXPECT_EQ(row.text[kLastTimeColumn], "x");
        EXPECT_EQ(row.text[kNextTimeColumn], "y");
    }
}

// After every step of each script, every live id leads to its row and back, and every
// deleted id leads nowhere: the id index follows insertions and deletions anywhere.
TEST(BossTable, ByIdAccessFollowsEveryInsertionAndDeletion) {
    struct Step {
        char op; // 'a' append one row, 'm' append `arg` rows at once, 'd' delete row `arg`
        int arg;
    };
    const std::vector<std::vector<Step>> scripts = {
        {{'a', 0}, {'a', 0}, {'a', 0}, {'d', 1}, {'d', 2}, {'a', 0}},
        {{'m', 5}, {'d', 5}, {'d', 1}, {'d', 2}, {'m', 3}, {'d', 4}},
        {{'m', 4}, {'d', 4}, {'d', 3}, {'d', 2}, {'d', 1}, {'a', 0}, {'m', 0}},
        {{'a', 0}, {'m', 2}, {'d', 2}, {'a', 0}, {'d', 1}, {'d', 1}, {'d', 1}},
    };
    for (std::size_t s = 0; s < scripts.size(); ++s) {
        BossTable table;
        std::vector<std::string> expected; // names in display order
        std::vector<RowId> gone;
        int made = 0;
        for (const Step& step : scripts[s]) {
            if (step.op == 'a') {
                const int row = table.appendRow();
                table.setCellText(row, kNameColumn, "r" + std::to_string(made));
                expected.push_back("r" + std::to_string(made++));
            } else if (step.op == 'm') {
                std::vector<BossRow> rows(static_cast<std::size_t>(step.arg));
                for (BossRow& row : rows) {
                    row.text[kNameColumn] = "r" + std::to_string(made);
                    expected.push_back("r" + std::to_string(made++));
                }
                table.appendRows(std::move(rows));
            } else {
                gone.push_back(table.rowId(step.arg));
                ASSERT_TRUE(table.deleteRow(step.arg)) << "script " << s;
                expected.erase(expected.begin() + (step.arg - 1));
            }
            const std::vector<RowId> ids = table.rowIds();
            ASSERT_EQ(ids.size(), expected.size()) << "script " << s;
            for (std::size_t i = 0; i < ids.size(); ++i) {
                EXPECT_EQ(table.rowIndex(ids[i]), static_cast<int>(i) + 1) << "script " << s;
                const std::optional<BossRow> row = table.row(ids[i]);
                ASSERT_TRUE(row.has_value()) << "script " << s;
                EXPECT_EQ(row->text[kNameColumn], expected[i]) << "script " << s;
                EXPECT_TRUE(table.setCellText(ids[i], kCountdownColumn, expected[i]));
                EXPECT_EQ(table.cellText(static_cast<int>(i) + 1, kCountdownColumn), expected[i]);
            }
            for (const RowId id : gone) {
                EXPECT_EQ(table.rowIndex(id), -1) << "script " << s;
                EXPECT_FALSE(table.row(id).has_value()) << "script " << s;
                EXPECT_FALSE(table.setCellText(id, kCountdownColumn, "x")) << "script " << s;
            }
        }
    }
}

// Into an empty table (a load, which keeps the read rows' buffer) and after rows already
// there: fresh ids, positions that find each row, and the typed state of the texts.
TEST(BossTable, AppendRowsAddsAllAtOnceWithFreshIds) {
    for (const int already : {0, 1, 2}) {
        SCOPED_TRACE("rows already there: " + std::to_string(already));
        BossTable table;
        for (int i = 0; i < already; ++i) {
            table.appendRow();
        }
        const std::vector<RowId> existing = table.rowIds();
        RecordingListener listener(table);
        table.setListener(&listener);

        std::vector<BossRow> rows(3);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            rows[i].id = existing.empty() ? 1 : existing[0]; // ignored: always a fresh id
            rows[i].use = i == 1;
            rows[i].text[kNameColumn] = "龙" + std::to_string(i);
            rows[i].text[kPeriodColumn] = std::to_string(30 * (i + 1));
        }
        rows[2].timing.unreadRule = std::pair<std::string, std::string>{"rule?", "zone?"};
        EXPECT_EQ(table.appendRows(rows), already + 1);
        EXPECT_EQ(table.appendRows({}), 0);
        EXPECT_EQ(listener.events, std::vector<std::string>{"ins:" + std::to_string(already + 1) +
                                                            "-" + std::to_string(already + 3) +
                                                            "/" + std::to_string(already + 4)});

        const std::vector<RowId> ids = table.rowIds();
        ASSERT_EQ(ids.size(), static_cast<std::size_t>(already) + 3);
        for (int i = 0; i < already; ++i) {
            EXPECT_EQ(ids[static_cast<std::size_t>(i)], existing[static_cast<std::size_t>(i)]);
            EXPECT_EQ(table.rowIndex(existing[static_cast<std::size_t>(i)]), i + 1);
        }
        for (int i = 0; i < 3; ++i) {
            const int number = already + i + 1;
            const RowId id = ids[static_cast<std::size_t>(number - 1)];
            for (const RowId old : existing) {
                EXPECT_NE(id, old);
            }
            EXPECT_EQ(table.rowIndex(id), number);
            ASSERT_TRUE(table.row(id).has_value());
            EXPECT_EQ(table.row(id)->text[kNameColumn], "龙" + std::to_string(i));
            EXPECT_EQ(table.checkState(number), i == 1);
            EXPECT_EQ(table.timing(number)->periodMinutes, 30 * (i + 1));
        }
        EXPECT_EQ(ids[static_cast<std::size_t>(already)] + 1,
                  ids[static_cast<std::size_t>(already) + 1]);
        EXPECT_EQ(table.rowsWithUnreadRule(),
                  (std::vector<std::pair<int, std::string>>{{already + 3, "龙2"}}));
        table.setListener(nullptr);
    }
}

// Writes that collect their change into a block tell nobody until notifyCells, which
// tells once; a listener that knows no blocks hears each row of the block.
TEST(BossTable, CollectedWritesAreToldOnceAsABlock) {
    BossTable table;
    for (int i = 0; i < 5; ++i) {
        table.appendRow();
    }
    const std::vector<RowId> ids = table.rowIds();
    RecordingListener listener(table);
    table.setListener(&listener);

    CellBlock block;
    EXPECT_TRUE(table.setCellTexts(ids[3], {{kCountdownColumn, "a"}}, &block));
    EXPECT_TRUE(table.setCellTextsIf(ids[1], {{kLastTimeColumn, ""}},
                                     {{kLastTimeColumn, "b"}, {kCountdownColumn, "c"}}, &block));
    // Refused writes leave the block as it was.
    EXPECT_FALSE(
        table.setCellTextsIf(ids[4], {{kLastTimeColumn, "not so"}}, {{kNameColumn, "d"}}, &block));
    EXPECT_FALSE(table.setCellTexts(ids[0], {{kUseColumn, "e"}}, &block));
    EXPECT_TRUE(listener.events.empty());
    EXPECT_EQ(table.cellText(4, kCountdownColumn), "a");
    EXPECT_EQ(table.cellText(2, kLastTimeColumn), "b");

    EXPECT_EQ(block.firstRow, 2);
    EXPECT_EQ(block.lastRow, 4);
    EXPECT_EQ(block.firstColumn, kLastTimeColumn);
    EXPECT_EQ(block.lastColumn, kCountdownColumn);
    table.notifyCells(block);
    table.notifyCells(CellBlock{});
    const std::vector<std::string> expected = {"cell2:5-7/6", "cell3:5-7/6", "cell4:5-7/6"};
    EXPECT_EQ(listener.events, expected);
    table.setListener(nullptr);
}

TEST(BossTable, InsertRowPutsARowBackWithItsOwnIdOnly) {
    BossTable table;
    RecordingListener listener(table);
    for (int i = 0; i < 3; ++i) {
        table.appendRow();
    }
    std::optional<BossRow> middle = table.row(table.rowId(2));
    ASSERT_TRUE(middle);
    middle->text[kPeriodColumn] = "45";
    middle->timing.lastUtc = 1'800'000'000;
    ASSERT_TRUE(table.deleteRow(2));
    table.setListener(&listener);

    // Back at its place, with its id, its typed state derived, the others behind it.
    EXPECT_EQ(table.insertRow(2, *middle), middle->id);
    EXPECT_EQ(table.rowIndex(middle->id), 2);
    EXPECT_EQ(table.timing(2)->periodMinutes, 45);
    EXPECT_EQ(table.timing(2)->lastUtc, std::optional<UtcSeconds>(1'800'000'000));
    EXPECT_EQ(table.rowIndex(table.rowId(3)), 3);
    EXPECT_EQ(listener.events, std::vector<std::string>({"ins:2-2/4"}));

    // An id in use, or one never handed out, gets a fresh one; bad places are refused.
    const RowId again = table.insertRow(4, *middle);
    EXPECT_NE(again, middle->id);
    EXPECT_EQ(table.rowIndex(again), 4);
    BossRow unknown = *middle;
    unknown.id = 1000;
    EXPECT_NE(table.insertRow(1, unknown), 1000u);
    EXPECT_EQ(table.insertRow(0, *middle), 0u);
    EXPECT_EQ(table.insertRow(table.rowCount() + 1, *middle), 0u);
    table.setListener(nullptr);
}

// A count kept in seconds reads as its text wherever the text is read, and tells of the
// whole row only when the row's look may change: a new phase, a first count, the last
// minute reached or left, a text written over it. Otherwise it has only moved.
TEST(BossTable, CountsKeptInSecondsTellOfTheRowOnlyWhenItsLookMayChange) {
    using Change = BossTable::CountdownChange;
    struct Step {
        const char* what;
        std::optional<std::string> writeText; // a text written into the cell first
        std::int64_t remaining;
        RowPhase phase;
        Change change;
        std::string text;
    };
    const Step steps[] = {
        {"first count", std::nullopt, 3600, RowPhase::Counting, Change::Row, "01时00分00秒"},
        {"a second on", std::nullopt, 3599, RowPhase::Counting, Change::Moved, "00时59分59秒"},
        {"the same second", std::nullopt, 3599, RowPhase::Counting, Change::Same, "00时59分59秒"},
        {"into the lead time", std::nullopt, 300, RowPhase::Lead, Change::Row, "00时05分00秒"},
        {"within it", std::nullopt, 61, RowPhase::Lead, Change::Moved, "00时01分01秒"},
        {"the last minute", std::nullopt, 60, RowPhase::Lead, Change::Row, "00时01分00秒"},
        {"within the last minute", std::nullopt, 1, RowPhase::Lead, Change::Moved, "00时00分01秒"},
        {"a day ahead after an edit", std::nullopt, 90000, RowPhase::Lead, Change::Row,
         "1天01时00分00秒"},
        {"a text written over it", std::string("手写"), 89999, RowPhase::Lead, Change::Row,
         "1天00时59分59秒"},
        {"moving on", std::nullopt, 89998, RowPhase::Lead, Change::Moved, "1天00时59分58秒"},
    };
    BossTable table;
    const RowId id = table.rowId(table.appendRow());
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        if (step.writeText) {
            table.setCellText(id, kCountdownColumn, *step.writeText);
            EXPECT_EQ(table.cellText(1, kCountdownColumn), *step.writeText);
        }
        CellBlock block;
        EXPECT_EQ(table.advanceCountdown(id, step.remaining, step.phase, &block), step.change);
        if (step.change == Change::Row) {
            EXPECT_EQ(block.firstRow, 1);
            EXPECT_EQ(block.firstColumn, kUseColumn);
            EXPECT_EQ(block.lastColumn, kCountdownColumn);
        } else {
            EXPECT_TRUE(block.empty());
        }
        // Every way of reading the row gives the same text.
        EXPECT_EQ(table.cellText(1, kCountdownColumn), step.text);
        EXPECT_EQ(table.row(id)->text[kCountdownColumn], step.text);
        EXPECT_EQ(table.rows()[0].text[kCountdownColumn], step.text);
        EXPECT_FALSE(table.row(id)->countdownFromSeconds);
        EXPECT_EQ(table.timing(1)->remainingSeconds, step.remaining);
        EXPECT_EQ(table.timing(1)->phase, step.phase);
    }
    // A new last time keeps the text shown until the next count, which tells of the row:
    // it may jump (a kill), and a sorted view must hear of it.
    table.setCellText(id, kLastTimeColumn, "12:00:00");
    EXPECT_EQ(table.cellText(1, kCountdownColumn), "1天00时59分58秒");
    EXPECT_EQ(table.advanceCountdown(id, 89999, RowPhase::Lead), Change::Row);
    // A write that expects the shown text finds it.
    EXPECT_TRUE(
        table.setCellTextsIf(id, {{kCountdownColumn, "1天00时59分59秒"}}, {{kNameColumn, "Boss"}}));

    // Stopped: the last text stays, the count goes, the cell is told.
    CellBlock stopped;
    ASSERT_TRUE(table.stopCountdown(id, &stopped));
    EXPECT_EQ(table.cellText(1, kCountdownColumn), "1天00时59分59秒");
    EXPECT_FALSE(table.timing(1)->remainingSeconds);
    EXPECT_EQ(table.timing(1)->phase, RowPhase::Idle);
    EXPECT_EQ(stopped.firstColumn, kCountdownColumn);
    EXPECT_EQ(stopped.lastColumn, kCountdownColumn);

    // A row put back from a copy keeps the text it was handed out with.
    table.advanceCountdown(id, 120, RowPhase::Counting);
    BossRow copy = *table.row(id);
    table.deleteRow(1);
    table.insertRow(1, copy);
    EXPECT_EQ(table.cellText(1, kCountdownColumn), "00时02分00秒");
    EXPECT_EQ(table.advanceCountdown(999, 5, RowPhase::Lead), Change::Gone);
}

// Counts that moved are told once, with the table's mutex free.
TEST(BossTable, MovedCountsAreToldOnce) {
    class MovedCounter final : public RecordingListener {
    public:
        using RecordingListener::RecordingListener;
        void countdownsMoved() override { ++moved; }
        int moved = 0;
    };
    BossTable table;
    MovedCounter listener(table);
    table.setListener(&listener);
    table.notifyCountdownsMoved();
    EXPECT_EQ(listener.moved, 1);
    EXPECT_TRUE(listener.events.empty());
    table.setListener(nullptr);
    table.notifyCountdownsMoved();
    EXPECT_EQ(listener.moved, 1);
}
