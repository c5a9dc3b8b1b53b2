// Boss lists: what a table exports comes back whole, a list that is malformed or hostile is
// refused with its reason before anything is merged, and a merge adds, changes and leaves
// bosses by name without ever touching a kill.

#include "config/bosslist.h"
#include "schedule/bosstable.h"
#include "schedule/cycle.h"
#include "text/message.h"
#include "text/textops.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace zorvane;
using namespace zorvane::config;
using text::MessageId;

namespace {

schedule::BossRow makeRow(const std::string& name, int period, int delay) {
    schedule::BossRow row;
    row.use = true;
    row.text[schedule::kNameColumn] = name;
    row.text[schedule::kPeriodColumn] = std::to_string(period);
    row.text[schedule::kDelayColumn] = std::to_string(delay);
    row.timing.periodMinutes = period;
    row.timing.delayMinutes = delay;
    return row;
}

std::string listOf(const std::string& bosses) {
    return R"({"format": "zorvane-bosslist", "version": 1, "bosses": [)" + bosses + "]}";
}

BossList decoded(const std::string& json) {
    text::Message error;
    std::optional<BossList> list = decodeBossList(json, error);
    EXPECT_TRUE(list) << text::defaultText(error) << "\n" << json;
    return list.value_or(BossList{});
}

} // namespace

TEST(BossList, WhatATableExportsComesBackWhole) {
    schedule::BossRow fixed = makeRow("黑龙", 0, 0);
    fixed.timing.spawn = *schedule::parseSpawnRule("at 12:00 20:30 on 6 7 remind 3");
    fixed.timing.spawn.zone = *schedule::ServerZone::fromText("UTC+08:00");
    fixed.timing.leadMinutes = std::vector<int>{10, 1};
    schedule::BossRow window = makeRow("Golem \"big\"", 120, 15);
    window.timing.leadMinutes = std::vector<int>{};
    schedule::BossRow unread = makeRow("Odd", 30, 0);
    unread.timing.unreadRule = std::make_pair(std::string("at 99:99"), std::string("Mars/Base"));
    const std::vector<schedule::BossRow> rows = {fixed, window, makeRow("  黑龙 ", 5, 0),
                                                 makeRow("", 5, 0), unread};
    const BossNotes notes = {{"黑龙", {"龙之谷", "龙鳞", "带解毒药\n三线"}},
                             {"Nobody", {"x", "", ""}}};

    BossList list = bossListOf(rows, notes);
    // Each name once (the first row of a name), nameless rows left out, the unread rule
    // not sent as the default it runs on.
    ASSERT_EQ(list.bosses.size(), 3u);
    EXPECT_EQ(list.bosses[0].rule, fixed.timing.spawn);
    EXPECT_EQ(list.bosses[0].notes, notes.at("黑龙"));
    EXPECT_EQ(list.bosses[1].leadMinutes, std::optional<std::optional<std::vector<int>>>(
                                              std::optional<std::vector<int>>(std::vector<int>{})));
    EXPECT_FALSE(list.bosses[2].rule);
    EXPECT_EQ(list.bosses[2].leadMinutes,
              std::optional<std::optional<std::vector<int>>>(std::optional<std::vector<int>>()));

    list.servers = {{"二区", "Asia/Shanghai"}, {"三区", ""}};
    list.bosses[0].group = "野外";
    list.bosses[0].servers = {"二区"};
    list.bosses[0].lines = {"1", "2", "3线"};
    EXPECT_EQ(decoded(encodeBossList(list)), list);
}

