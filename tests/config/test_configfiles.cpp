#include "config/configfiles.h"

#include "config/inifile.h"
#include "config/sessionfile.h"
#include "schedule/tableops.h"
#include "tests/support/fakeclock.h"
#include "tests/support/tempdir.h"
#include "text/codec.h"
#include "text/textops.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <sys/stat.h>

using namespace zorvane::config;
using namespace zorvane::schedule;
using zorvane::testing::FakeClock;
using zorvane::testing::readBytes;
using zorvane::testing::TempDir;
using zorvane::testing::writeBytes;
using zorvane::text::gb18030ToUtf8;
using zorvane::text::utf8ToGb18030;

namespace {

void fillRow(BossTable& table, int row, bool use, const std::string& name,
             const std::string& period, const std::string& delay, const std::string& last,
             const std::string& next) {
    table.setCheckState(row, use);
    table.setCellText(row, kNumberColumn, std::to_string(row));
    table.setCellText(row, kNameColumn, name);
    table.setCellText(row, kPeriodColumn, period);
    table.setCellText(row, kDelayColumn, delay);
    table.setCellText(row, kLastTimeColumn, last);
    table.setCellText(row, kNextTimeColumn, next);
}

// The file as UTF-8 text, for readable comparisons.
std::string fileText(const std::filesystem::path& dir) {
    return gb18030ToUtf8(readBytes(tableFilePath(dir)));
}

} // namespace

TEST(ConfigFiles, StartWithNoFiles) {
    TempDir dir;
    BossTable table;
    std::string warnMinutes = "stale";
    loadTable(table, dir.path(), &warnMinutes);
    EXPECT_EQ(table.rowCount(), 1);
    EXPECT_EQ(warnMinutes, "");
    EXPECT_EQ(readSoundPath(dir.path()), "");
    EXPECT_FALSE(std::filesystem::exists(soundFilePath(dir.path())));
    EXPECT_EQ(readWarnMinutes(dir.path()), "");
    ASSERT_TRUE(writeWarnMinutes(dir.path(), kDefaultWarnMinutes));
    EXPECT_EQ(readBytes(tableFilePath(dir.path())), utf8ToGb18030("[set]\r\n预警=5\r\n"));
    // A stored value is kept as it is.
    ASSERT_TRUE(onWarnMinutesChanged(dir.path(), "15"));
    EXPECT_EQ(readWarnMinutes(dir.path()), "15");
}

TEST(ConfigFiles, GbkFileWithGappedKeysLoadsInKeyOrder) {
    TempDir dir;
    writeBytes(tableFilePath(dir.path()),
               utf8ToGb18030("[set]\r\n预警=3\r\n"
                             "[序号]\r\n1=1\r\n3=3\r\n7=7\r\n"
                             "[使用]\r\n1=真\r\n3=假\r\n7=真\r\n"
                             "[BOSS事件]\r\n1=火龙\r\n3=冰后\r\n7=\r\n"
                             "[周期]\r\n1=30\r\n3=45\r\n7=60\r\n"
                             "[延迟]\r\n1=\r\n3=5\r\n7=0\r\n"
                             "[上次时间]\r\n1=10:00:00\r\n3=11:00:00\r\n7=12:00:00\r\n"
                             "[下次时间]\r\n1=10:30:00\r\n3=11:45:00\r\n7=13:00:00\r\n"));
    // The bytes really are GBK: "序号" is D0 F2 BA C5.
    ASSERT_NE(readBytes(tableFilePath(dir.path())).find("[\xD0\xF2\xBA\xC5]"), std::string::npos);
    BossTable table;
    std::string warnMinutes;
    loadTable(table, dir.path(), &warnMinutes);
    EXPECT_EQ(warnMinutes, "3");
    ASSERT_EQ(table.rowCount(), 4);
    EXPECT_EQ(table.cellText(1, kNumberColumn), "1");
    EXPECT_EQ(table.cellText(2, kNumberColumn), "3");
    EXPECT_EQ(table.cellText(3, kNumberColumn), "7");
    EXPECT_TRUE(table.checkState(1));
    EXPECT_FALSE(table.checkState(2));
    EXPECT_TRUE(table.checkState(3));
    EXPECT_EQ(table.cellText(2, kNameColumn), "冰后");
    EXPECT_EQ(table.cellText(2, kPeriodColumn), "45");
    EXPECT_EQ(table.cellText(2, kDelayColumn), "5");
    EXPECT_EQ(table.cellText(3, kLastTimeColumn), "12:00:00");
    EXPECT_EQ(table.cellText(3, kNextTimeColumn), "13:00:00");
    EXPECT_EQ(table.cellText(3, kCountdownColumn), "");
    EXPECT_EQ(readSectionKeys(tableFilePath(dir.path()), "序号"),
              (std::vector<std::string>{"1", "3", "7"}));
    EXPECT_EQ(readWarnMinutes(dir.path()), "3");
}

