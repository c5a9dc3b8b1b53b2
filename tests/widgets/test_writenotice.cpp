#include "config/configfiles.h"
#include "config/inifile.h"
#include "periodic/globals.h"
#include "schedule/bosstable.h"
#include "services/configwriter.h"
#include "services/session.h"
#include "tests/support/fakeclock.h"
#include "tests/support/filelimit.h"
#include "text/codec.h"
#include "widgets/mainwindow.h"
#include "widgets/soundchooser.h"
#include "widgets/spawnruledialog.h"
#include "widgets/writenotice.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <memory>
#include <optional>

#include <sys/stat.h>

using namespace zorvane;
namespace fs = std::filesystem;

namespace {

const QString kTableFile = QStringLiteral("config.ini");
const QString kSoundFile = QStringLiteral("confing.ini");

QByteArray bytesOf(const QString& file) {
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<no file>");
}

void writeFile(const QString& file, const QByteArray& bytes) {
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

void setReadOnly(const QString& file, bool readOnly) {
    QCOMPARE(::chmod(QFile::encodeName(file).constData(), readOnly ? 0444 : 0644), 0);
}

} // namespace

class WriteNoticeTest : public QObject {
    Q_OBJECT

private:
    QString path(const QString& name) const { return m_dir->filePath(name); }
    app::WriteNotice* notice() const { return m_window->writeNotice(); }

    void openWindow(const QString& programDir) {
        m_globals = std::make_unique<periodic::AppGlobals>();
        m_session = std::make_unique<app::Session>(
            app::SessionSetup::window(*m_globals, m_clock, programDir.toStdString()));
        m_window = std::make_unique<app::MainWindow>(*m_session);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        settle();
    }

    // Waits for the window's writes and the notice they leave.
    void settle() const { m_session->writer().flush(); }

    // A click on row 1's use box: the table is saved at once.
    void clickUseBox() {
        QTableView* grid = m_window->findChild<QTableView*>(QStringLiteral("高级表格1"));
        const QPoint centre =
            grid->visualRect(grid->model()->index(0, schedule::kUseColumn)).center();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, centre);
        settle();
    }

    std::string stored(const char* section, const char* key) const {
        settle();
        return config::readIniValue(path(kTableFile).toStdString(), section, key);
    }

private slots:
    void initTestCase() {
        QVERIFY(m_sdlDir.isValid());
        // The tick may sound the alarm: keep it off the machine's speakers.
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", m_sdlDir.filePath(QStringLiteral("speaker.raw")).toUtf8());
    }

    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void cleanup() {
        m_window.reset();
        m_session.reset();
        m_globals.reset();
        m_dir.reset();
    }

    void theNoticeIsHiddenAndLiesInFreeSpace() {
        openWindow(m_dir->path());
        QVERIFY(!notice()->isVisible());
        QVERIFY(m_window->rect().contains(notice()->geometry()));
        const auto children = m_window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        QVERIFY(children.size() > 10);
        for (const QWidget* child : children) {
            // The room's state line shares the place and steps aside while the notice shows.
            if (child != notice() && child->objectName() != QStringLiteral("房间状态")) {
                QVERIFY2(!child->geometry().intersects(notice()->geometry()),
                         qPrintable(child->objectName()));
            }
        }
    }

    // A sound that did not play is not told as a failed write; a later write of the same
    // file takes either back.
    void eachFailureIsWordedForWhatFailed_data() {
        QTest::addColumn<QStringList>("steps"); // "write FILE", "sound FILE", "ok FILE"
        QTest::addColumn<QString>("shown");     // empty: hidden
        QTest::addColumn<bool>("retryNote");
        const QString write = QStringLiteral("未能写入：");
        const QString sound = QStringLiteral("声音故障：");
        QTest::newRow("a failed write") << QStringList{"write a"} << write + "reason a" << true;
        QTest::newRow("a silent alarm") << QStringList{"sound a"} << sound + "reason a" << false;
        QTest::newRow("a sound after a write")
            << QStringList{"write a", "sound b"} << sound + "reason b" << true;
        QTest::newRow("the same file, now a sound")
            << QStringList{"write a", "sound a"} << sound + "reason a" << false;
        QTest::newRow("written again") << QStringList{"sound a", "ok a"} << QString() << false;
    }

    void eachFailureIsWordedForWhatFailed() {
        QFETCH(QStringList, steps);
        QFETCH(QString, shown);
        QFETCH(bool, retryNote);
        openWindow(m_dir->path());
        for (const QString& step : steps) {
            const QStringList parts = step.split(u' ');
            const std::string file = m_dir->filePath(parts[1]).toStdString();
            const text::Message reason = text::Message::literal("reason " + parts[1].toStdString());
            if (parts[0] == "write") {
                notice()->writeFailed(file, reason);
            } else if (parts[0] == "sound") {
                notice()->soundFailed(file, reason);
            } else {
                notice()->writeSucceeded(file);
            }
        }
        QTRY_COMPARE(notice()->isVisible(), !shown.isEmpty());
        if (!shown.isEmpty()) {
            QCOMPARE(notice()->text(), shown);
            QCOMPARE(notice()->toolTip().contains(QStringLiteral("下次写入时会再试")), retryNote);
        }
    }

