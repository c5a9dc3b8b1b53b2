// The composition root without a window: what each setup switches on, and the kill path
// through the real writer, history and files.
#include "config/configfiles.h"
#include "history/killhistory.h"
#include "periodic/globals.h"
#include "schedule/cycle.h"
#include "schedule/instant.h"
#include "services/alertdispatch.h"
#include "services/configwriter.h"
#include "services/killpath.h"
#include "services/roomconnection.h"
#include "services/session.h"
#include "services/ticksupport.h"
#include "tests/support/fakeclock.h"
#include "tests/support/filelimit.h"
#include "tests/support/threads.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace zorvane;
using zorvane::app::Session;
using zorvane::app::SessionSetup;

namespace {

// The threads the program names that a session may start; none may run unless its part is
// switched on and used.
const std::vector<std::string> kOurThreads = {
    "config writer", "history writer", "config reader", "tick",         "clock",
    "speaker",       "sound reader",   "room starter",  "announcement", "sdl housekeeper"};

std::vector<std::string> ourThreads() {
    std::vector<std::string> running;
    for (const std::string& name : testing::threadNames()) {
        if (std::find(kOurThreads.begin(), kOurThreads.end(), name) != kOurThreads.end()) {
            running.push_back(name);
        }
    }
    std::sort(running.begin(), running.end());
    return running;
}

// config.ini with one row: Dragon, every 30 minutes, last killed at 09:50.
void writeDragon(const QTemporaryDir& dir) {
    schedule::BossTable table;
    const int row = table.appendRow();
    table.setCellTexts(table.rowId(row), {{schedule::kNumberColumn, "1"},
                                          {schedule::kNameColumn, "Dragon"},
                                          {schedule::kPeriodColumn, "30"},
                                          {schedule::kLastTimeColumn, "09:50:00"},
                                          {schedule::kNextTimeColumn, "10:20:00"}});
    table.setCheckState(row, true);
    QVERIFY(config::saveTable(table, dir.path().toStdString()));
}

std::string storedLastTime(const QTemporaryDir& dir) {
    const std::optional<config::StoredTable> stored = config::readTable(dir.path().toStdString());
    return stored && !stored->rows.empty() ? stored->rows.front().text[schedule::kLastTimeColumn]
                                           : std::string();
}

} // namespace