TEST(BossList, AMalformedOrHostileListIsRefusedWithItsReason) {
    const std::string deep =
        R"({"format": "zorvane-bosslist", "version": 1, "bosses": [{"name": "a", "notes": {"text": )" +
        std::string(50, '[') + std::string(50, ']') + "}}]}";
    std::string manyBosses;
    for (std::size_t i = 0; i <= kMaxListedBosses; ++i) {
        manyBosses += (i ? "," : "") + std::string(R"({"name": "b)") + std::to_string(i) + "\"}";
    }
    std::string manyLines = "[";
    for (std::size_t i = 0; i <= kMaxListedLines; ++i) {
        manyLines += (i ? ",\"" : "\"") + std::to_string(i) + "\"";
    }
    manyLines += "]";
    struct Case {
        std::string text;
        MessageId reason;
    };
    const Case cases[] = {
        {"", MessageId::BossListNotJson},
        {"{\"format\": \"zorvane-bosslist\", ", MessageId::BossListNotJson},
        {std::string(kMaxBossListBytes + 1, ' '), MessageId::BossListTooLarge},
        {"[1, 2]", MessageId::BossListNotList},
        {listOf(R"({"name": "a", "period": 4.4E444})"), MessageId::BossListNotJson},
        {R"({"version": 1, "bosses": []})", MessageId::BossListNotList},
        {R"({"format": "zorvane-notes", "version": 1, "bosses": []})", MessageId::BossListNotList},
        {R"({"format": "zorvane-bosslist", "version": 2, "bosses": []})",
         MessageId::BossListVersion},
        {R"({"format": "zorvane-bosslist", "version": "1", "bosses": []})",
         MessageId::BossListVersion},
        {R"({"format": "zorvane-bosslist", "version": 1})", MessageId::BossListField},
        {R"({"format": "zorvane-bosslist", "version": 1, "bosses": {}})", MessageId::BossListField},
        {deep, MessageId::BossListTooDeep},
        {listOf(manyBosses), MessageId::BossListTooMany},
        {listOf(R"({"name": "a"}, {"name": "a"})"), MessageId::BossListDuplicate},
        {listOf(R"({"period": 5})"), MessageId::BossListNoName},
        {listOf(R"({"name": ""})"), MessageId::BossListNoName},
        {listOf(R"({"name": 7})"), MessageId::BossListBossField},
        {listOf(R"("黑龙")"), MessageId::BossListBossField},
        {listOf(R"({"name": "a\nb"})"), MessageId::BossListBadName},
        {listOf(R"({"name": "a\u0000"})"), MessageId::BossListBadName},
        {listOf(R"({"name": "a\u0085"})"), MessageId::BossListBadName},
        {listOf(R"({"name": " a"})"), MessageId::BossListBadName},
        {listOf(R"({"name": "a　"})"), MessageId::BossListBadName},
        {listOf(R"({"name": ")" + std::string(kMaxListedNameBytes + 1, 'n') + "\"}"),
         MessageId::BossListBadName},
        {listOf(R"({"name": "a", "period": "120"})"), MessageId::BossListBossField},
        {listOf(R"({"name": "a", "period": 1.5})"), MessageId::BossListBossField},
        {listOf(R"({"name": "a", "period": -1})"), MessageId::BossListBossField},
        {listOf(R"({"name": "a", "delay": 99999999999})"), MessageId::BossListBossField},
        {listOf(R"({"name": "a", "rule": "at 25:00"})"), MessageId::BossListBossField},
        {listOf(R"({"name": "a", "zone": "Mars/Base"})"), MessageId::BossListBossField},
        {listOf(R"({"name": "a", "lead": [0]})"), MessageId::BossListBossField},
        {listOf(R"({"name": "a", "lead": [1,2,3,4,5,6,7,8,9,10,11]})"),
         MessageId::BossListBossField},
        {listOf(R"({"name": "a", "lead": "10"})"), MessageId::BossListBossField},
        {listOf(R"({"name": "a", "notes": {"text": 5}})"), MessageId::BossListBossField},
        {listOf(R"({"name": "a", "notes": {"text": ")" + std::string(kMaxNoteFieldBytes + 1, 'x') +
                "\"}}"),
         MessageId::BossListBossField},
        {listOf(R"({"name": "a", "group": "x\ty"})"), MessageId::BossListBossField},
        {listOf(R"({"name": "a", "lines": ["1", "1"]})"), MessageId::BossListBossField},
        {listOf(R"({"name": "a", "lines": )" + manyLines + "}"), MessageId::BossListBossField},
        {listOf(R"({"name": "a", "servers": ["二区"]})"), MessageId::BossListBossField},
        {listOf(R"({"name": "a", "lines": ["1", 2]})"), MessageId::BossListBossField},
        {listOf(R"({"name": "a", "lines": [""]})"), MessageId::BossListBossField},
        {listOf(R"({"name": "a", "lines": "1-60"})"), MessageId::BossListBossField},
        {R"({"format": "zorvane-bosslist", "version": 1, "servers": [{"name": "二区"}], "bosses": [{"name": "a", "servers": ["二区"]}]})",
         MessageId::BossListBossField},
        {R"({"format": "zorvane-bosslist", "version": 1, "servers": [{"name": "二区"}], "bosses": [{"name": "a", "servers": ["二区", "二区"], "lines": ["1"]}]})",
         MessageId::BossListBossField},
        {R"({"format": "zorvane-bosslist", "version": 1, "servers": [{"name": "x", "zone": "Nowhere/X"}], "bosses": []})",
         MessageId::BossListField},
        {R"({"format": "zorvane-bosslist", "version": 1, "servers": [{"name": "x"}, {"name": "x"}], "bosses": []})",
         MessageId::BossListField},
        {R"({"format": "zorvane-bosslist", "version": 1, "servers": "x", "bosses": []})",
         MessageId::BossListField},
    };
    for (const Case& c : cases) {
        text::Message error;
        EXPECT_FALSE(decodeBossList(c.text, error)) << c.text.substr(0, 200);
        EXPECT_EQ(error.id, c.reason)
            << c.text.substr(0, 200) << " -> " << text::defaultText(error);
        EXPECT_FALSE(text::defaultText(error).empty());
    }
    // A reason naming a field names the boss and what is wrong with it.
    text::Message error;
    ASSERT_FALSE(decodeBossList(listOf(R"({"name": "x"}, {"name": "黑龙", "period": -1})"), error));
    EXPECT_EQ(text::defaultText(error),
              "第 2 个首领（黑龙）的“period”：应为 0 到 527040 之间的整数");
}