    void aFailedTableSaveIsShownUntilTheFileIsWrittenAgain_data() {
        QTest::addColumn<bool>("fullDisk");
        QTest::addColumn<QString>("reason");
        QTest::newRow("read-only file") << false << QStringLiteral("the file is read-only");
        QTest::newRow("no room left") << true << QStringLiteral("File too large");
    }

    void aFailedTableSaveIsShownUntilTheFileIsWrittenAgain() {
        QFETCH(bool, fullDisk);
        QFETCH(QString, reason);
        openWindow(m_dir->path());
        QTest::mouseClick(m_window->addButton(), Qt::LeftButton);
        settle();
        const QByteArray before = bytesOf(path(kTableFile));

        {
            std::optional<testing::FileSizeLimit> limit;
            if (fullDisk) {
                limit.emplace(before.size() + 8);
                QVERIFY(limit->active());
            } else {
                setReadOnly(path(kTableFile), true);
            }
            clickUseBox();
            QVERIFY(m_session->table().checkState(1));
            QVERIFY(notice()->isVisible());
            const QString expected = path(kTableFile) + QStringLiteral(": ") + reason;
            QVERIFY2(notice()->text().endsWith(QStringLiteral("config.ini: ") + reason),
                     qPrintable(notice()->text()));
            QVERIFY2(notice()->toolTip().contains(expected), qPrintable(notice()->toolTip()));
            // More failing saves of the same file keep the one notice as it is.
            const QString shown = notice()->text();
            m_window->warnMinutesEdit()->setText(QStringLiteral("7"));
            settle();
            QCOMPARE(notice()->text(), shown);
            QCOMPARE(bytesOf(path(kTableFile)), before);
            if (!fullDisk) {
                setReadOnly(path(kTableFile), false);
            }
        }

        // The next save writes the table and the warning minutes kept in the window.
        clickUseBox();
        QVERIFY(!notice()->isVisible());
        QCOMPARE(stored("使用", "1"), std::string("假"));
        QCOMPARE(stored("set", "预警"), std::string("7"));
    }

    // A --kill handed over by a second start answers with the failure when the window
    // could not save it, and with success once it could.
    void aHandedOverKillThatCannotBeSavedIsReportedAsFailed() {
        openWindow(m_dir->path());
        QTest::mouseClick(m_window->addButton(), Qt::LeftButton);
        m_session->table().setCellText(1, schedule::kNameColumn, "龙");
        m_session->table().setCellText(1, schedule::kPeriodColumn, "30");
        clickUseBox();
        app::CommandLine kill;
        kill.action = app::CommandLine::Action::Kill;
        kill.killName = QStringLiteral("龙");
        // Earlier than any time the row has, so the kill changes it.
        kill.minutesAgo = 5;
        {
            testing::FileSizeLimit limit(bytesOf(path(kTableFile)).size() / 2);
            QVERIFY(limit.active());
            const app::CommandResult result = m_window->runHandedOverCommand(kill);
            QCOMPARE(result.exitCode, app::kExitFailed);
            QVERIFY2(result.text.contains(QStringLiteral("was not saved")) &&
                         result.text.contains(QStringLiteral("config.ini: File too large")),
                     qPrintable(result.text));
            QVERIFY(notice()->isVisible());
        }
        kill.minutesAgo = 3;
        const app::CommandResult result = m_window->runHandedOverCommand(kill);
        QCOMPARE(result.exitCode, app::kExitDone);
        QVERIFY2(result.text.startsWith(QStringLiteral("Recorded a kill")),
                 qPrintable(result.text));
        QVERIFY(!notice()->isVisible());
        QCOMPARE(stored("LastKillUtc", "1"), std::string("2026-12-08T20:57:00Z"));
    }

    void aSoundChoiceThatCannotBeStoredIsShown() {
        writeFile(path(kSoundFile), "[m]\r\nm=\r\n");
        setReadOnly(path(kSoundFile), true);
        openWindow(m_dir->path());
        m_window->soundChooser()->setFileDialog(
            [](QWidget*, const QString&, const QString&, const QString&) {
                return QStringLiteral("/sounds/bell.wav");
            });
        m_window->soundChooser()->onSoundLabelPressed(0, 0, {});
        settle();
        QCOMPARE(m_window->soundPathEdit()->text(), QStringLiteral("/sounds/bell.wav"));
        QVERIFY(notice()->isVisible());
        QVERIFY2(notice()->text().endsWith(QStringLiteral("confing.ini: the file is read-only")),
                 qPrintable(notice()->text()));

        // Stored with the next save, which takes the notice away.
        setReadOnly(path(kSoundFile), false);
        m_window->warnMinutesEdit()->setText(QStringLiteral("6"));
        settle();
        QVERIFY(!notice()->isVisible());
        QCOMPARE(config::readSoundPath(m_dir->path().toStdString()),
                 std::string("/sounds/bell.wav"));
    }

