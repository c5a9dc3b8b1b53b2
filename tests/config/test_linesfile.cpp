// lines.json: the lines, servers and timers of bosses with lines come back as they were
// kept; a malformed or hostile file is refused whole with the reason and left as it is.

#include "config/linesfile.h"
#include "schedule/bosstable.h"
#include "text/fileio.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

using namespace zorvane::config;
using namespace zorvane::schedule;

namespace {

std::filesystem::path freshDir(const char* name) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("zorvane-lines-" + std::to_string(::getpid()) + name);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

const StoredLines kTwoBosses = {
    {"黑龙",
     {{"一区", "二区"}, {"1", "2", "3线"}},
     {{{"一区", "1"}, 1'765'000'100, std::nullopt, 1'765'009'000},
      {{"二区", "3线"}, 1'765'000'000, 1'765'003'600, std::nullopt}}},
    {"Golem", {{}, {"A", "B"}}, {{{"", "B"}, 42, std::nullopt, std::nullopt}}},
    {"无击杀", {{}, {"1"}}, {}},
};

TEST(LinesFile, KeepsLinesServersAndTimersAsTheyWere) {
    std::string error;
    const std::optional<StoredLines> back = decodeLines(encodeLines(kTwoBosses), error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(*back, kTwoBosses);

    const std::filesystem::path dir = freshDir("roundtrip");
    std::optional<StoredLines> none = readLinesFile(dir, error);
    ASSERT_TRUE(none) << error;
    EXPECT_TRUE(none->empty());
    ASSERT_TRUE(writeLinesFile(dir, kTwoBosses, error)) << error;
    EXPECT_EQ(readLinesFile(dir, error), kTwoBosses);
    // A table back without lines leaves no file behind.
    ASSERT_TRUE(writeLinesFile(dir, {}, error)) << error;
    EXPECT_FALSE(std::filesystem::exists(dir / kLinesFileName));
    std::filesystem::remove_all(dir);
}

TEST(LinesFile, RefusesWhatIsNotSuchAFileWithTheReason) {
    const std::string head = R"({"format": "zorvane-lines", "version": 1, "bosses": )";
    const struct {
        std::string text;
        const char* reason;
    } cases[] = {
        {"", "not JSON"},
        {"[1]", "not a JSON object"},
        {R"({"format": "zorvane-lines", "version": 2, "bosses": []})", "not version 1"},
        {R"({"format": "zorvane-bosslist", "version": 1, "bosses": []})", "not version 1"},
        {head + "{}}", "\"bosses\""},
        {head + R"([{"lines": ["1"]}]})", "no name"},
        {head + R"([{"name": " x", "lines": ["1"]}]})", "blank-edged"},
        {head + R"([{"name": "x"}]})", "no lines"},
        {head + R"([{"name": "x", "lines": ["1", "1"]}]})", "repeated"},
        {head + R"([{"name": "x", "lines": [1]}]})", "repeated"},
        {head + R"([{"name": "x", "lines": ["1"]}, {"name": "x", "lines": ["2"]}]})",
         "given twice"},
        {head + R"([{"name": "x", "lines": ["1"], "timers": [{"line": "2", "kill": 5}]}]})",
         "does not have"},
        {head + R"([{"name": "x", "lines": ["1"], "timers": [{"server": "一区", "line": "1"}]}]})",
         "does not have"},
        {head + R"([{"name": "x", "servers": ["a"], "lines": ["1"], "timers": [{"line": "1"}]}]})",
         "does not have"},
        {head + R"([{"name": "x", "lines": ["1"], "timers": [{"line": "1", "kill": -5}]}]})",
         "not an instant"},
        {head + R"([{"name": "x", "lines": ["1"], "timers": [{"line": "1", "kill": "5"}]}]})",
         "not an instant"},
        {head + R"([{"name": "x", "lines": ["1"], "timers": [{"line": "1"}, {"line": "1"}]}]})",
         "not a list of at most one per line"},
        {head +
             R"([{"name": "x", "lines": ["1", "2"], "timers": [{"line": "1"}, {"line": "1"}]}]})",
         "two timers"},
        {head + R"([{"name": "x", "lines": ["1"], "timers": [[[[[[[1]]]]]]]}]})", "nested deeper"},
        {head + R"([{"name": "x\u0000", "lines": ["1"]}]})", "no name"},
        {head + R"([{"name": "x", "lines": ["1\n"]}]})", "repeated"},
        {std::string(kMaxLinesFileBytes + 1, ' '), "larger than"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(decodeLines(c.text, error)) << c.text.substr(0, 120);
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
}

TEST(LinesFile, AFileThatCannotBeReadNamesItselfAndStaysAsItIs) {
    const std::filesystem::path dir = freshDir("broken");
    const std::string broken = R"({"format": "zorvane-lines", "version": 1, "bosses": [)";
    std::ofstream(dir / kLinesFileName) << broken;
    std::string error;
    EXPECT_FALSE(readLinesFile(dir, error));
    EXPECT_NE(error.find(kLinesFileName), std::string::npos) << error;
    EXPECT_EQ(zorvane::text::readWholeFile(dir / kLinesFileName, &error), broken);
    std::filesystem::remove_all(dir);
}

TEST(LinesFile, RowsTakeTheirLinesByNameAndUnclaimedBossesAreKept) {
    BossTable table;
    for (const char* name : {"黑龙", "Golem", "黑龙", "Plain"}) {
        table.setCellText(table.appendRow(), kNameColumn, name);
    }
    const std::vector<BossRow> rows = table.rows();
    StoredLines stored = kTwoBosses;
    stored.push_back({"Gone", {{}, {"9"}}, {{{"", "9"}, 7, std::nullopt, std::nullopt}}});
    LineBoard board;
    const StoredLines unclaimed = applyStoredLines(rows, board, stored);
    // The first row of a name takes it; a row without lines gets none.
    EXPECT_TRUE(board.hasLines(rows[0].id));
    EXPECT_TRUE(board.hasLines(rows[1].id));
    EXPECT_FALSE(board.hasLines(rows[2].id));
    EXPECT_FALSE(board.hasLines(rows[3].id));
    ASSERT_EQ(unclaimed.size(), 2u);
    EXPECT_EQ(unclaimed[0].name, "无击杀");
    EXPECT_EQ(unclaimed[1].name, "Gone");
    LineId line = 0;
    ASSERT_EQ(board.findLine(rows[0].id, "二区", "3", line), LineLookup::Found);
    EXPECT_EQ(board.timer(rows[0].id, line)->state.upSince, 1'765'003'600);
    // Saving again loses nothing: the rows' lines, then the unclaimed bosses.
    StoredLines expected = {kTwoBosses[0], kTwoBosses[1], kTwoBosses[2], stored[3]};
    EXPECT_EQ(storedLinesOf(rows, board, unclaimed), expected);
    // A kill since shows in the next save.
    ASSERT_EQ(board.findLine(rows[1].id, "", "A", line), LineLookup::Found);
    board.kill(rows[1].id, line, 99);
    const StoredLines saved = storedLinesOf(rows, board);
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_EQ(saved[1].timers.front(), (StoredLine{{"", "A"}, 99, std::nullopt, std::nullopt}));
}

} // namespace
