#include "schedule/bosstable.h"

#include <gtest/gtest.h>

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