    void theBuiltInSoundThatCannotBeWrittenIsShownFromTheTick() {
        // Row 1 is due at 21:05:00; at 21:00:00 its five-minute warning sounds.
        const QString table =
            QStringLiteral("[set]\r\n预警=5\r\n[序号]\r\n1=1\r\n[使用]\r\n1=真\r\n"
                           "[BOSS事件]\r\n1=龙\r\n[周期]\r\n1=30\r\n[延迟]\r\n"
                           "1=0\r\n[上次时间]\r\n1=20:35:00\r\n[下次时间]\r\n"
                           "1=21:05:00\r\n");
        writeFile(path(kTableFile),
                  QByteArray::fromStdString(text::utf8ToGb18030(table.toStdString())));
        // A damaged copy of the sound that the user made read-only.
        writeFile(path(QStringLiteral("1.wav")), "short");
        setReadOnly(path(QStringLiteral("1.wav")), true);
        openWindow(m_dir->path());
        QTRY_VERIFY_WITH_TIMEOUT(notice()->isVisible(), 5000);
        QVERIFY2(notice()->text().endsWith(QStringLiteral("1.wav: the file is read-only")),
                 qPrintable(notice()->text()));
        QCOMPARE(bytesOf(path(QStringLiteral("1.wav"))), QByteArray("short"));
    }

    void aProgramDirectoryWithoutRoomForFilesIsToldAtStart() {
        writeFile(path(QStringLiteral("plain")), "x");
        const QString programDir = path(QStringLiteral("plain/zorvane"));
        openWindow(programDir);
        QVERIFY(notice()->isVisible());
        QVERIFY2(notice()->toolTip().contains(programDir + QStringLiteral(": Not a directory")),
                 qPrintable(notice()->toolTip()));
        QVERIFY2(notice()->toolTip().contains(programDir + QStringLiteral("/config.ini: ")),
                 qPrintable(notice()->toolTip()));
    }

    // A stored rule or zone this program cannot read is kept, and the player is told which
    // rows count on the default rule meanwhile, until a rule is chosen for each.
    void anUnreadableStoredRuleIsToldUntilARuleIsChosen() {
        const QByteArray table =
            text::utf8ToGb18030("[set]\r\n预警=5\r\n[序号]\r\n1=1\r\n2=2\r\n3=3\r\n"
                                "[BOSS事件]\r\n1=火龙\r\n2=冰龙\r\n3=土龙\r\n"
                                "[周期]\r\n1=60\r\n2=60\r\n3=60\r\n"
                                "[SpawnRule]\r\n1=at 25:00\r\n2=after\r\n3=after\r\n"
                                "[ServerZone]\r\n1=\r\n2=Asia/Shanghai\r\n3=Mars/Olympus\r\n")
                .c_str();
        writeFile(path(kTableFile), table);
        openWindow(m_dir->path());
        QVERIFY(notice()->isVisible());
        const QString told =
            QStringLiteral("config.ini 第 1、3 行（火龙、土龙）存的刷新规则或时区无法读取，"
                           "暂按击杀后计时；请用“刷新规则…”重新选择");
        QVERIFY2(notice()->toolTip().startsWith(told), qPrintable(notice()->toolTip()));
        // Not a failed write.
        QVERIFY(!notice()->text().startsWith(QStringLiteral("未能写入")));
        // The table's ordinary writes leave it shown, and the stored texts stay.
        clickUseBox();
        QVERIFY(notice()->isVisible());
        QCOMPARE(stored("SpawnRule", "1"), std::string("at 25:00"));
        QCOMPARE(stored("ServerZone", "3"), std::string("Mars/Olympus"));

        for (const int row : {1, 3}) {
            app::SpawnRuleDialog* dialog = m_window->openSpawnRule(m_session->table().rowId(row));
            QVERIFY(dialog);
            dialog->zoneBox()->setEditText(QStringLiteral("UTC"));
            dialog->accept();
            settle();
            QCOMPARE(notice()->isVisible(), row == 1);
        }
        QCOMPARE(stored("SpawnRule", "1"), std::string("after"));
    }

private:
    QTemporaryDir m_sdlDir;
    const testing::FakeClock m_clock{schedule::DateTimeParts{2026, 12, 8, 21, 0, 0}};
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<periodic::AppGlobals> m_globals;
    std::unique_ptr<app::Session> m_session;
    std::unique_ptr<app::MainWindow> m_window;
};

QTEST_MAIN(WriteNoticeTest)
#include "test_writenotice.moc"
