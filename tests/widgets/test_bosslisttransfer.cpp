// Boss lists through the window's menu: an exported list, edited and imported again, shows
// its merge report first and lands in the table, config.ini and notes.json only once the
// player accepts; a refused or declined list changes nothing.

#include "config/bosslist.h"
#include "config/configfiles.h"
#include "periodic/globals.h"
#include "services/bossnotebook.h"
#include "services/configwriter.h"
#include "services/session.h"
#include "tests/support/fakeclock.h"
#include "tests/support/scriptedlistdialogs.h"
#include "tests/support/tempdir.h"
#include "widgets/bosslisttransfer.h"
#include "widgets/mainwindow.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <filesystem>
#include <fstream>
#include <memory>

using namespace zorvane;

namespace {

std::string readAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeAll(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

} // namespace

class BossListTransferTest : public QObject {
    Q_OBJECT

private:
    void openWindow() {
        m_globals = std::make_unique<periodic::AppGlobals>();
        m_session = std::make_unique<app::Session>(
            app::SessionSetup::window(*m_globals, m_clock, m_dir->path().string()));
        m_window = std::make_unique<app::MainWindow>(
            *m_session, app::WindowSetup{.bossListDialogs = &m_dialogs});
        m_globals->tickTimer().stop();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_window->addButton()->click();
        m_window->addButton()->click();
        schedule::BossTable& table = m_session->table();
        table.setCellText(1, schedule::kNameColumn, "黑龙");
        table.setCellText(1, schedule::kPeriodColumn, "120");
        table.setCellText(2, schedule::kNameColumn, "Golem");
        table.setCellText(2, schedule::kPeriodColumn, "60");
        m_session->writer().saveTable(table);
        m_session->writer().flush();
    }

    void trigger(const char* action) {
        auto* found =
            m_window->menuButton()->menu()->findChild<QAction*>(QString::fromLatin1(action));
        QVERIFY(found);
        found->trigger();
    }

    std::filesystem::path listFile() const { return m_dir->path() / "list.json"; }

    // config.ini and notes.json as they are on disk once every queued write is done.
    std::string stored() {
        m_session->writer().flush();
        m_session->notes().flush();
        return readAll(m_dir->path() / "config.ini") + "\n--\n" +
               readAll(m_dir->path() / "notes.json");
    }

private slots:
    void init() {
        m_dir = std::make_unique<testing::TempDir>();
        m_dialogs = testing::ScriptedListDialogs{};
        openWindow();
    }
    void cleanup() {
        m_window.reset();
        m_session.reset();
        m_globals.reset();
        m_dir.reset();
    }

    void anExportedListEditedAndImportedLandsAfterTheReport() {
        m_dialogs.file = QString::fromStdString(listFile().string());
        trigger("exportBossList");
        QCOMPARE(m_dialogs.told.size(), 1);
        QVERIFY2(m_dialogs.told.front().contains(QStringLiteral("2 个首领")),
                 qPrintable(m_dialogs.told.front()));
        text::Message error;
        std::optional<config::BossList> list = config::readBossList(listFile(), error);
        QVERIFY(list);
        QCOMPARE(list->bosses.size(), std::size_t(2));

        // The player edits the file: a longer period, a fixed time, a new boss with notes.
        list->bosses[0].periodMinutes = 180;
        list->bosses[1].rule = *schedule::parseSpawnRule("at 20:00");
        config::ListedBoss red;
        red.name = "红龙";
        red.periodMinutes = 45;
        red.notes = config::BossNote{"火山", "龙鳞", ""};
        list->bosses.push_back(red);
        QVERIFY(config::writeBossList(listFile(), *list, error));

        m_dialogs.told.clear();
        trigger("importBossList");
        QCOMPARE(m_dialogs.reports, 1);
        QVERIFY(m_dialogs.importEnabled);
        QVERIFY2(m_dialogs.summary.contains(QStringLiteral("新增 1 个，修改 2 个，未变 0 个")),
                 qPrintable(m_dialogs.summary));
        QVERIFY2(m_dialogs.details.contains(QStringLiteral("黑龙（周期）")),
                 qPrintable(m_dialogs.details));
        QVERIFY2(m_dialogs.details.contains(QStringLiteral("Golem（规则）")),
                 qPrintable(m_dialogs.details));
        QVERIFY(m_dialogs.told.isEmpty());

        schedule::BossTable& table = m_session->table();
        QCOMPARE(table.rowCount(), 4);
        QCOMPARE(table.cellText(1, schedule::kPeriodColumn), std::string("180"));
        QCOMPARE(table.timing(2)->spawn.kind, schedule::SpawnKind::FixedTimes);
        QCOMPARE(table.cellText(3, schedule::kNameColumn), std::string("红龙"));

        // What a restart reads back.
        stored();
        std::optional<config::StoredTable> back = config::readTable(m_dir->path());
        QVERIFY(back);
        QCOMPARE(back->rows.size(), std::size_t(3));
        QCOMPARE(back->rows[0].text[schedule::kPeriodColumn], std::string("180"));
        QCOMPARE(back->rows[1].timing.spawn, table.timing(2)->spawn);
        QCOMPARE(back->rows[2].text[schedule::kNameColumn], std::string("红龙"));
        std::string notesError;
        std::optional<config::BossNotes> notes = config::readBossNotes(m_dir->path(), notesError);
        QVERIFY(notes);
        QCOMPARE(notes->at("红龙").location, std::string("火山"));
    }

