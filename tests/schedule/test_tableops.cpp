#include "schedule/tableops.h"

#include "tests/support/fakeclock.h"

#include <gtest/gtest.h>

using namespace zorvane::schedule;
using zorvane::testing::clockAt;

namespace {

// Records which store operation ran and what the table held at that moment.
class RecordingStore final : public TableStore {
public:
    void saveTable(const BossTable& table) override { record("save", table); }
    void rewriteTable(const BossTable& table) override { record("rewrite", table); }
    std::vector<std::string> calls;
    std::vector<std::vector<BossRow>> snapshots;

private:
    void record(const char* what, const BossTable& table) {
        calls.emplace_back(what);
        snapshots.push_back(table.rows());
    }
};

} // namespace

TEST(TableOps, HeaderTexts) {
    BossTable table;
    setupColumns(table);
    const char* const titles[] = {"使用",     "序号",     "BOSS事件", "周期(分)",
                                  "延迟(分)", "上次时间", "下次时间", "倒计时"};
    for (int c = 0; c < kColumnCount; ++c) {
        EXPECT_EQ(table.headerText(c), titles[c]);
    }
}

TEST(TableOps, AddFillsNewRowAndWrapsPastMidnight) {
    BossTable table;
    RecordingStore store;
    EXPECT_EQ(onAddClicked(table, clockAt(23, 50, 0)), 1);
    EXPECT_EQ(table.cellText(1, kNumberColumn), "1");
    EXPECT_EQ(table.cellText(1, kPeriodColumn), "30");
    EXPECT_EQ(table.cellText(1, kLastTimeColumn), "23:50:00");
    EXPECT_EQ(table.cellText(1, kNextTimeColumn), "00:20:00");
    EXPECT_EQ(table.cellText(1, kNameColumn), "");
    EXPECT_EQ(table.cellText(1, kDelayColumn), "");
    EXPECT_FALSE(table.checkState(1));
    EXPECT_EQ(onAddClicked(table, clockAt(9, 5, 7)), 2);
    EXPECT_EQ(table.cellText(2, kNumberColumn), "2");
    EXPECT_EQ(table.cellText(2, kLastTimeColumn), "09:05:07");
    EXPECT_EQ(table.cellText(2, kNextTimeColumn), "09:35:07");
    EXPECT_TRUE(store.calls.empty());
}

TEST(TableOps, DeleteRenumbersAndRewrites) {
    BossTable table;
    RecordingStore store;
    for (int i = 0; i < 3; ++i) {
        onAddClicked(table, clockAt(10, 0, 0));
        table.setCellText(i + 1, kNameColumn, "boss" + std::to_string(i + 1));
    }
    EXPECT_FALSE(onDeleteClicked(table, 0, store));
    EXPECT_FALSE(onDeleteClicked(table, -1, store));
    EXPECT_FALSE(onDeleteClicked(table, 4, store));
    EXPECT_TRUE(store.calls.empty());

    ASSERT_TRUE(onDeleteClicked(table, 2, store));
    EXPECT_EQ(table.rowCount(), 3);
    EXPECT_EQ(table.cellText(2, kNameColumn), "boss3");
    EXPECT_EQ(table.cellText(2, kNumberColumn), "2");
    ASSERT_EQ(store.calls, std::vector<std::string>{"rewrite"});
    // The store saw the renumbered table.
    ASSERT_EQ(store.snapshots[0].size(), 2u);
    EXPECT_EQ(store.snapshots[0][1].text[kNumberColumn], "2");

    ASSERT_TRUE(onDeleteClicked(table, 1, store));
    ASSERT_TRUE(onDeleteClicked(table, 1, store));
    EXPECT_EQ(table.rowCount(), 1);
    EXPECT_EQ(store.calls.size(), 3u);
    EXPECT_TRUE(store.snapshots.back().empty());
}

TEST(TableOps, MouseUpSavesOnlyTheUseColumnOfDataRows) {
    BossTable table;
    RecordingStore store;
    onAddClicked(table, clockAt(10, 0, 0));
    onGridMouseUp(table, 1, 2, store);
    onGridMouseUp(table, 0, 0, store);
    onGridMouseUp(table, -1, 0, store);
    EXPECT_TRUE(store.calls.empty());
    table.setCheckState(1, true);
    onGridMouseUp(table, 1, 0, store);
    ASSERT_EQ(store.calls, std::vector<std::string>{"save"});
    EXPECT_TRUE(store.snapshots[0][0].use);
}

TEST(TableOps, DoubleClickRecordsKillWithPeriod) {
    BossTable table;
    RecordingStore store;
    onAddClicked(table, clockAt(8, 0, 0));
    onAddClicked(table, clockAt(8, 0, 0));
    table.setCellText(1, kPeriodColumn, "45");
    table.setCellText(1, kDelayColumn, "10");
    table.setCellText(2, kPeriodColumn, "");

    EXPECT_FALSE(onGridDoubleClick(table, 1, 6, clockAt(23, 30, 0), store));
    EXPECT_FALSE(onGridDoubleClick(table, 0, 5, clockAt(23, 30, 0), store));
    EXPECT_FALSE(onGridDoubleClick(table, 3, 5, clockAt(23, 30, 0), store));
    EXPECT_TRUE(store.calls.empty());

    ASSERT_TRUE(onGridDoubleClick(table, 1, 5, clockAt(23, 30, 0), store));
    EXPECT_EQ(table.cellText(1, kLastTimeColumn), "23:30:00");
    EXPECT_EQ(table.cellText(1, kNextTimeColumn), "00:15:00");
    ASSERT_EQ(store.calls, std::vector<std::string>{"save"});
    EXPECT_EQ(store.snapshots[0][0].text[kNextTimeColumn], "00:15:00");

    ASSERT_TRUE(onGridDoubleClick(table, 2, 5, clockAt(12, 1, 2), store));
    EXPECT_EQ(table.cellText(2, kLastTimeColumn), "12:01:02");
    EXPECT_EQ(table.cellText(2, kNextTimeColumn), "12:01:02");
    table.setCellText(2, kPeriodColumn, "abc");
    ASSERT_TRUE(onGridDoubleClick(table, 2, 5, clockAt(12, 2, 0), store));
    EXPECT_EQ(table.cellText(2, kNextTimeColumn), "12:02:00");
    table.setCellText(2, kPeriodColumn, "-60");
    ASSERT_TRUE(onGridDoubleClick(table, 2, 5, clockAt(0, 30, 0), store));
    EXPECT_EQ(table.cellText(2, kNextTimeColumn), "23:30:00");
}