TEST(BossList, AMergeAddsChangesAndLeavesBossesByName) {
    schedule::BossRow dragon = makeRow("黑龙", 120, 10);
    dragon.timing.leadMinutes = std::vector<int>{5};
    const std::vector<schedule::BossRow> rows = {dragon, makeRow("Golem", 60, 0),
                                                 makeRow("Twice", 30, 0), makeRow("Twice", 30, 0)};
    const BossNotes notes = {{"Golem", {"cave", "", "", "野外"}}};
    struct Case {
        const char* what;
        std::string bosses;
        std::vector<std::string> added;
        std::vector<MergeReport::Changed> changed;
        std::vector<std::string> unchanged;
        std::size_t skipped;
    };
    const Case cases[] = {
        {"same values",
         R"({"name": "黑龙", "period": 120, "delay": 10, "lead": [5]})",
         {},
         {},
         {"黑龙"},
         0},
        {"absent fields keep",
         R"({"name": "黑龙"}, {"name": "Golem"})",
         {},
         {},
         {"黑龙", "Golem"},
         0},
        {"period and delay",
         R"({"name": "黑龙", "period": 180, "delay": 0})",
         {},
         {{"黑龙", kPeriodChanged | kDelayChanged}},
         {},
         0},
        {"rule, not zone",
         R"({"name": "Golem", "rule": "at 12:00"})",
         {},
         {{"Golem", kRuleChanged}},
         {},
         0},
        {"zone alone",
         R"({"name": "Golem", "zone": "UTC+09:00"})",
         {},
         {{"Golem", kZoneChanged}},
         {},
         0},
        {"lead to the preferences'",
         R"({"name": "黑龙", "lead": null})",
         {},
         {{"黑龙", kLeadChanged}},
         {},
         0},
        {"lead to none", R"({"name": "黑龙", "lead": []})", {}, {{"黑龙", kLeadChanged}}, {}, 0},
        {"same notes", R"({"name": "Golem", "notes": {"location": "cave"}})", {}, {}, {"Golem"}, 0},
        {"new notes",
         R"({"name": "黑龙", "notes": {"text": "x"}})",
         {},
         {{"黑龙", kNotesChanged}},
         {},
         0},
        {"notes cleared",
         R"({"name": "Golem", "notes": {}})",
         {},
         {{"Golem", kNotesChanged}},
         {},
         0},
        {"same group", R"({"name": "Golem", "group": "野外"})", {}, {}, {"Golem"}, 0},
        {"new group", R"({"name": "黑龙", "group": "世界"})", {}, {{"黑龙", kGroupChanged}}, {}, 0},
        {"other group",
         R"({"name": "Golem", "group": "世界", "notes": {"location": "cave"}})",
         {},
         {{"Golem", kGroupChanged}},
         {},
         0},
        {"added", R"({"name": "红龙", "period": 60}, {"name": "黑龙"})", {"红龙"}, {}, {"黑龙"}, 0},
        {"two rows of a name", R"({"name": "Twice", "period": 1})", {}, {}, {}, 1},
    };
    for (const Case& c : cases) {
        const BossListMerge merge = planBossListMerge(rows, notes, decoded(listOf(c.bosses)));
        EXPECT_EQ(merge.report.added, c.added) << c.what;
        EXPECT_EQ(merge.report.changed, c.changed) << c.what;
        EXPECT_EQ(merge.report.unchanged, c.unchanged) << c.what;
        EXPECT_EQ(merge.report.skipped.size(), c.skipped) << c.what;
        EXPECT_EQ(merge.steps.size(), c.added.size() + c.changed.size()) << c.what;
    }
}

