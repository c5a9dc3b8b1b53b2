#include "services/configwriter.h"

#include "config/configfiles.h"
#include "config/inifile.h"
#include "schedule/bosstable.h"
#include "tests/support/filelimit.h"
#include "tests/support/tempdir.h"

#include <QTest>
#include <QThread>

#include <memory>
#include <string>
#include <vector>

namespace app = zorvane::app;
namespace config = zorvane::config;
namespace schedule = zorvane::schedule;
using zorvane::testing::FileSizeLimit;
using zorvane::testing::TempDir;

namespace {

// Every outcome in order, and whether each came on the thread that made the writer.
class RecordingStatus final : public schedule::WriteStatusSink {
public:
    void writeFailed(const std::string& file, const std::string& reason) override {
        note("failed " + file + " | " + reason);
    }
    void writeSucceeded(const std::string& file) override { note("ok " + file); }

    std::vector<std::string> events;
    bool allOnWindowThread = true;

private:
    void note(std::string event) {
        allOnWindowThread = allOnWindowThread && QThread::currentThread() == m_windowThread;
        events.push_back(std::move(event));
    }
    QThread* m_windowThread = QThread::currentThread();
};

void addRow(schedule::BossTable& table, const std::string& name) {
    const int row = table.appendRow();
    table.setCellText(row, schedule::kNumberColumn, std::to_string(row));
    table.setCellText(row, schedule::kNameColumn, name);
    table.setCellText(row, schedule::kPeriodColumn, "30");
}

std::vector<std::string> storedNames(const TempDir& dir) {
    schedule::BossTable stored;
    config::loadTable(stored, dir.path());
    std::vector<std::string> names;
    for (const schedule::BossRow& row : stored.rows()) {
        names.push_back(row.text[schedule::kNameColumn]);
    }
    return names;
}

} // namespace

class ConfigWriterTest : public QObject {
    Q_OBJECT
private slots:
    // A burst of saves ends with the newest table on disk, whatever the writer merged,
    // and every outcome reaches the sink on the window thread.
    void theNewestOfManySavesIsStored() {
        TempDir dir;
        RecordingStatus status;
        schedule::BossTable table;
        addRow(table, "Dragon");
        app::ConfigWriter writer(dir.path(), &status);
        for (int i = 0; i < 200; ++i) {
            table.setCellText(1, schedule::kNameColumn, "Dragon " + std::to_string(i));
            writer.saveTable(table);
            if (i % 50 == 0) {
                writer.writeWarnMinutes(std::to_string(i));
            }
        }
        const app::ConfigWriter::FileProblems problems = writer.flush();
        QVERIFY(problems.tableFile.empty());
        QCOMPARE(storedNames(dir), std::vector<std::string>{"Dragon 199"});
        QCOMPARE(config::readWarnMinutes(dir.path()), std::string("150"));
        QVERIFY(!status.events.empty());
        QVERIFY(status.allOnWindowThread);
        for (const std::string& event : status.events) {
            QCOMPARE(event.rfind("ok ", 0), std::size_t{0});
        }
    }

    // What is written is the table as it was when the save was asked for.
    void aSaveStoresTheTableAsItWasWhenAsked() {
        TempDir dir;
        schedule::BossTable table;
        addRow(table, "Dragon");
        app::ConfigWriter writer(dir.path());
        writer.saveTable(table);
        table.setCellText(1, schedule::kNameColumn, "Not saved");
        writer.flush();
        QCOMPARE(storedNames(dir), std::vector<std::string>{"Dragon"});
    }

    // A rewrite after a deletion stays a rewrite when a save follows before it is written:
    // the deleted row's keys leave the file.
    void aRewriteMergedWithALaterSaveDropsDeletedRows() {
        TempDir dir;
        schedule::BossTable table;
        addRow(table, "A");
        addRow(table, "B");
        addRow(table, "C");
        app::ConfigWriter writer(dir.path());
        writer.saveTable(table);
        writer.flush();
        QVERIFY(table.deleteRow(3));
        writer.rewriteTable(table);
        writer.saveTable(table);
        writer.flush();
        QCOMPARE(config::readSectionKeys(config::tableFilePath(dir.path()), "序号"),
                 (std::vector<std::string>{"1", "2"}));
        QCOMPARE(storedNames(dir), (std::vector<std::string>{"A", "B"}));
    }

    // A write that fails is told, kept, and made with the next write once writing works.
    void aFailedWriteIsToldKeptAndMadeWithTheNext() {
        TempDir dir;
        RecordingStatus status;
        schedule::BossTable table;
        addRow(table, "Dragon");
        app::ConfigWriter writer(dir.path(), &status);
        writer.writeWarnMinutes("5");
        writer.flush();
        {
            FileSizeLimit limit(16);
            QVERIFY(limit.active());
            writer.saveTable(table);
            const app::ConfigWriter::FileProblems problems = writer.flush();
            QVERIFY2(problems.tableFile.find("File too large") != std::string::npos,
                     problems.tableFile.c_str());
            QVERIFY(problems.soundFile.empty());
        }
        QVERIFY(!status.events.empty());
        QCOMPARE(status.events.back().rfind("failed ", 0), std::size_t{0});
        QVERIFY(storedNames(dir).empty());

        writer.writeSoundPath("/sounds/bell.wav");
        QVERIFY(writer.flush().tableFile.empty());
        QCOMPARE(storedNames(dir), std::vector<std::string>{"Dragon"});
        QCOMPARE(config::readSoundPath(dir.path()), std::string("/sounds/bell.wav"));
        QVERIFY(status.allOnWindowThread);
        QCOMPARE(status.events.back().rfind("ok ", 0), std::size_t{0});
    }

    // Nothing asked for is lost when the writer goes (the program quits).
    void pendingWritesAreMadeBeforeTheWriterGoes() {
        TempDir dir;
        schedule::BossTable table;
        addRow(table, "Dragon");
        {
            app::ConfigWriter writer(dir.path());
            for (int i = 0; i < 20; ++i) {
                table.setCellText(1, schedule::kLastTimeColumn, "10:00:" + std::to_string(10 + i));
                writer.saveTable(table);
            }
        }
        schedule::BossTable stored;
        config::loadTable(stored, dir.path());
        QCOMPARE(stored.cellText(1, schedule::kLastTimeColumn), std::string("10:00:29"));
    }
};

QTEST_MAIN(ConfigWriterTest)
#include "test_configwriter.moc"
