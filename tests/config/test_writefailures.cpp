#include "config/configfiles.h"

#include "config/inifile.h"
#include "schedule/bosstable.h"
#include "schedule/services.h"
#include "tests/support/tempdir.h"
#include "text/codec.h"
#include "text/fileio.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>

using namespace zorvane::config;
using namespace zorvane::schedule;
using zorvane::testing::readBytes;
using zorvane::testing::TempDir;
using zorvane::testing::writeBytes;
using zorvane::text::utf8FromPath;
using zorvane::text::utf8ToGb18030;

namespace fs = std::filesystem;

namespace {

// Every outcome in order: "ok <file>" or "failed <file>: <reason>".
class RecordingStatus final : public WriteStatusSink {
public:
    void writeFailed(const std::string& file, const std::string& reason) override {
        events.push_back("failed " + file + " | " + reason);
    }
    void writeSucceeded(const std::string& file) override { events.push_back("ok " + file); }
    std::vector<std::string> events;
};

void addRow(BossTable& table, const std::string& name) {
    const int row = table.appendRow();
    table.setCellText(row, kNumberColumn, std::to_string(row));
    table.setCellText(row, kNameColumn, name);
    table.setCellText(row, kPeriodColumn, "30");
}

void setReadOnly(const fs::path& file, bool readOnly) {
    ASSERT_EQ(::chmod(file.c_str(), readOnly ? 0444 : 0644), 0);
}

} // namespace

TEST(WriteFailures, AWindowsTableFileLoadsAndSavesByteIdentical) {
    TempDir dir;
    // As the Windows program writes it: code page 936, where the euro sign is the single
    // byte 0x80, and a name the user typed in quotes stored with them.
    const std::string bytes =
        utf8ToGb18030("[set]\r\n预警=5\r\n[序号]\r\n1=1\r\n2=2\r\n[使用]\r\n1=真\r\n"
                      "2=假\r\n[BOSS事件]\r\n1=") +
        "\x80\x35" +
        utf8ToGb18030("\r\n2=\"龙\"\r\n[周期]\r\n1=30\r\n2=60\r\n[延迟]\r\n"
                      "1=0\r\n2=\r\n[上次时间]\r\n1=21:00:00\r\n2=\r\n"
                      "[下次时间]\r\n1=21:30:00\r\n2=\r\n");
    writeBytes(tableFilePath(dir.path()), bytes);
    BossTable table;
    loadTable(table, dir.path());
    ASSERT_EQ(table.rowCount(), 3);
    EXPECT_EQ(table.cellText(1, kNameColumn), "€5");
    std::string error;
    ASSERT_TRUE(saveTable(table, dir.path(), &error)) << error;
    // Every byte the Windows program wrote stays; only the section of dated last times,
    // which that program ignores, is added at the end.
    const std::string saved = readBytes(tableFilePath(dir.path()));
    EXPECT_EQ(saved.substr(0, bytes.size()), bytes);
    EXPECT_EQ(saved.substr(bytes.size()).rfind("[LastKillUtc]\r\n", 0), 0u) << saved;
}

TEST(WriteFailures, AFailedWriteIsReportedAndMadeAgainWithTheNextWrite) {
    TempDir dir;
    const fs::path tableFile = tableFilePath(dir.path());
    const fs::path soundFile = soundFilePath(dir.path());
    RecordingStatus status;
    ConfigTableStore store(dir.path(), &status);
    BossTable table;
    ASSERT_TRUE(store.writeWarnMinutes("5"));
    EXPECT_EQ(status.events, std::vector<std::string>{"ok " + utf8FromPath(tableFile)});

    // config.ini made read-only: neither the table nor the warning minutes reach it.
    setReadOnly(tableFile, true);
    const std::string before = readBytes(tableFile);
    const std::string refused = utf8FromPath(tableFile) + ": the file is read-only";
    addRow(table, "first");
    status.events.clear();
    store.saveTable(table);
    std::string error;
    EXPECT_FALSE(store.writeWarnMinutes("7", &error));
    EXPECT_EQ(error, refused);
    EXPECT_EQ(status.events,
              (std::vector<std::string>{"failed " + utf8FromPath(tableFile) + " | " + refused,
                                        "failed " + utf8FromPath(tableFile) + " | " + refused}));
    EXPECT_EQ(readBytes(tableFile), before);

    // The next write through the store, even of the other file, carries both.
    setReadOnly(tableFile, false);
    status.events.clear();
    ASSERT_TRUE(store.writeSoundPath("/sounds/bell.wav"));
    EXPECT_EQ(status.events, (std::vector<std::string>{"ok " + utf8FromPath(tableFile),
                                                       "ok " + utf8FromPath(soundFile)}));
    EXPECT_EQ(readWarnMinutes(dir.path()), "7");
    EXPECT_EQ(readIniValue(tableFile, "BOSS事件", "1"), "first");
    EXPECT_EQ(readSoundPath(dir.path()), "/sounds/bell.wav");

    // A sound path that could not be stored is stored with the next save of the table.
    setReadOnly(soundFile, true);
    EXPECT_FALSE(store.writeSoundPath("", &error));
    EXPECT_EQ(error, utf8FromPath(soundFile) + ": the file is read-only");
    setReadOnly(soundFile, false);
    status.events.clear();
    store.saveTable(table);
    EXPECT_EQ(status.events, (std::vector<std::string>{"ok " + utf8FromPath(tableFile),
                                                       "ok " + utf8FromPath(soundFile)}));
    EXPECT_EQ(readSoundPath(dir.path()), "");
    // Nothing left to retry: the next write touches its own file only.
    status.events.clear();
    ASSERT_TRUE(store.writeWarnMinutes("8"));
    EXPECT_EQ(status.events, std::vector<std::string>{"ok " + utf8FromPath(tableFile)});
}

TEST(WriteFailures, AFailedRewriteAfterADeletionIsStillARewriteWhenRetried) {
    TempDir dir;
    const fs::path tableFile = tableFilePath(dir.path());
    RecordingStatus status;
    ConfigTableStore store(dir.path(), &status);
    BossTable table;
    for (const char* name : {"a", "b", "c"}) {
        addRow(table, name);
    }
    store.saveTable(table);
    ASSERT_EQ(readSectionKeys(tableFile, "序号"), (std::vector<std::string>{"1", "2", "3"}));

    setReadOnly(tableFile, true);
    table.deleteRow(2);
    store.rewriteTable(table);
    ASSERT_EQ(status.events.back().rfind("failed ", 0), 0u);
    setReadOnly(tableFile, false);
    // A plain save follows; the deleted row's keys must still go.
    store.saveTable(table);
    EXPECT_EQ(status.events.back(), "ok " + utf8FromPath(tableFile));
    EXPECT_EQ(readSectionKeys(tableFile, "序号"), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(readIniValue(tableFile, "BOSS事件", "2"), "c");
}