    void aRefusedOrDeclinedListChangesNothing() {
        const std::string valid =
            R"({"format": "zorvane-bosslist", "version": 1, "bosses": [{"name": "黑龙", "period": 5, "notes": {"text": "x"}}]})";
        struct Case {
            const char* what;
            std::string bytes;
            bool accept;
            const char* told; // part of what the player is told; nullptr: nothing
        };
        const Case cases[] = {
            {"not JSON", "{\"format\": ", true, "不是有效的 JSON"},
            {"another version", R"({"format": "zorvane-bosslist", "version": 9, "bosses": []})",
             true, "版本是 9"},
            {"a name twice",
             R"({"format": "zorvane-bosslist", "version": 1, "bosses": [{"name": "a"}, {"name": "a"}]})",
             true, "出现了不止一次"},
            {"a name config.ini cannot hold",
             R"({"format": "zorvane-bosslist", "version": 1, "bosses": [{"name": "a\r\n[BOSS事件]"}]})",
             true, "config.ini 存不下"},
            {"declined", valid, false, nullptr},
        };
        const std::string before = stored();
        for (const Case& c : cases) {
            writeAll(listFile(), c.bytes);
            m_dialogs.file = QString::fromStdString(listFile().string());
            m_dialogs.accept = c.accept;
            m_dialogs.told.clear();
            m_dialogs.reports = 0;
            trigger("importBossList");
            if (c.told) {
                QCOMPARE(m_dialogs.reports, 0);
                QCOMPARE(m_dialogs.told.size(), 1);
                QVERIFY2(m_dialogs.told.front().contains(QString::fromUtf8(c.told)),
                         qPrintable(m_dialogs.told.front()));
            } else {
                QCOMPARE(m_dialogs.reports, 1);
            }
            QCOMPARE(m_session->table().rowCount(), 3);
            QCOMPARE(m_session->table().cellText(1, schedule::kPeriodColumn), std::string("120"));
            QVERIFY2(stored() == before, c.what);
        }
    }

    void aListThatChangesNothingCannotBeApplied() {
        const std::string same =
            R"({"format": "zorvane-bosslist", "version": 1, "bosses": [{"name": "黑龙", "period": 120}]})";
        writeAll(listFile(), same);
        m_dialogs.file = QString::fromStdString(listFile().string());
        trigger("importBossList");
        QCOMPARE(m_dialogs.reports, 1);
        QVERIFY(!m_dialogs.importEnabled);
        QVERIFY2(m_dialogs.summary.contains(QStringLiteral("不会改动任何首领")),
                 qPrintable(m_dialogs.summary));
        QVERIFY2(m_dialogs.details.contains(QStringLiteral("未变 1 个")),
                 qPrintable(m_dialogs.details));
    }

private:
    const testing::FakeClock m_clock{schedule::DateTimeParts{2027, 1, 15, 21, 5, 9}};
    std::unique_ptr<testing::TempDir> m_dir;
    testing::ScriptedListDialogs m_dialogs;
    std::unique_ptr<periodic::AppGlobals> m_globals;
    std::unique_ptr<app::Session> m_session;
    std::unique_ptr<app::MainWindow> m_window;
};

QTEST_MAIN(BossListTransferTest)
#include "test_bosslisttransfer.moc"