// The window reads the file on another thread and adds the rows itself: what it gets
// tells a file that cannot be read from a table without rows.
TEST(ConfigFiles, ReadTableTellsAnUnreadableFileFromATableWithoutRows) {
    struct Case {
        const char* name;
        const char* content; // nullptr: no file; "/": a directory in its place; "|": a pipe
        bool read;
        std::size_t rows;
        const char* warnMinutes;
        const char* reason; // why it cannot be read
    };
    const Case cases[] = {
        {"no file", nullptr, true, 0, "", ""},
        {"a directory in its place", "/", false, 0, "", "config.ini: Is a directory"},
        {"a pipe in its place", "|", false, 0, "", "config.ini: not a regular file"},
        {"warning minutes only", "[set]\r\n预警=7\r\n", true, 0, "7", ""},
        {"two rows", "[序号]\r\n1=1\r\n2=2\r\n[BOSS事件]\r\n1=火龙\r\n2=冰后\r\n", true, 2, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        if (c.content && std::string_view(c.content) == "/") {
            std::filesystem::create_directory(tableFilePath(dir.path()));
        } else if (c.content && std::string_view(c.content) == "|") {
            ASSERT_EQ(::mkfifo(tableFilePath(dir.path()).c_str(), 0600), 0);
        } else if (c.content) {
            writeBytes(tableFilePath(dir.path()), utf8ToGb18030(c.content));
        }
        std::string error;
        const std::optional<StoredTable> stored = readTable(dir.path(), &error);
        ASSERT_EQ(stored.has_value(), c.read);
        if (stored) {
            EXPECT_EQ(stored->rows.size(), c.rows);
            EXPECT_EQ(stored->warnMinutes, c.warnMinutes);
        } else {
            EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        }
        BossTable table;
        std::string loadError;
        EXPECT_EQ(loadTable(table, dir.path(), nullptr, &loadError), c.read);
        EXPECT_EQ(loadError, error);

        // Reading adds nothing to any table and writes nothing.
        EXPECT_EQ(std::filesystem::exists(soundFilePath(dir.path())), false);
        // The other files beside it are read without waiting either.
        for (const char* name : {"confing.ini", "session.ini"}) {
            ASSERT_EQ(::mkfifo((dir.path() / name).c_str(), 0600), 0);
        }
        EXPECT_EQ(readSoundPath(dir.path()), "");
        EXPECT_EQ(readLastSeen(dir.path()), std::nullopt);
    }
}

// Loading reads every cell as a single read of its section and key would, whether the
// sections list their keys in the same order or not.
TEST(ConfigFiles, LoadEqualsSingleReadsOfEveryCell) {
    const std::string aligned =
        "[序号]\r\n1=1\r\n2=2\r\n[使用]\r\n1=真\r\n2=假\r\n"
        "[BOSS事件]\r\n1=\"龙王\"\r\n2='蛇'\r\n[下次时间]\r\n1=10:00:00\r\n";
    const std::vector<std::string> files = {
        aligned,
        // Another order, a key missing, a key in another case, blank and stray lines.
        "[序号]\r\nA=1\r\nb=2\r\nc=3\r\n[周期]\r\nc=30\r\na=10\r\n\r\nB=20\r\n"
        "[延迟]\r\na=1\r\nstray\r\nb=2\r\nc=3\r\n[上次时间]\r\n a = 09:00:00 \r\n",
        // A duplicate key in a column: the first one counts.
        "[序号]\r\n1=1\r\n2=2\r\n3=3\r\n[BOSS事件]\r\n1=a\r\n2=b\r\n2=c\r\n3=d\r\n"
        "[周期]\r\n1=5\r\n1=6\r\n2=7\r\n3=8\r\n",
        // Duplicate row keys: one row, reading the first value of that key.
        "[序号]\r\n1=1\r\n2=2\r\n1=9\r\n[BOSS事件]\r\n1=a\r\n2=b\r\n1=c\r\n",
        // A row key without "=", and a section that repeats further down.
        "[序号]\r\n1=1\r\nlone\r\n2=2\r\n[BOSS事件]\r\n1=a\r\nlone=x\r\n2=b\r\n"
        "[BOSS事件]\r\n1=z\r\n",
    };
    const std::pair<std::string, int> columns[] = {
        {"序号", kNumberColumn}, {"BOSS事件", kNameColumn},     {"周期", kPeriodColumn},
        {"延迟", kDelayColumn},  {"上次时间", kLastTimeColumn}, {"下次时间", kNextTimeColumn}};
    for (std::size_t f = 0; f < files.size(); ++f) {
        TempDir dir;
        writeBytes(tableFilePath(dir.path()), utf8ToGb18030(files[f]));
        BossTable table;
        loadTable(table, dir.path());
        // A row key listed twice is one row.
        std::vector<std::string> keys;
        for (const std::string& key : readSectionKeys(tableFilePath(dir.path()), "序号")) {
            if (std::none_of(keys.begin(), keys.end(), [&](const std::string& seen) {
                    return zorvane::text::equalsIgnoringAsciiCase(seen, key);
                })) {
                keys.push_back(key);
            }
        }
        ASSERT_EQ(table.rowCount(), static_cast<int>(keys.size()) + 1) << "file " << f;
        for (std::size_t i = 0; i < keys.size(); ++i) {
            const int row = static_cast<int>(i) + 1;
            for (const auto& [section, column] : columns) {
                EXPECT_EQ(table.cellText(row, column),
                          readIniValue(tableFilePath(dir.path()), section, keys[i]))
                    << "file " << f << ", key " << keys[i] << ", section " << section;
            }
            EXPECT_EQ(table.checkState(row),
                      textToFlag(readIniValue(tableFilePath(dir.path()), "使用", keys[i])))
                << "file " << f << ", key " << keys[i];
        }
    }
}

// A key of "序号" that saving would not write (listed twice, gapped, stray, without "=")
// stayed beside the keys a save writes and came back as one more row at every load: 3
// rows became 7 after four kills recorded from the command line. Each load reads the
// rows the file holds, and the first save writes them under the keys saving writes.
TEST(ConfigFiles, OddRowKeysAddNoRowAtLoadAndSave) {
    struct Case {
        const char* name;
        const char* file;
        std::vector<const char*> names; // the rows, in order
    };
    // clang-format off
    const Case cases[] = {
        {"a key listed twice",
         "[序号]\r\n1=1\r\n2=2\r\n3=3\r\n2=2\r\n[BOSS事件]\r\n1=甲\r\n2=乙\r\n3=丙\r\n",
         {"甲", "乙", "丙"}},
        {"a key in two cases",
         "[序号]\r\nA=1\r\na=2\r\n[BOSS事件]\r\na=甲\r\n", {"甲"}},
        {"a stray key",
         "[序号]\r\n1=1\r\n2=2\r\nx=x\r\n[BOSS事件]\r\n1=甲\r\n2=乙\r\nx=丙\r\n",
         {"甲", "乙", "丙"}},
        {"a line without \"=\"",
         "[序号]\r\n1=1\r\nlone\r\n2=2\r\n[BOSS事件]\r\n1=甲\r\nlone=乙\r\n2=丙\r\n",
         {"甲", "乙", "丙"}},
        {"gapped keys",
         "[序号]\r\n1=1\r\n3=3\r\n7=7\r\n[BOSS事件]\r\n1=甲\r\n3=乙\r\n7=丙\r\n",
         {"甲", "乙", "丙"}},
        {"keys as saved", "[序号]\r\n1=1\r\n2=2\r\n[BOSS事件]\r\n1=甲\r\n2=乙\r\n",
         {"甲", "乙"}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        writeBytes(tableFilePath(dir.path()),
                   utf8ToGb18030(std::string("[set]\r\n预警=5\r\n") + c.file));
        // Four kills recorded on the files, each a load and a save.
        for (int run = 0; run < 4; ++run) {
            BossTable table;
            loadTable(table, dir.path());
            std::vector<std::string> names;
            for (int row = 1; row < table.rowCount(); ++row) {
                names.push_back(table.cellText(row, kNameColumn));
            }
            ASSERT_EQ(names, std::vector<std::string>(c.names.begin(), c.names.end()))
                << "run " << run;
            ConfigTableStore store(dir.path());
            ASSERT_TRUE(recordKill(table, table.rowId(1), 1'800'000'000 + run,
                                   KillSource::CommandLine, store));
        }
        EXPECT_EQ(readWarnMinutes(dir.path()), "5");
        std::vector<std::string> keys;
        for (std::size_t i = 1; i <= c.names.size(); ++i) {
            keys.push_back(std::to_string(i));
        }
        EXPECT_EQ(readSectionKeys(tableFilePath(dir.path()), "序号"), keys);
    }
}

TEST(ConfigFiles, SaveEqualsTheSequenceOfSingleWrites) {
    TempDir batch;
    TempDir single;
    BossTable table;
    for (int i = 0; i < 3; ++i) {
        table.appendRow();
    }
    fillRow(table, 1, true, "火龙", "30", "", "10:00:00", "10:30:00");
    fillRow(table, 2, false, "名=字", "45", "5", "11:00:00", "11:45:00");
    fillRow(table, 3, true, "", "", "", "", "");
    // Both start from a file with the warning minutes and a leftover fourth row.
    for (const TempDir* d : {&batch, &single}) {
        const auto file = tableFilePath(d->path());
        ASSERT_TRUE(writeIniValue(file, "set", "预警", "5"));
        ASSERT_TRUE(writeIniValue(file, "上次时间", "4", "09:00:00"));
    }
    ASSERT_TRUE(saveTable(table, batch.path()));
    const auto file = tableFilePath(single.path());
    const char* const sections[] = {"序号",     "使用",     "BOSS事件",    "周期",          "延迟",
                                    "上次时间", "下次时间", "LastKillUtc", "LastKillOffset"};
    for (int row = 1; row < table.rowCount(); ++row) {
        const std::string key = std::to_string(row);
        const std::string values[] = {
            key, table.checkState(row) ? "真" : "假", table.cellText(row, kNameColumn),
            table.cellText(row, kPeriodColumn), table.cellText(row, kDelayColumn),
            table.cellText(row, kLastTimeColumn), table.cellText(row, kNextTimeColumn),
            // No row here knows the instant of its last time, nor its offset.
            "", ""};
        for (int s = 0; s < 9; ++s) {
            ASSERT_TRUE(writeIniValue(file, sections[s], key, values[s]));
        }
    }
    EXPECT_EQ(readBytes(tableFilePath(batch.path())), readBytes(file));
    EXPECT_TRUE(fileText(batch.path())
                    .starts_with("[set]\r\n预警=5\r\n[上次时间]\r\n4=09:00:00\r\n1=10:00:00\r\n"));

    BossTable reloaded;
    loadTable(reloaded, batch.path());
    ASSERT_EQ(reloaded.rowCount(), 4);
    EXPECT_EQ(reloaded.cellText(2, kNameColumn), "名=字");
    EXPECT_TRUE(reloaded.checkState(3));
    EXPECT_EQ(reloaded.cellText(3, kPeriodColumn), "");
}

TEST(ConfigFiles, TableOperationsThroughTheStore) {
    TempDir dir;
    ASSERT_TRUE(writeWarnMinutes(dir.path(), kDefaultWarnMinutes));
    ConfigTableStore store(dir.path());
    BossTable table;
    setupColumns(table);
    const FakeClock clock(23, 50, 0);
    for (int i = 0; i < 3; ++i) {
        onAddClicked(table, clock);
        table.setCellText(i + 1, kNameColumn, "boss" + std::to_string(i + 1));
    }
    // Adding saves nothing: a restart now finds no rows.
    {
        BossTable restarted;
        loadTable(restarted, dir.path());
        EXPECT_EQ(restarted.rowCount(), 1);
    }

    table.setCheckState(2, true);
    onGridMouseUp(table, 2, kUseColumn, store);
    EXPECT_EQ(readIniValue(tableFilePath(dir.path()), "使用", "2"), "真");
    table.setCheckState(2, false);
    onGridMouseUp(table, 2, kUseColumn, store);
    EXPECT_EQ(readIniValue(tableFilePath(dir.path()), "使用", "2"), "假");

    table.setCellText(3, kPeriodColumn, "45");
    ASSERT_TRUE(onGridDoubleClick(table, 3, kLastTimeColumn, FakeClock(8, 0, 0), store));
    EXPECT_EQ(readIniValue(tableFilePath(dir.path()), "下次时间", "3"), "08:45:00");

    ASSERT_TRUE(onDeleteClicked(table, 2, store));
    EXPECT_EQ(readSectionKeys(tableFilePath(dir.path()), "序号"),
              (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(readSectionKeys(tableFilePath(dir.path()), "下次时间"),
              (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(readIniValue(tableFilePath(dir.path()), "BOSS事件", "2"), "boss3");
    // The warning minutes stay first in the file.
    EXPECT_TRUE(fileText(dir.path()).starts_with("[set]\r\n预警=5\r\n[序号]\r\n1=1\r\n2=2\r\n["));

    BossTable restarted;
    loadTable(restarted, dir.path());
    ASSERT_EQ(restarted.rowCount(), 3);
    EXPECT_EQ(restarted.cellText(2, kNameColumn), "boss3");
    EXPECT_EQ(restarted.cellText(2, kLastTimeColumn), "08:00:00");

    ASSERT_TRUE(onDeleteClicked(table, 1, store));
    ASSERT_TRUE(onDeleteClicked(table, 1, store));
    EXPECT_EQ(fileText(dir.path()), "[set]\r\n预警=5\r\n");
    EXPECT_EQ(readWarnMinutes(dir.path()), "5");
}

TEST(ConfigFiles, FlagsSoundPathAndBuffers) {
    EXPECT_TRUE(textToFlag("真"));
    EXPECT_FALSE(textToFlag("假"));
    EXPECT_FALSE(textToFlag(""));
    EXPECT_FALSE(textToFlag(" 真"));
    EXPECT_EQ(zeroedBytes(4), std::string(4, '\0'));
    EXPECT_TRUE(zeroedBytes(0).empty());

    TempDir dir;
    ASSERT_TRUE(writeSoundPath(dir.path(), "/home/玩家/铃声.wav"));
    EXPECT_EQ(readSoundPath(dir.path()), "/home/玩家/铃声.wav");
    EXPECT_EQ(readBytes(soundFilePath(dir.path())),
              utf8ToGb18030("[m]\r\nm=/home/玩家/铃声.wav\r\n"));
    // A cancelled choice stores an empty path.
    ASSERT_TRUE(writeSoundPath(dir.path(), ""));
    EXPECT_EQ(readBytes(soundFilePath(dir.path())), "[m]\r\nm=\r\n");
}