// Lines and servers travel with the list: exported from the board, merged only when
// listed, and handed to the caller for the rows they belong to once the merge is applied.
TEST(BossList, LinesAreExportedAndMergedOnlyWhenListed) {
    const auto fresh = [](schedule::BossTable& table, schedule::LineBoard& board) {
        table.appendRows({makeRow("黑龙", 120, 10), makeRow("Golem", 60, 0)});
        ASSERT_TRUE(board.setLines(table.rowId(1), {{"一区", "二区"}, {"1", "2", "3"}}));
    };
    {
        schedule::BossTable table;
        schedule::LineBoard board;
        fresh(table, board);
        const BossList list = bossListOf(table.rows(), {}, &board);
        ASSERT_EQ(list.bosses.size(), 2u);
        EXPECT_EQ(list.bosses[0].servers, (std::vector<std::string>{"一区", "二区"}));
        EXPECT_EQ(list.bosses[0].lines, (std::vector<std::string>{"1", "2", "3"}));
        EXPECT_TRUE(list.bosses[1].lines.empty());
        EXPECT_EQ(list.servers, (std::vector<ListedServer>{{"一区", ""}, {"二区", ""}}));
        // What is written reads back, and merged into the same table changes nothing.
        const BossList back = decoded(encodeBossList(list, ListLayout::Compact));
        EXPECT_EQ(back, list);
        EXPECT_FALSE(planBossListMerge(table.rows(), {}, back, &board).report.changesAnything());
    }
    const std::string servers =
        R"("servers": [{"name": "一区"}, {"name": "二区"}, {"name": "三区"}], )";
    struct Case {
        const char* what;
        std::string bosses;
        std::vector<MergeReport::Changed> changed;
        std::vector<std::string> added;
        // The lines handed over for each name, once applied.
        std::vector<std::pair<std::string, schedule::BossLines>> lines;
    };
    const Case cases[] = {
        {"the same lines",
         R"({"name": "黑龙", "servers": ["一区", "二区"], "lines": ["1", "2", "3"]})",
         {},
         {},
         {}},
        {"lines left out keep theirs", R"({"name": "黑龙", "period": 120})", {}, {}, {}},
        {"more lines",
         R"({"name": "黑龙", "servers": ["一区", "二区"], "lines": ["1", "2", "3", "4"]})",
         {{"黑龙", kLinesChanged}},
         {},
         {{"黑龙", {{"一区", "二区"}, {"1", "2", "3", "4"}}}}},
        {"another server and a period",
         R"({"name": "黑龙", "period": 60, "servers": ["三区"], "lines": ["1", "2", "3"]})",
         {{"黑龙", kPeriodChanged | kLinesChanged}},
         {},
         {{"黑龙", {{"三区"}, {"1", "2", "3"}}}}},
        {"lines for a boss without",
         R"({"name": "Golem", "lines": ["A", "B"]})",
         {{"Golem", kLinesChanged}},
         {},
         {{"Golem", {{}, {"A", "B"}}}}},
        {"a new boss with lines and one without",
         R"({"name": "红龙", "servers": ["二区"], "lines": ["1", "2"]}, {"name": "白龙"})",
         {},
         {"红龙", "白龙"},
         {{"红龙", {{"二区"}, {"1", "2"}}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        schedule::BossTable table;
        schedule::LineBoard board;
        fresh(table, board);
        const BossListMerge merge =
            planBossListMerge(table.rows(), {},
                              decoded("{\"format\": \"zorvane-bosslist\", \"version\": 1, " +
                                      servers + "\"bosses\": [" + c.bosses + "]}"),
                              &board);
        EXPECT_EQ(merge.report.changed, c.changed);
        EXPECT_EQ(merge.report.added, c.added);
        BossNotes notes;
        applyBossListMerge(table, notes, merge);
        std::vector<std::pair<std::string, schedule::BossLines>> lines;
        for (const auto& [row, given] : mergedLines(table, merge)) {
            lines.emplace_back(text::trim(table.row(row)->text[schedule::kNameColumn]), given);
        }
        EXPECT_EQ(lines, c.lines);
    }
}

TEST(BossList, ApplyingAMergeKeepsKillsAndFollowsTheNewPeriod) {
    schedule::BossTable table;
    const schedule::UtcSeconds killed = 1'700'000'000;
    schedule::BossRow dragon = makeRow("黑龙", 120, 10);
    dragon.text[schedule::kNumberColumn] = "1";
    dragon.text[schedule::kLastTimeColumn] = "12:00:00";
    dragon.text[schedule::kNextTimeColumn] = schedule::nextTimeText(killed, 120);
    table.appendRows({dragon, makeRow("Golem", 60, 0)});
    const schedule::RowId dragonId = table.rowId(1);
    ASSERT_TRUE(table.setLastInstantIf(dragonId, "12:00:00", killed));
    BossNotes notes = {{"Golem", {"cave", "", ""}}};

    const BossListMerge merge = planBossListMerge(
        table.rows(), notes,
        decoded(listOf(
            R"({"name": "黑龙", "period": 180, "rule": "after", "zone": "UTC+08:00", "lead": [15, 3]},
                          {"name": "Golem", "notes": {}},
                          {"name": "红龙", "period": 45, "delay": 5, "rule": "at 20:00", "lead": [2], "notes": {"drops": "鳞"}})")));
    const std::vector<schedule::RowId> touched = applyBossListMerge(table, notes, merge);
    EXPECT_EQ(touched.size(), 3u);

    const schedule::BossRow after = *table.row(dragonId);
    EXPECT_EQ(after.text[schedule::kPeriodColumn], "180");
    EXPECT_EQ(after.text[schedule::kLastTimeColumn], "12:00:00");
    EXPECT_EQ(after.timing.lastUtc, killed);
    EXPECT_EQ(after.text[schedule::kNextTimeColumn], schedule::nextTimeText(killed, 180));
    EXPECT_EQ(after.timing.spawn.zone.text(), "UTC+08:00");
    EXPECT_EQ(after.timing.leadMinutes, (std::vector<int>{15, 3}));

    ASSERT_EQ(table.rowCount(), 4);
    const schedule::BossRow added = *table.row(table.rowId(3));
    EXPECT_EQ(added.text[schedule::kNameColumn], "红龙");
    EXPECT_EQ(added.text[schedule::kNumberColumn], "3");
    EXPECT_EQ(added.text[schedule::kPeriodColumn], "45");
    EXPECT_EQ(added.text[schedule::kDelayColumn], "5");
    EXPECT_TRUE(added.text[schedule::kLastTimeColumn].empty());
    EXPECT_TRUE(added.use);
    EXPECT_EQ(added.timing.spawn.kind, schedule::SpawnKind::FixedTimes);
    EXPECT_EQ(added.timing.leadMinutes, (std::vector<int>{2}));
    EXPECT_EQ(notes, (BossNotes{{"红龙", {"", "鳞", ""}}}));

    // A kill recorded while the player reads the report: the new period counts from it.
    const BossListMerge late = planBossListMerge(
        table.rows(), notes, decoded(listOf(R"({"name": "黑龙", "period": 60})")));
    ASSERT_TRUE(table.setDatedCellTextsIf(dragonId, {{schedule::kLastTimeColumn, "12:00:00"}},
                                          {{schedule::kLastTimeColumn, "13:00:00"}},
                                          killed + 3600));
    EXPECT_EQ(applyBossListMerge(table, notes, late).size(), 1u);
    EXPECT_EQ(table.row(dragonId)->text[schedule::kPeriodColumn], "60");
    EXPECT_EQ(table.row(dragonId)->text[schedule::kLastTimeColumn], "13:00:00");
    EXPECT_EQ(table.row(dragonId)->text[schedule::kNextTimeColumn],
              schedule::nextTimeText(killed + 3600, 60));
}

// The group shares the boss's entry in the notes with its note: each is taken only when the
// list gives it, and a list never takes a group away.
TEST(BossList, AMergeTakesGroupsAndNotesEachOnlyWhenListed) {
    struct Case {
        const char* what;
        BossNote before;
        std::string boss;
        std::optional<BossNote> after; // nullopt: no entry left
    };
    const Case cases[] = {
        {"group given to a boss without a note",
         {},
         R"({"name": "a", "group": "野外"})",
         BossNote{"", "", "", "野外"}},
        {"notes replaced, group kept",
         {"cave", "", "", "野外"},
         R"({"name": "a", "notes": {"drops": "鳞"}})",
         BossNote{"", "鳞", "", "野外"}},
        {"notes cleared, group kept",
         {"cave", "", "", "野外"},
         R"({"name": "a", "notes": {}})",
         BossNote{"", "", "", "野外"}},
        {"group changed, notes kept",
         {"cave", "", "", "野外"},
         R"({"name": "a", "group": "世界"})",
         BossNote{"cave", "", "", "世界"}},
        {"notes cleared without a group: the entry goes",
         {"", "", "x", ""},
         R"({"name": "a", "notes": {}})",
         std::nullopt},
    };
    for (const Case& c : cases) {
        schedule::BossTable table;
        table.appendRows({makeRow("a", 60, 0)});
        BossNotes notes;
        if (!c.before.empty()) {
            notes["a"] = c.before;
        }
        const BossListMerge merge = planBossListMerge(table.rows(), notes, decoded(listOf(c.boss)));
        applyBossListMerge(table, notes, merge);
        const auto found = notes.find("a");
        EXPECT_EQ(found != notes.end(), c.after.has_value()) << c.what;
        if (found != notes.end() && c.after) {
            EXPECT_EQ(found->second, *c.after) << c.what;
        }
        // Exported again: the group travels beside the notes, not inside them.
        const BossList back = bossListOf(table.rows(), notes);
        ASSERT_EQ(back.bosses.size(), 1u) << c.what;
        EXPECT_EQ(back.bosses[0].group, c.after ? c.after->group : "") << c.what;
        if (back.bosses[0].notes) {
            EXPECT_TRUE(back.bosses[0].notes->group.empty()) << c.what;
        }
    }
}

TEST(BossList, FilesAreReadWithinTheLimitAndWrittenWhole) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("zorvane-bosslist-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const BossList list = decoded(listOf(R"({"name": "黑龙", "period": 60})"));
    text::Message error;
    ASSERT_TRUE(writeBossList(dir / "list.json", list, error));
    EXPECT_EQ(readBossList(dir / "list.json", error), list);

    struct Case {
        std::filesystem::path file;
        MessageId reason;
    };
    {
        std::ofstream big(dir / "big.json");
        big << std::string(kMaxBossListBytes + 10, ' ');
    }
    const Case cases[] = {
        {dir / "missing.json", MessageId::BossListCannotRead},
        {dir, MessageId::BossListCannotRead},
        {dir / "big.json", MessageId::BossListTooLarge},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(readBossList(c.file, error)) << c.file;
        EXPECT_EQ(error.id, c.reason) << c.file;
    }
    EXPECT_FALSE(writeBossList(dir / "no-such-dir" / "x.json", list, error));
    EXPECT_EQ(error.id, MessageId::BossListCannotWrite);
    std::filesystem::remove_all(dir);
}

TEST(BossList, TheShippedExampleImportsCleanly) {
    text::Message error;
    std::optional<BossList> list =
        readBossList(std::filesystem::path(ZORVANE_EXAMPLES_DIR) / "bosslist-example.json", error);
    ASSERT_TRUE(list) << text::defaultText(error);
    schedule::BossTable table;
    BossNotes notes;
    const BossListMerge merge = planBossListMerge(table.rows(), notes, *list);
    EXPECT_EQ(merge.report.added.size(), list->bosses.size());
    EXPECT_TRUE(merge.report.skipped.empty());
    EXPECT_EQ(applyBossListMerge(table, notes, merge).size(), list->bosses.size());
    EXPECT_EQ(table.rowCount(), static_cast<int>(list->bosses.size()) + 1);
    schedule::LineBoard board;
    const auto lines = mergedLines(table, merge);
    EXPECT_FALSE(lines.empty());
    for (const auto& [row, given] : lines) {
        EXPECT_TRUE(board.setLines(row, given));
    }
    // Exported again, the table gives the same bosses back.
    const BossListMerge again = planBossListMerge(table.rows(), notes, *list, &board);
    EXPECT_FALSE(again.report.changesAnything());
    EXPECT_EQ(again.report.unchanged.size(), list->bosses.size());
}
