#include "cli/commandline.h"
#include "cli/tablecommands.h"
#include "config/configfiles.h"
#include "config/linesfile.h"
#include "history/killhistory.h"
#include "schedule/linetimers.h"
#include "schedule/spawnrule.h"
#include "services/desktopid.h"
#include "services/preferences.h"
#include "services/programdir.h"
#include "share/roomclient.h"
#include "tests/share/localbroker.h"
#include "tests/support/fakeclock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <condition_variable>
#include <mutex>

using zorvane::app::CommandLine;
using Action = CommandLine::Action;
namespace schedule = zorvane::schedule;

namespace {

struct TestRow {
    const char* name;
    const char* period;
    const char* last;
    const char* next;
    bool use;
};

// Writes config.ini in `dir` with the rows, as the window would have saved them.
void writeTable(const QString& dir, const std::vector<TestRow>& rows) {
    schedule::BossTable table;
    for (const TestRow& r : rows) {
        const int row = table.appendRow();
        table.setCheckState(row, r.use);
        table.setCellText(row, schedule::kNumberColumn, std::to_string(row));
        table.setCellText(row, schedule::kNameColumn, r.name);
        table.setCellText(row, schedule::kPeriodColumn, r.period);
        table.setCellText(row, schedule::kLastTimeColumn, r.last);
        table.setCellText(row, schedule::kNextTimeColumn, r.next);
    }
    QVERIFY(zorvane::config::saveTable(table, dir.toStdString()));
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A member of the room that notes the kills it receives.
class KillWatcher final : public zorvane::share::RoomListener {
public:
    void roomStateChanged(zorvane::share::RoomState, const zorvane::text::Message&) override {}
    void remoteKill(const zorvane::share::KillEvent& event, bool) override {
        {
            const std::lock_guard lock(m_mutex);
            m_kills.push_back(event);
        }
        m_wake.notify_all();
    }
    void messageDropped(zorvane::share::DropReason, const std::string&) override {}
    void clockSkew(const zorvane::share::MemberSkew&) override {}

    std::vector<zorvane::share::KillEvent> waitForKills(int timeoutMs) {
        std::unique_lock lock(m_mutex);
        m_wake.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                        [this] { return !m_kills.empty(); });
        return m_kills;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<zorvane::share::KillEvent> m_kills;
};

} // namespace

class CommandLineTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QCoreApplication::setApplicationName(QStringLiteral("Zorvane"));
        QCoreApplication::setApplicationVersion(QStringLiteral("1.2.3"));
        QStandardPaths::setTestModeEnabled(true);
    }

    void commandsAndWhatIsLeftToTheWindow_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<Action>("action");
        QTest::addColumn<QString>("importDir");
        QTest::addColumn<QString>("textPart");
        QTest::addColumn<QString>("killName");
        QTest::addColumn<int>("minutesAgo");
        QTest::addColumn<QString>("restartTime");
        const auto row = [](const char* name, QStringList args, Action action, QString dir = {},
                            QString text = {}, QString killName = {}, int minutes = 0,
                            QString restart = {}) {
            args.prepend(QStringLiteral("zorvane"));
            QTest::newRow(name) << args << action << dir << text << killName << minutes << restart;
        };
        row("no arguments", {}, Action::OpenWindow);
        row("toolkit options stay the window's", {"-platform", "offscreen", "-style", "fusion"},
            Action::OpenWindow);
        row("toolkit options with their values joined", {"--platform=xcb", "-reverse"},
            Action::OpenWindow);
        // Anything else not understood is refused before a window or a display is needed.
        row("an unknown option", {"--bogus"}, Action::Error, {}, "bogus");
        row("a mistyped command", {"--lsit"}, Action::Error, {}, "lsit");
        row("a stray argument", {"whatever"}, Action::Error, {}, "'whatever'");
        row("an unknown option beside toolkit options", {"-platform", "offscreen", "--bogus"},
            Action::Error, {}, "bogus");
        row("import", {"--import", "/old/Zorvane"}, Action::Import, "/old/Zorvane");
        row("import with equals and a blank", {"--import=/old/my Zorvane"}, Action::Import,
            "/old/my Zorvane");
        row("import with a single dash", {"-import", "dir"}, Action::Import, "dir");
        row("import without a folder", {"--import"}, Action::Error, {}, "--import");
        row("two folders", {"--import", "a", "--import", "b"}, Action::Error, {}, "one folder");
        row("a stray argument after a command", {"--import", "a", "b"}, Action::Error, {}, "'b'");
        row("toolkit options with a command", {"--import", "a", "-platform", "offscreen"},
            Action::Error, {}, "platform");
        row("help", {"--help"}, Action::ShowHelp, {}, "--import <DIR>");
        row("short help", {"-h"}, Action::ShowHelp, {}, "--version");
        row("all help", {"--help-all"}, Action::ShowHelp, {}, "--import <DIR>");
        row("version", {"--version"}, Action::ShowVersion, {}, "Zorvane 1.2.3");
        row("help names the exit codes", {"--help"}, Action::ShowHelp, {}, "2 command line");
        row("list", {"--list"}, Action::List);
        row("kill now", {"--kill", " Dragon "}, Action::Kill, {}, {}, "Dragon");
        row("kill minutes ago", {"--kill=龙王", "15"}, Action::Kill, {}, {}, "龙王", 15);
        row("kill zero minutes ago", {"--kill", "a b", "0"}, Action::Kill, {}, {}, "a b");
        row("kill at the longest bound", {"--kill", "a", "144000"}, Action::Kill, {}, {}, "a",
            144000);
        row("kill past the bound", {"--kill", "a", "144001"}, Action::Error, {}, "'144001'");
        row("negative minutes", {"--kill", "a", "-5"}, Action::Error, {}, "'5'");
        row("minutes with a sign", {"--kill", "a", "+5"}, Action::Error, {}, "'+5'");
        row("minutes not a number", {"--kill", "a", "5m"}, Action::Error, {}, "'5m'");
        row("huge minutes", {"--kill", "a", "99999999999999"}, Action::Error, {}, "0 to 144000");
        row("two minutes", {"--kill", "a", "1", "2"}, Action::Error, {}, "'2'");
        row("blank name", {"--kill", "  "}, Action::Error, {}, "name of a boss");
        row("two names", {"--kill", "a", "--kill", "b"}, Action::Error, {}, "one name");
        row("minutes without kill", {"--list", "5"}, Action::Error, {}, "'5'");
        row("two commands", {"--list", "--kill", "a"}, Action::Error, {}, "one of");
        row("say next", {"--say-next"}, Action::SayNext);
        row("say next takes no argument", {"--say-next", "3"}, Action::Error, {}, "'3'");
        row("say next and kill", {"--say-next", "--kill", "a"}, Action::Error, {}, "--say-next");
        row("restart now", {"--restart"}, Action::Restart);
        row("restart at a time", {"--restart", "06:00"}, Action::Restart, {}, {}, {}, 0, "06:00");
        row("restart at two times", {"--restart", "06:00", "07:00"}, Action::Error, {}, "'07:00'");
        row("restart and list", {"--restart", "--list"}, Action::Error, {}, "--restart");
        row("kill with toolkit options", {"--kill", "a", "-platform", "x"}, Action::Error, {},
            "platform");
    }

    void commandsAndWhatIsLeftToTheWindow() {
        QFETCH(QStringList, arguments);
        QFETCH(Action, action);
        QFETCH(QString, importDir);
        QFETCH(QString, textPart);
        QFETCH(QString, killName);
        QFETCH(int, minutesAgo);
        QFETCH(QString, restartTime);
        const CommandLine parsed = zorvane::app::parseCommandLine(arguments);
        QCOMPARE(parsed.restartTime, restartTime);
        QCOMPARE(parsed.action, action);
        QCOMPARE(parsed.importDir, importDir);
        QVERIFY2(parsed.text.contains(textPart), qPrintable(parsed.text));
        QCOMPARE(parsed.killName, killName);
        QCOMPARE(parsed.minutesAgo, minutesAgo);
        // What a second start hands over reads back as the same command.
        const CommandLine again = zorvane::app::parseCommandLine(
            QStringList{"zorvane"} + zorvane::app::commandArguments(parsed));
        QCOMPARE(again.killName, parsed.killName);
        QCOMPARE(again.minutesAgo, parsed.minutesAgo);
        QCOMPARE(again.killLine, parsed.killLine);
        QCOMPARE(again.killServer, parsed.killServer);
        QCOMPARE(again.restartTime, parsed.restartTime);
    }

    // --restart on the files: rows whose rule says so start again from the time given.
    void restartOnTheFiles() {
        QTemporaryDir dir;
        writeTable(dir.path(), {{"Dragon", "60", "07:00:00", "08:00:00", true},
                                {"Egg", "60", "07:00:00", "08:00:00", true}});
        {
            schedule::BossTable table;
            zorvane::config::loadTable(table, dir.path().toStdString());
            table.setSpawnRule(table.rowId(1), *schedule::parseSpawnRule("after restart kill"));
            QVERIFY(zorvane::config::saveTable(table, dir.path().toStdString()));
        }
        const zorvane::testing::FakeClock clock(10, 0, 0);
        const QStringList rejected = {"25:00", "soon"};
        for (const QString& time : rejected) {
            CommandLine restart;
            restart.action = Action::Restart;
            restart.restartTime = time;
            const zorvane::app::CommandResult result =
                zorvane::app::runOnFiles(restart, dir.path().toStdString(), clock);
            QCOMPARE(result.exitCode, 2);
            QVERIFY(result.text.contains(time));
        }
        CommandLine restart;
        restart.action = Action::Restart;
        restart.restartTime = QStringLiteral("09:00");
        const zorvane::app::CommandResult result =
            zorvane::app::runOnFiles(restart, dir.path().toStdString(), clock);
        QCOMPARE(result.exitCode, 0);
        QVERIFY2(result.text.contains(QStringLiteral("Dragon")), qPrintable(result.text));
        QVERIFY(!result.text.contains(QStringLiteral("Egg")));
        schedule::BossTable table;
        zorvane::config::loadTable(table, dir.path().toStdString());
        QCOMPARE(table.cellText(1, schedule::kLastTimeColumn), std::string("09:00:00"));
        QCOMPARE(table.cellText(1, schedule::kNextTimeColumn), std::string("10:00:00"));
        QCOMPARE(table.cellText(2, schedule::kLastTimeColumn), std::string("07:00:00"));
    }

    void aKillOnALineIsReadWithItsServer_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<Action>("action");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("server");
        QTest::addColumn<int>("minutesAgo");
        QTest::addColumn<QString>("textPart");
        const auto row = [](const char* name, QStringList args, Action action, QString line,
                            QString server, int minutes, QString text = {}) {
            args.prepend(QStringLiteral("zorvane"));
            QTest::newRow(name) << args << action << line << server << minutes << text;
        };
        row("line and server", {"--kill", "黑龙", "--line", " 3 ", "--server", "二区", "5"},
            Action::Kill, "3", "二区", 5);
        row("line alone", {"--kill", "黑龙", "--line=3线"}, Action::Kill, "3线", {}, 0);
        row("line without kill", {"--list", "--line", "3"}, Action::Error, {}, {}, 0,
            "go with --kill");
        row("server without line", {"--kill", "黑龙", "--server", "二区"}, Action::Error, {}, {}, 0,
            "goes with --line");
        row("blank line", {"--kill", "黑龙", "--line", " "}, Action::Error, {}, {}, 0,
            "line's name");
        row("two lines", {"--kill", "黑龙", "--line", "1", "--line", "2"}, Action::Error, {}, {}, 0,
            "one value");
    }

    void aKillOnALineIsReadWithItsServer() {
        QFETCH(QStringList, arguments);
        QFETCH(Action, action);
        QFETCH(QString, line);
        QFETCH(QString, server);
        QFETCH(int, minutesAgo);
        QFETCH(QString, textPart);
        const CommandLine parsed = zorvane::app::parseCommandLine(arguments);
        QCOMPARE(parsed.action, action);
        QVERIFY2(parsed.text.contains(textPart), qPrintable(parsed.text));
        QCOMPARE(parsed.killLine, line);
        QCOMPARE(parsed.killServer, server);
        QCOMPARE(parsed.minutesAgo, minutesAgo);
        const CommandLine again = zorvane::app::parseCommandLine(
            QStringList{"zorvane"} + zorvane::app::commandArguments(parsed));
        QCOMPARE(again.killLine, line);
        QCOMPARE(again.killServer, server);
    }

    // --kill --line on the files: the line's timer in lines.json, or a refusal saying why with
    // nothing written.
    void killOnALineOnTheFiles_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("server");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("textPart");
        QTest::newRow("line on a server") << "黑龙"
                                          << "3"
                                          << "二区" << 0 << "'黑龙 3线 @ 二区'";
        QTest::newRow("line as labelled") << "单服"
                                          << "2线"
                                          << "" << 0 << "'单服 2线'";
        QTest::newRow("server needed") << "黑龙"
                                       << "3"
                                       << "" << 1 << "give one with --server";
        QTest::newRow("line needed") << "黑龙"
                                     << ""
                                     << "" << 1 << "lines 1-3; give the line";
        QTest::newRow("unknown line") << "黑龙"
                                      << "9"
                                      << "一区" << 1 << "no line '9'";
        QTest::newRow("unknown server") << "黑龙"
                                        << "1"
                                        << "三区" << 1 << "no server '三区'";
        QTest::newRow("no named server") << "单服"
                                         << "1"
                                         << "x" << 1 << "no named server";
        QTest::newRow("a boss without lines") << "Plain"
                                              << "1"
                                              << "" << 1 << "has no lines";
        QTest::newRow("unknown boss") << "Nobody"
                                      << "1"
                                      << "" << 1 << "No boss named";
    }

    void killOnALineOnTheFiles() {
        QFETCH(QString, name);
        QFETCH(QString, line);
        QFETCH(QString, server);
        QFETCH(int, exitCode);
        QFETCH(QString, textPart);
        QTemporaryDir dir;
        writeTable(dir.path(), {{"黑龙", "60", "", "", true},
                                {"单服", "30", "", "", true},
                                {"Plain", "30", "09:50:00", "10:20:00", true}});
        const std::filesystem::path path = dir.path().toStdString();
        std::string error;
        QVERIFY(zorvane::config::writeLinesFile(
            path,
            {{"黑龙", {{"一区", "二区"}, {"1", "2", "3"}}, {}}, {"单服", {{}, {"1", "2线"}}, {}}},
            error));
        const QString linesFile = dir.filePath(QStringLiteral("lines.json"));
        const QByteArray before = fileBytes(linesFile);
        const QByteArray iniBefore = fileBytes(dir.filePath(QStringLiteral("config.ini")));
        const zorvane::testing::FakeClock clock(10, 0, 0);

        CommandLine kill;
        kill.action = Action::Kill;
        kill.killName = name;
        kill.killLine = line;
        kill.killServer = server;
        kill.minutesAgo = 5;
        const zorvane::app::CommandResult result = zorvane::app::runOnFiles(kill, path, clock);
        QCOMPARE(result.exitCode, exitCode);
        QVERIFY2(result.text.contains(textPart), qPrintable(result.text));
        QCOMPARE(fileBytes(dir.filePath(QStringLiteral("config.ini"))), iniBefore);
        zorvane::history::SqliteKillLog history(path / "history.sqlite");
        if (exitCode != 0) {
            QCOMPARE(fileBytes(linesFile), before);
            QCOMPARE(history.recordCount(name.toStdString()), 0);
            return;
        }
        const schedule::UtcSeconds killed = schedule::toUtc(clock.now()) - 300;
        const std::optional<zorvane::config::StoredLines> stored =
            zorvane::config::readLinesFile(path, error);
        QVERIFY2(stored, error.c_str());
        bool found = false;
        for (const zorvane::config::StoredBoss& boss : *stored) {
            for (const zorvane::config::StoredLine& timer : boss.timers) {
                QCOMPARE(QString::fromStdString(boss.name), name);
                QCOMPARE(QString::fromStdString(timer.key.server), server);
                QCOMPARE(timer.lastKill, std::optional(killed));
                found = true;
            }
        }
        QVERIFY(found);
        const auto records = history.allKills(name.toStdString());
        QCOMPARE(records.size(), std::size_t{1});
        QCOMPARE(records.front().utcSeconds, killed);

        // The listing names the line and server and counts the lines never killed.
        CommandLine list;
        list.action = Action::List;
        const QString listing = zorvane::app::runOnFiles(list, path, clock).text;
        const QString title =
            server.isEmpty() ? QStringLiteral("  2线 ") : QStringLiteral("  3线 @ 二区 ");
        QVERIFY2(listing.contains(title + QStringLiteral(" ")) || listing.contains(title),
                 qPrintable(listing));
        QVERIFY2(listing.contains(server.isEmpty() ? QStringLiteral("00:25:00")
                                                   : QStringLiteral("00:55:00")),
                 qPrintable(listing));
        QVERIFY2(listing.contains(server.isEmpty() ? QStringLiteral("(1 lines never killed)")
                                                   : QStringLiteral("(5 lines never killed)")),
                 qPrintable(listing));
    }

    // With no instance running, --kill and --list work on config.ini and the history.
    void killAndListOnTheFiles_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("minutesAgo");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("textPart");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("last");
        QTest::addColumn<QString>("next");
        QTest::newRow("now") << "Dragon" << 0 << 0 << "at 10:00:00" << 1 << "10:00:00"
                             << "10:30:00";
        QTest::newRow("minutes ago, name trimmed in the table")
            << "Hydra" << 15 << 0 << "(row 2)" << 2 << "09:45:00"
            << "10:45:00";
        QTest::newRow("name trimmed on the command line")
            << " 龙王 " << 0 << 0 << "'龙王'" << 5 << "10:00:00"
            << "10:30:00";
        QTest::newRow("a hundred days ago")
            << "Dragon" << 144000 << 0 << "next time 10:30:00" << 1 << "10:00:00"
            << "10:30:00";
        QTest::newRow("unknown") << "Nobody" << 0 << 1 << "No boss named 'Nobody'" << 0 << ""
                                 << "";
        QTest::newRow("names are exact") << "dragon" << 0 << 1 << "No boss named" << 0 << ""
                                         << "";
        QTest::newRow("ambiguous") << "Twin" << 0 << 1 << "Rows 3, 4" << 0 << ""
                                   << "";
    }

    void killAndListOnTheFiles() {
        QFETCH(QString, name);
        QFETCH(int, minutesAgo);
        QFETCH(int, exitCode);
        QFETCH(QString, textPart);
        QFETCH(int, row);
        QFETCH(QString, last);
        QFETCH(QString, next);
        QTemporaryDir dir;
        writeTable(dir.path(), {{"Dragon", "30", "09:50:00", "10:20:00", true},
                                {" Hydra ", "60", "09:30:00", "10:30:00", false},
                                {"Twin", "30", "09:00:00", "09:30:00", true},
                                {"Twin", "45", "09:00:00", "09:45:00", true},
                                {"龙王", "30", "", "", false}});
        const QString ini = dir.filePath(QStringLiteral("config.ini"));
        const QByteArray before = fileBytes(ini);
        const zorvane::testing::FakeClock clock(10, 0, 0);
        const std::filesystem::path path = dir.path().toStdString();

        CommandLine kill;
        kill.action = Action::Kill;
        kill.killName = name;
        kill.minutesAgo = minutesAgo;
        const zorvane::app::CommandResult result = zorvane::app::runOnFiles(kill, path, clock);
        QCOMPARE(result.exitCode, exitCode);
        QVERIFY2(result.text.contains(textPart), qPrintable(result.text));

        schedule::BossTable table;
        zorvane::config::loadTable(table, path);
        zorvane::history::SqliteKillLog history(path / "history.sqlite");
        if (row == 0) {
            QCOMPARE(fileBytes(ini), before);
            QCOMPARE(history.recordCount(name.trimmed().toStdString()), 0);
            return;
        }
        const std::optional<schedule::BossRow> killed = table.row(table.rowId(row));
        QVERIFY(killed);
        QCOMPARE(QString::fromStdString(killed->text[schedule::kLastTimeColumn]), last);
        QCOMPARE(QString::fromStdString(killed->text[schedule::kNextTimeColumn]), next);
        const auto records = history.allKills(name.trimmed().toStdString());
        QCOMPARE(records.size(), std::size_t{1});
        QCOMPARE(records.front().source, schedule::KillSource::CommandLine);
        QCOMPARE(records.front().utcSeconds, killed->timing.lastUtc.value_or(0));
        QCOMPARE(records.front().utcSeconds, schedule::toUtc(clock.now()) - 60LL * minutesAgo);
    }

    // A config.ini that cannot be read is not an empty table: every command says why and
    // fails, and nothing is written.
    void aTableThatCannotBeReadIsNotAnEmptyOne_data() {
        QTest::addColumn<int>("action");
        QTest::newRow("--list") << int(Action::List);
        QTest::newRow("--kill") << int(Action::Kill);
        QTest::newRow("--restart") << int(Action::Restart);
    }

    void aTableThatCannotBeReadIsNotAnEmptyOne() {
        QFETCH(int, action);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("config.ini")));
        const zorvane::testing::FakeClock clock(10, 0, 0);
        CommandLine command;
        command.action = static_cast<Action>(action);
        command.killName = QStringLiteral("Dragon");
        command.restartTime = QStringLiteral("09:00");
        const zorvane::app::CommandResult result =
            zorvane::app::runOnFiles(command, dir.path().toStdString(), clock);
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.text.startsWith(QStringLiteral("The table cannot be read: ")) &&
                     result.text.contains(QStringLiteral("config.ini")),
                 qPrintable(result.text));
        QVERIFY(QFileInfo(dir.filePath(QStringLiteral("config.ini"))).isDir());
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("history.sqlite"))));
    }

    // With no instance running, a kill of a shared boss still reaches the room.
    void aKillOnTheFilesIsPublishedToTheRoom_data() {
        QTest::addColumn<bool>("checked");
        QTest::addColumn<QStringList>("shared");
        QTest::addColumn<QStringList>("unshared");
        QTest::addColumn<bool>("brokerUp");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("textPart");
        QTest::addColumn<bool>("published");
        QTest::newRow("checked row") << true << QStringList() << QStringList() << true << 0
                                     << "Shared with room 'guild'" << true;
        QTest::newRow("shared in the preferences")
            << false << QStringList{"Dragon"} << QStringList() << true << 0 << "Shared with"
            << true;
        QTest::newRow("unshared in the preferences")
            << true << QStringList() << QStringList{"Dragon"} << true << 0 << "Recorded a kill"
            << false;
        QTest::newRow("no broker")
            << true << QStringList() << QStringList() << false << 1
            << "The kill is recorded but was not shared with the room: " << false;
    }

    void aKillOnTheFilesIsPublishedToTheRoom() {
        QFETCH(bool, checked);
        QFETCH(QStringList, shared);
        QFETCH(QStringList, unshared);
        QFETCH(bool, brokerUp);
        QFETCH(int, exitCode);
        QFETCH(QString, textPart);
        QFETCH(bool, published);
        zorvane::testing::LocalBroker broker;
        QVERIFY2(broker.start(), broker.error().c_str());
        if (!brokerUp) {
            broker.stop();
        }
        QTemporaryDir dir;
        writeTable(dir.path(), {{"Dragon", "30", "09:50:00", "10:20:00", checked}});
        {
            zorvane::app::Preferences preferences(
                dir.filePath(zorvane::app::Preferences::fileName()));
            QVERIFY(preferences.roomLink.set(
                QStringLiteral("mqtt://127.0.0.1:%1/guild").arg(broker.port())));
            QVERIFY(preferences.roomNickname.set(QStringLiteral("cli")));
            QVERIFY(preferences.sharedBosses.set(shared));
            QVERIFY(preferences.unsharedBosses.set(unshared));
        }
        const zorvane::testing::FakeClock clock(10, 0, 0);
        const std::filesystem::path path = dir.path().toStdString();
        CommandLine kill;
        kill.action = Action::Kill;
        kill.killName = QStringLiteral("Dragon");
        const zorvane::app::CommandResult result =
            zorvane::app::runOnFiles(kill, path, clock, 1500);
        QCOMPARE(result.exitCode, exitCode);
        QVERIFY2(result.text.contains(textPart), qPrintable(result.text));
        QCOMPARE(result.text.contains(QStringLiteral("Shared with")), published);

        // The kill is recorded whether or not the room got it.
        schedule::BossTable table;
        zorvane::config::loadTable(table, path);
        const std::optional<schedule::UtcSeconds> killed = table.timing(1)->lastUtc;
        QCOMPARE(killed, std::optional(schedule::toUtc(clock.now())));
        QCOMPARE(zorvane::history::SqliteKillLog(path / "history.sqlite").recordCount("Dragon"),
                 std::int64_t{1});
        if (!brokerUp) {
            return;
        }
        // A member joining later gets the kill the broker kept.
        KillWatcher watcher;
        zorvane::share::RoomOptions options;
        zorvane::text::Message error;
        QVERIFY(zorvane::share::parseRoomLink(
            QStringLiteral("mqtt://127.0.0.1:%1/guild").arg(broker.port()).toStdString(),
            options.link, error));
        options.nickname = "watcher";
        zorvane::share::RoomClient member(options, watcher);
        QVERIFY2(member.start(error), zorvane::text::defaultText(error).c_str());
        const std::vector<zorvane::share::KillEvent> kills =
            watcher.waitForKills(published ? 10000 : 1000);
        member.stop();
        QCOMPARE(kills.size(), published ? std::size_t{1} : std::size_t{0});
        if (published) {
            QCOMPARE(kills[0].boss, std::string("Dragon"));
            QCOMPARE(kills[0].killUtcSeconds, *killed);
            QCOMPARE(kills[0].periodMinutes, 30);
            QCOMPARE(kills[0].nickname, std::string("cli"));
        }
    }

    void listingShowsTimeLeftAndStatesAligned() {
        QTemporaryDir dir;
        writeTable(dir.path(), {{"Dragon", "30", "09:50:00", "10:20:00", true},
                                {"很长的名字", "30", "08:05:00", "08:35:00", false},
                                {"Egg", "2880", "11:00:00", "11:00:00", true},
                                {"龙王", "30", "", "", false}});
        const zorvane::testing::FakeClock clock(10, 0, 0);
        CommandLine list;
        list.action = Action::List;
        const zorvane::app::CommandResult result =
            zorvane::app::runOnFiles(list, dir.path().toStdString(), clock);
        QCOMPARE(result.exitCode, 0);
        const QStringList lines = result.text.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 5);
        // A due row has rolled over to its current cycle (09:35 + 30); a last time ahead
        // of the clock was yesterday's; a row never killed says so.
        // The boss of the row that rolled over came at 09:35 and nobody recorded it.
        const QStringList expected = {
            "#  BOSS        NEXT      LEFT          ALARM  STATE",
            "1  Dragon      10:20:00  00:20:00      on     waiting",
            "2  很长的名字  10:05:00  00:05:00      off    up since 09:35:00",
            "3  Egg         11:00:00  1d 01:00:00   on     waiting",
            "4  龙王        -         never killed  off    unknown"};
        QCOMPARE(lines, expected);
    }

    // --say-next words the same bosses in the window's language for the speech and in
    // English for the terminal, whatever the names' language.
    void theNextBossesAreWordedInTheLanguageAsked_data() {
        QTest::addColumn<bool>("chinese");
        QTest::addColumn<bool>("empty");
        QTest::addColumn<QString>("said");
        QTest::newRow("Chinese") << true << false
                                 << QStringLiteral(
                                        "Egg 已刷新，Dragon 1 分 14 秒后刷新，火龙 2 分钟后刷新");
        QTest::newRow("English") << false << false
                                 << QStringLiteral("Egg is up, Dragon in 1 minute 14 seconds, "
                                                   "火龙 in 2 minutes");
        QTest::newRow("none counting, Chinese") << true << true << QStringLiteral("没有启用的BOSS");
        QTest::newRow("none counting, English")
            << false << true << QStringLiteral("No checked boss is counting.");
    }

    void theNextBossesAreWordedInTheLanguageAsked() {
        QFETCH(bool, chinese);
        QFETCH(bool, empty);
        QFETCH(QString, said);
        schedule::BossTable table;
        // Name, seconds left, checked: the unchecked one and the fourth are not said.
        const struct {
            const char* name;
            std::int64_t left;
            bool use;
        } rows[] = {{"Dragon", 74, true},
                    {"火龙", 120, true},
                    {"Hydra", 10, false},
                    {"Egg", -5, true},
                    {"Late", 900, true}};
        for (const auto& row : rows) {
            const int index = table.appendRow();
            const schedule::RowId id = table.rowId(index);
            table.setCellText(id, schedule::kNameColumn, row.name);
            table.setCheckState(index, row.use && !empty);
            table.setCountdown(id, "", row.left, schedule::RowPhase::Counting);
        }
        // Due first, then by time left.
        QCOMPARE(zorvane::app::nextBossesSaid(table, chinese), said);
    }

    void theNextLinesAreSaidLineByLine_data() {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("said");
        QTest::newRow("one unnamed server")
            << QString()
            << QStringLiteral("火龙 3线 2 分钟后刷新，Dragon 5 分钟后刷新，火龙 A 10 分钟后刷新");
        QTest::newRow("a named server") << QStringLiteral("二区")
                                        << QStringLiteral("火龙 3线 二区 2 分钟后刷新，Dragon 5 "
                                                          "分钟后刷新，火龙 A 二区 10 分钟后刷新");
    }

    // A boss on lines is said line by line where each stands, among the bosses without lines;
    // lines never killed are not counting and are not said.
    void theNextLinesAreSaidLineByLine() {
        QFETCH(QString, server);
        QFETCH(QString, said);
        const schedule::UtcSeconds now = 1'700'000'000;
        schedule::BossTable table;
        schedule::LineBoard lines;
        const auto add = [&](const char* name, std::optional<std::int64_t> left) {
            const int index = table.appendRow();
            const schedule::RowId id = table.rowId(index);
            table.setCellText(id, schedule::kNameColumn, name);
            table.setCellText(id, schedule::kPeriodColumn, "60");
            table.setCheckState(index, true);
            if (left) {
                table.setCountdown(id, "", *left, schedule::RowPhase::Counting);
            }
            return id;
        };
        const schedule::RowId fire = add("火龙", std::nullopt);
        add("Dragon", 300);
        const std::vector<std::string> servers =
            server.isEmpty() ? std::vector<std::string>{}
                             : std::vector<std::string>{server.toStdString()};
        QVERIFY(lines.setLines(fire, {servers, {"1", "2", "3", "A"}}));
        const std::vector<schedule::LineTimer> timers = lines.timers(fire);
        QVERIFY(lines.kill(fire, timers[2].id, now - 58 * 60));
        QVERIFY(lines.kill(fire, timers[3].id, now - 50 * 60));
        QCOMPARE(zorvane::app::nextBossesSaid(table, true, 3, &lines, now), said);
        // Without the board the row is said as before: it has no count of its own.
        QCOMPARE(zorvane::app::nextBossesSaid(table, true, 3),
                 QStringLiteral("Dragon 5 分钟后刷新"));
    }

    void filesStayBesideAPortableProgramButNotInAnInstalledOne() {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QVERIFY(!dataDir.startsWith(root.path()));

        const QString portable = root.filePath(QStringLiteral("portable"));
        QVERIFY(QDir().mkpath(portable));
        QCOMPARE(zorvane::app::programDirectoryFor(portable), portable);

        // A writable prefix (root's /usr, a private prefix) with the program installed.
        const QString bin = root.filePath(QStringLiteral("prefix/bin"));
        const QString applications = root.filePath(QStringLiteral("prefix/share/applications"));
        QVERIFY(QDir().mkpath(bin));
        QVERIFY(QDir().mkpath(applications));
        QFile other(applications + QStringLiteral("/org.example.Other.desktop"));
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.close();
        QCOMPARE(zorvane::app::programDirectoryFor(bin), bin);

        QFile entry(applications + QLatin1Char('/') + QLatin1String(zorvane::app::kDesktopId) +
                    QStringLiteral(".desktop"));
        QVERIFY(entry.open(QIODevice::WriteOnly));
        entry.close();
        QCOMPARE(zorvane::app::programDirectoryFor(bin), QDir::cleanPath(dataDir));
        QVERIFY(QFileInfo(dataDir).isDir());
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "test_commandline.moc"