class SessionTest : public QObject {
    Q_OBJECT

private slots:
    // What --kill on the files runs: a kill saved, then in the history, and no thread of a
    // part that is off (the countdown, speech, the room, the sound helper).
    void aCommandSessionRecordsAKillAndStartsNothingElse() {
        QTemporaryDir dir;
        writeDragon(dir);
        const testing::FakeClock clock(10, 0, 0);
        QCOMPARE(ourThreads(), std::vector<std::string>{});
        {
            Session session({.clock = clock, .programDir = dir.path().toStdString()});
            QCOMPARE(ourThreads(), std::vector<std::string>{});
            QVERIFY(!session.tick() && !session.room() && !session.alerts() && !session.globals());

            session.finishLoad();
            QCOMPARE(session.table().rowCount(), 2);
            const schedule::RowId dragon = session.table().rowId(1);
            const schedule::UtcSeconds killed = schedule::toUtc(clock.now());
            const app::KillPath::Confirmed confirmed =
                session.kills().recordConfirmed(dragon, killed, schedule::KillSource::CommandLine);
            QCOMPARE(confirmed.saveError, std::string());
            QVERIFY(confirmed.kill);
            QCOMPARE(confirmed.kill->utcSeconds, killed);
            QCOMPARE(storedLastTime(dir), std::string("10:00:00"));

            const auto kills = session.history().allKills("Dragon");
            QCOMPARE(kills.size(), std::size_t{1});
            QCOMPARE(kills.front().source, schedule::KillSource::CommandLine);
            QCOMPARE(kills.front().utcSeconds, killed);
            QCOMPARE(ourThreads(), (std::vector<std::string>{"config writer", "history writer"}));
            // Only read, never made, by a command.
            QVERIFY(!session.hasPreferencesFile());
        }
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("preferences.ini"))));
        // Nothing of the session outlives it.
        QCOMPARE(ourThreads(), std::vector<std::string>{});
    }

    // A kill the writer could not write never reaches the history, and says why.
    void aKillConfigIniDoesNotHaveStaysOutOfTheHistory() {
        QTemporaryDir dir;
        writeDragon(dir);
        const testing::FakeClock clock(10, 0, 0);
        Session session({.clock = clock, .programDir = dir.path().toStdString()});
        session.finishLoad();
        app::KillPath::Confirmed confirmed;
        {
            const testing::FileSizeLimit full(16);
            QVERIFY(full.active());
            confirmed = session.kills().recordConfirmed(session.table().rowId(1),
                                                        schedule::toUtc(clock.now()),
                                                        schedule::KillSource::CommandLine);
        }
        QVERIFY(!confirmed.saveError.empty());
        QVERIFY(!confirmed.kill);
        QCOMPARE(storedLastTime(dir), std::string("09:50:00"));
        QCOMPARE(session.history().recordCount("Dragon"), std::int64_t{0});
    }

    // A received kill changes the row, reaches the history as remote with its sender and is
    // told to the undo listener at once; the table is written with the next save, and at the
    // latest when the session ends.
    void aReceivedKillIsSavedWithTheNextSaveOrAtTheEnd() {
        QTemporaryDir dir;
        writeDragon(dir);
        const testing::FakeClock clock(10, 0, 0);
        const schedule::UtcSeconds killed = schedule::toUtc(clock.now()) - 120;
        {
            Session session({.clock = clock, .programDir = dir.path().toStdString()});
            session.finishLoad();
            const schedule::RowId dragon = session.table().rowId(1);
            std::vector<std::string> before;
            session.kills().setRecorded([&before](const schedule::BossRow& row, bool) {
                before.push_back(row.text[schedule::kLastTimeColumn]);
            });
            QVERIFY(session.kills().applyRemote(dragon, killed, "Ann"));
            QVERIFY(!session.kills().applyRemote(dragon + 100, killed, "Ann"));
            QCOMPARE(before, std::vector<std::string>{"09:50:00"});
            QCOMPARE(session.table().cellText(1, schedule::kLastTimeColumn),
                     std::string("09:58:00"));
            const auto kills = session.history().allKills("Dragon");
            QCOMPARE(kills.size(), std::size_t{1});
            QCOMPARE(kills.front().source, schedule::KillSource::Remote);
            QCOMPARE(kills.front().sender, std::string("Ann"));
            // The save waits for the burst to be over (the event loop has not turned).
            session.writer().flush();
            QCOMPARE(storedLastTime(dir), std::string("09:50:00"));
        }
        QCOMPARE(storedLastTime(dir), std::string("09:58:00"));
    }

    // Each setup makes what it names and nothing else; the countdown's thread starts only
    // when the countdown does.
    void theSetupMakesWhatItNames_data() {
        QTest::addColumn<bool>("countdown");
        QTest::addColumn<bool>("room");
        QTest::addColumn<bool>("notifications");
        QTest::newRow("nothing") << false << false << false;
        QTest::newRow("countdown") << true << false << false;
        QTest::newRow("countdown with notifications") << true << false << true;
        QTest::newRow("room") << false << true << false;
        QTest::newRow("everything") << true << true << true;
    }

    void theSetupMakesWhatItNames() {
        QFETCH(bool, countdown);
        QFETCH(bool, room);
        QFETCH(bool, notifications);
        QTemporaryDir dir;
        const testing::FakeClock clock(10, 0, 0);
        periodic::AppGlobals globals;
        {
            Session session({.clock = clock,
                             .programDir = dir.path().toStdString(),
                             .globals = countdown ? &globals : nullptr,
                             .room = room,
                             .notifications = notifications});
            QCOMPARE(session.tick() != nullptr, countdown);
            QCOMPARE(session.room() != nullptr, room);
            QCOMPARE(session.alerts() != nullptr, countdown && notifications);
            // Joining a room the preferences do not name starts no connection.
            session.joinRoom();
            QVERIFY(session.startTick());
            QCOMPARE(testing::hasThreadNamed("tick"), countdown);
            QVERIFY(!testing::hasThreadNamed("room starter"));
            QVERIFY(!testing::hasThreadNamed("speaker"));
            QVERIFY(!testing::hasThreadNamed("clock"));
        }
        // The session stopped its countdown before it went.
        QCOMPARE(globals.tickTimer().handle(), 0L);
        globals.teardown();
    }

    // A countdown whose thread cannot be made says so, and starts once it can.
    void aTickThatCannotStartSaysSo() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
        QSKIP("the sanitizers reserve address space of their own");
#endif
        QTemporaryDir dir;
        const testing::FakeClock clock(10, 0, 0);
        periodic::AppGlobals globals;
        Session session(
            {.clock = clock, .programDir = dir.path().toStdString(), .globals = &globals});
        // Threads that ended leave their stacks to the C library for the next thread; these
        // take every one of them, so the tick's thread needs new memory.
        struct Holders {
            std::promise<void> release;
            std::vector<std::thread> threads;
            ~Holders() {
                release.set_value();
                for (std::thread& thread : threads) {
                    thread.join();
                }
            }
        } holders;
        const std::shared_future<void> released = holders.release.get_future().share();
        for (int i = 0; i < 16; ++i) {
            holders.threads.emplace_back([released] { released.wait(); });
        }
        // No room for a new thread's stack: the address space is held to what is in use now.
        rlimit before{};
        QCOMPARE(::getrlimit(RLIMIT_AS, &before), 0);
        long pages = 0;
        {
            std::ifstream statm("/proc/self/statm");
            statm >> pages;
        }
        QVERIFY(pages > 0);
        rlimit tight = before;
        tight.rlim_cur =
            static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + (1 << 20);
        QCOMPARE(::setrlimit(RLIMIT_AS, &tight), 0);
        const bool started = session.startTick();
        QCOMPARE(::setrlimit(RLIMIT_AS, &before), 0);
        QVERIFY(!started);
        QCOMPARE(globals.tickTimer().handle(), 0L);
        QVERIFY(session.startTick());
        QVERIFY(globals.tickTimer().handle() > 0);
        session.stopTick();
    }
};

QTEST_GUILESS_MAIN(SessionTest)
#include "test_session.moc"
