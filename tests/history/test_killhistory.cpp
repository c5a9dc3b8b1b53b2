#include "history/killhistory.h"

#include "history/killtexts.h"
#include "tests/support/filelimit.h"
#include "tests/support/tempdir.h"
#include "tests/support/waitfor.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace zorvane;
namespace zt = zorvane::testing;
using history::SqliteKillLog;
using schedule::KillRecord;
using schedule::KillSource;
using zorvane::testing::TempDir;

namespace {

KillRecord kill(std::string boss, std::int64_t utc, KillSource source = KillSource::DoubleClick,
                std::string sender = {}) {
    return KillRecord{std::move(boss), utc, 60, 5, source, std::move(sender)};
}

KillRecord onLine(KillRecord record, std::string server, std::string line) {
    record.server = std::move(server);
    record.line = std::move(line);
    return record;
}

std::vector<std::int64_t> instantsOf(const std::vector<KillRecord>& records) {
    std::vector<std::int64_t> instants;
    for (const KillRecord& record : records) {
        instants.push_back(record.utcSeconds);
    }
    return instants;
}

// Files beside the database whose names start with "history.sqlite.broken-".
std::vector<fs::path> brokenFiles(const fs::path& dir) {
    std::vector<fs::path> found;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("history.sqlite.broken-", 0) == 0 &&
            name.find("-wal") == std::string::npos && name.find("-shm") == std::string::npos) {
            found.push_back(entry.path());
        }
    }
    return found;
}

// A database with enough kills to span many pages.
void fillDatabase(const fs::path& file, int kills) {
    SqliteKillLog log(file);
    for (int i = 0; i < kills; ++i) {
        log.recordKill(
            kill("深渊领主 " + std::to_string(i % 7), 1'800'000'000 + std::int64_t{3600} * i));
    }
}

// Every entry below `dir` with its size and a hash of its bytes ("<dir>" for a
// directory), short enough to read in a failure message.
std::map<std::string, std::string> snapshot(const fs::path& dir) {
    std::map<std::string, std::string> entries;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(dir)) {
        std::string summary = "<dir>";
        if (!entry.is_directory()) {
            const std::string bytes = zt::readBytes(entry.path());
            summary = std::to_string(bytes.size()) + " bytes, hash " +
                      std::to_string(std::hash<std::string>()(bytes));
        }
        entries[fs::relative(entry.path(), dir).string()] = summary;
    }
    return entries;
}

// Collects what a notice handler is handed and on which threads.
struct NoticeSink {
    std::mutex mutex;
    std::vector<std::string> texts;
    std::set<std::thread::id> threads;

    std::function<void(const zorvane::text::Message&)> handler() {
        return [this](const zorvane::text::Message& message) {
            std::lock_guard lock(mutex);
            texts.push_back(zorvane::text::defaultText(message));
            threads.insert(std::this_thread::get_id());
        };
    }
    std::size_t count() {
        std::lock_guard lock(mutex);
        return texts.size();
    }
};

// The ways of using a log for the first time besides recording a kill.
struct Use {
    const char* name;
    std::function<void(SqliteKillLog& log, const fs::path& dir)> run;
};

const std::vector<Use>& firstUses() {
    static const std::vector<Use> uses = {
        {"recentKills", [](SqliteKillLog& log, const fs::path&) { log.recentKills("甲", 5); }},
        {"allKills", [](SqliteKillLog& log, const fs::path&) { log.allKills("甲"); }},
        {"recordCount", [](SqliteKillLog& log, const fs::path&) { log.recordCount("甲"); }},
        {"killIntervals", [](SqliteKillLog& log, const fs::path&) { log.killIntervals("甲"); }},
        {"exportCsv",
         [](SqliteKillLog& log, const fs::path& dir) {
             // Only a first use here; what an export gives is checked on its own.
             static_cast<void>(log.exportCsv("甲", dir / "out.csv"));
         }},
        {"flush", [](SqliteKillLog& log, const fs::path&) { log.flush(); }},
        {"isOpen", [](SqliteKillLog& log, const fs::path&) { log.isOpen(); }},
        {"notice", [](SqliteKillLog& log, const fs::path&) { log.notice(); }},
    };
    return uses;
}

} // namespace

TEST(KillHistoryFirstUse, ConstructionAloneTouchesNoFile) {
    struct Case {
        const char* name;
        std::function<void(const fs::path& file)> prepare;
    };
    const Case cases[] = {
        {"no file yet", [](const fs::path&) {}},
        {"garbage", [](const fs::path& file) { zt::writeBytes(file, std::string(3000, '#')); }},
        {"database of ours", [](const fs::path& file) { fillDatabase(file, 20); }},
        {"directory in its place",
         [](const fs::path& file) { fs::create_directories(file / "inner"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const fs::path file = dir.path() / "history.sqlite";
        c.prepare(file);
        const std::map<std::string, std::string> before = snapshot(dir.path());
        {
            SqliteKillLog log(file);
            EXPECT_EQ(log.file(), file);
        }
        // Destroying it joins the writer thread, so an opening there would show too.
        EXPECT_EQ(snapshot(dir.path()), before);
    }
}

TEST(KillHistoryFirstUse, EveryQueryOpensTheDatabase) {
    for (const Use& use : firstUses()) {
        SCOPED_TRACE(use.name);
        TempDir dir;
        const fs::path file = dir.path() / "history.sqlite";
        SqliteKillLog log(file);
        use.run(log, dir.path());
        EXPECT_TRUE(fs::is_regular_file(file));
        EXPECT_TRUE(fs::exists(dir.path() / "history.sqlite-wal"));
        EXPECT_TRUE(log.notice().empty());
        log.recordKill(kill("甲", 1'800'000'000));
        EXPECT_EQ(log.recordCount("甲"), 1);
    }
}

TEST(KillHistoryFirstUse, FirstKillOpensOnTheWriterThread) {
    TempDir dir;
    const fs::path file = dir.path() / "history.sqlite";
    zt::writeBytes(file, std::string(3000, '#'));
    NoticeSink sink;
    SqliteKillLog log(file);
    log.setNoticeHandler(sink.handler());
    log.recordKill(kill("甲", 1'800'000'000));
    // Nothing but the writer thread touches the log until its notice has arrived.
    ASSERT_TRUE(zt::waitFor([&] { return sink.count() == 1; }));
    {
        std::lock_guard lock(sink.mutex);
        EXPECT_EQ(sink.threads.count(std::this_thread::get_id()), 0u);
        EXPECT_NE(sink.texts.at(0).find("已损坏"), std::string::npos) << sink.texts.at(0);
    }
    EXPECT_EQ(brokenFiles(dir.path()).size(), 1u);
    EXPECT_EQ(log.recordCount("甲"), 1);
}

// A damaged file's notice reaches the handler exactly once, whether the handler was set
// before the first use or after the notice arose, and whichever use opened the file.
TEST(KillHistoryFirstUse, DamageNoticeReachesTheHandlerOnce) {
    std::vector<Use> uses = firstUses();
    uses.push_back({"recordKill", [](SqliteKillLog& log, const fs::path&) {
                        log.recordKill(kill("甲", 1'800'000'000));
                    }});
    for (const Use& use : uses) {
        for (const bool handlerFirst : {true, false}) {
            SCOPED_TRACE(std::string(use.name) +
                         (handlerFirst ? ", handler first" : ", use first"));
            TempDir dir;
            const fs::path file = dir.path() / "history.sqlite";
            zt::writeBytes(file, "BOSS事件,时间\r\n甲,1\r\n");
            NoticeSink sink;
            {
                SqliteKillLog log(file);
                if (handlerFirst) {
                    log.setNoticeHandler(sink.handler());
                }
                use.run(log, dir.path());
                if (!handlerFirst) {
                    log.setNoticeHandler(sink.handler());
                }
                ASSERT_TRUE(zt::waitFor([&] { return sink.count() > 0; }));
                // Later uses and closing bring no second delivery.
                EXPECT_TRUE(log.isOpen());
                EXPECT_NE(zorvane::text::defaultText(log.notice()).find("已损坏"),
                          std::string::npos);
                log.recordKill(kill("乙", 1'800'000'000));
                EXPECT_EQ(log.recordCount("乙"), 1);
            }
            std::lock_guard lock(sink.mutex);
            ASSERT_EQ(sink.texts.size(), 1u);
            EXPECT_NE(sink.texts[0].find("已损坏"), std::string::npos) << sink.texts[0];
            EXPECT_NE(sink.texts[0].find(brokenFiles(dir.path()).at(0).filename().string()),
                      std::string::npos);
        }
    }
}

// A log without a database answers every query with nothing and says why, whichever
// use tried to open it.
TEST(KillHistoryFirstUse, UnusableDatabaseAnswersEmptyAndSaysWhy) {
    for (const Use& use : firstUses()) {
        SCOPED_TRACE(use.name);
        TempDir dir;
        zt::writeBytes(dir.path() / "plain", "x");
        NoticeSink sink;
        SqliteKillLog log(dir.path() / "plain" / "history.sqlite");
        log.setNoticeHandler(sink.handler());
        use.run(log, dir.path());
        EXPECT_EQ(sink.count(), 1u);
        EXPECT_NE(zorvane::text::defaultText(log.notice()).find("无法打开历史记录数据库"),
                  std::string::npos)
            << zorvane::text::defaultText(log.notice());
        log.recordKill(kill("甲", 1'800'000'000));
        EXPECT_FALSE(log.flush());
        EXPECT_TRUE(log.recentKills("甲", 5).empty());
        EXPECT_TRUE(log.allKills("甲").empty());
        EXPECT_EQ(log.recordCount("甲"), 0);
        EXPECT_EQ(log.killIntervals("甲").count, 0);
        EXPECT_FALSE(log.exportCsv("甲", dir.path() / "out.csv"));
        EXPECT_FALSE(fs::exists(dir.path() / "out.csv"));
        EXPECT_FALSE(log.isOpen());
        // Every use tries again; the same failure is told once, then the kill it left
        // unrecorded.
        ASSERT_TRUE(zt::waitFor([&] { return sink.count() == 2u; }));
        {
            std::lock_guard lock(sink.mutex);
            EXPECT_NE(sink.texts[1].find("1 条击杀未记入"), std::string::npos) << sink.texts[1];
        }
        EXPECT_EQ(zt::readBytes(dir.path() / "plain"), "x");
    }
}

TEST(KillHistory, KillsSurviveReopeningWithEveryField) {
    TempDir dir;
    const fs::path file = dir.path() / "history.sqlite";
    const std::vector<KillRecord> written = {
        kill("赤炎魔王", 1'800'000'000),
        {"赤炎魔王", 1'800'003'600, 1440, 15, KillSource::Typed, ""},
        kill("冰霜巨龙", 1'800'001'000, KillSource::RollOver),
        {"赤炎魔王", 1'800'007'200, 90, 0, KillSource::Remote, "队长,\"阿明\""},
        kill("赤炎魔王", 1'799'999'000, KillSource::CommandLine),
    };
    {
        SqliteKillLog log(file);
        EXPECT_TRUE(log.isOpen());
        EXPECT_TRUE(log.notice().empty());
        for (const KillRecord& record : written) {
            log.recordKill(record);
        }
        // No flush: closing stores what is still queued.
    }
    SqliteKillLog log(file);
    ASSERT_TRUE(log.isOpen());
    EXPECT_EQ(log.recordCount("赤炎魔王"), 4);
    EXPECT_EQ(log.recordCount("冰霜巨龙"), 1);
    EXPECT_EQ(log.recordCount("无名"), 0);

    const std::vector<KillRecord> recent = log.recentKills("赤炎魔王", 3);
    ASSERT_EQ(recent.size(), 3u);
    EXPECT_EQ(instantsOf(recent),
              (std::vector<std::int64_t>{1'800'007'200, 1'800'003'600, 1'800'000'000}));
    EXPECT_EQ(recent[0].periodMinutes, 90);
    EXPECT_EQ(recent[0].source, KillSource::Remote);
    EXPECT_EQ(recent[0].sender, "队长,\"阿明\"");
    EXPECT_EQ(recent[1].periodMinutes, 1440);
    EXPECT_EQ(recent[1].delayMinutes, 15);
    EXPECT_EQ(recent[1].source, KillSource::Typed);
    EXPECT_TRUE(log.recentKills("赤炎魔王", 0).empty());

    EXPECT_EQ(
        instantsOf(log.allKills("赤炎魔王")),
        (std::vector<std::int64_t>{1'799'999'000, 1'800'000'000, 1'800'003'600, 1'800'007'200}));
    EXPECT_EQ(log.allKills("冰霜巨龙").at(0).source, KillSource::RollOver);
    // The database keeps its WAL journal.
    EXPECT_TRUE(fs::exists(dir.path() / "history.sqlite-wal"));
}

TEST(KillHistory, QueriesSeeKillsRecordedJustBefore) {
    TempDir dir;
    SqliteKillLog log(dir.path() / "history.sqlite");
    for (int i = 0; i < 50; ++i) {
        log.recordKill(kill("Boss", 1'800'000'000 + i));
        EXPECT_EQ(log.recordCount("Boss"), i + 1);
    }
}

TEST(KillHistory, IntervalsLeaveRollOversOut) {
    TempDir dir;
    SqliteKillLog log(dir.path() / "history.sqlite");
    const std::int64_t t = 1'800'000'000;
    log.recordKill(kill("Boss", t + 7200));
    log.recordKill(kill("Boss", t, KillSource::Typed));
    log.recordKill(kill("Boss", t + 3000, KillSource::RollOver));
    log.recordKill(kill("Boss", t + 3600, KillSource::Remote, "someone"));
    log.recordKill(kill("Other", t + 100));
    const history::IntervalStats stats = log.killIntervals("Boss");
    EXPECT_EQ(stats.count, 2);
    EXPECT_EQ(stats.minSeconds, 3600);
    EXPECT_EQ(stats.maxSeconds, 3600);
    EXPECT_EQ(stats.medianSeconds, 3600);
    EXPECT_EQ(log.killIntervals("Other").count, 0);
}

TEST(KillHistory, KillsFromTwoThreadsAreAllKept) {
    TempDir dir;
    SqliteKillLog log(dir.path() / "history.sqlite");
    constexpr int kPerThread = 2000;
    auto record = [&log](const std::string& boss, std::int64_t base) {
        for (int i = 0; i < kPerThread; ++i) {
            log.recordKill(kill(boss, base + i));
        }
    };
    std::thread window(record, "甲", 1'800'000'000);
    std::thread tick(record, "乙", 1'900'000'000);
    // Queries on a third thread meanwhile take their turn with the writer.
    for (int i = 0; i < 20; ++i) {
        log.recentKills("甲", 5);
    }
    window.join();
    tick.join();
    ASSERT_TRUE(log.flush());
    EXPECT_EQ(log.recordCount("甲"), kPerThread);
    EXPECT_EQ(log.recordCount("乙"), kPerThread);
    const std::vector<KillRecord> all = log.allKills("乙");
    const std::vector<std::int64_t> instants = instantsOf(all);
    const std::set<std::int64_t> distinct(instants.begin(), instants.end());
    EXPECT_EQ(distinct.size(), static_cast<std::size_t>(kPerThread));
}

// Each case spoils the database file in its own way; the log must move the spoilt file
// aside untouched, say so, and work on a fresh database.
struct DamageCase {
    const char* name;
    std::function<void(const fs::path& file)> spoil;
    bool keepsBytes; // the moved file still holds what was there
};

TEST(KillHistory, DamagedDatabaseIsMovedAsideAndReplaced) {
    const DamageCase cases[] = {
        {"garbage bytes",
         [](const fs::path& file) {
             zt::writeBytes(file, std::string(4096, '\x5a') + "not a database at all");
         },
         true},
        {"text file",
         [](const fs::path& file) { zt::writeBytes(file, "BOSS事件,时间\r\n甲,1\r\n"); }, true},
        {"truncated",
         [](const fs::path& file) {
             fillDatabase(file, 3000);
             fs::resize_file(file, fs::file_size(file) / 2);
         },
         true},
        {"damaged pages",
         [](const fs::path& file) {
             fillDatabase(file, 3000);
             std::string bytes = zt::readBytes(file);
             // Keep the header page, scribble over everything after it.
             for (std::size_t i = 4096; i < bytes.size(); i += 7) {
                 bytes[i] = '\xff';
             }
             zt::writeBytes(file, bytes);
         },
         true},
        {"directory in its place",
         [](const fs::path& file) { fs::create_directories(file / "inner"); }, false},
    };
    for (const DamageCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const fs::path file = dir.path() / "history.sqlite";
        const fs::path config = dir.path() / "config.ini";
        zt::writeBytes(config, "[BOSS事件]\r\n1=甲\r\n");
        c.spoil(file);
        const std::string spoilt = fs::is_regular_file(file) ? zt::readBytes(file) : "";

        SqliteKillLog log(file);
        EXPECT_TRUE(log.isOpen());
        EXPECT_NE(zorvane::text::defaultText(log.notice()).find("已损坏"), std::string::npos)
            << zorvane::text::defaultText(log.notice());
        const std::vector<fs::path> aside = brokenFiles(dir.path());
        ASSERT_EQ(aside.size(), 1u);
        EXPECT_NE(zorvane::text::defaultText(log.notice()).find(aside[0].filename().string()),
                  std::string::npos);
        if (c.keepsBytes) {
            EXPECT_EQ(zt::readBytes(aside[0]), spoilt);
        } else {
            EXPECT_TRUE(fs::is_directory(aside[0] / "inner"));
        }
        EXPECT_EQ(zt::readBytes(config), "[BOSS事件]\r\n1=甲\r\n");

        log.recordKill(kill("甲", 1'800'000'000));
        EXPECT_EQ(log.recordCount("甲"), 1);
        EXPECT_TRUE(fs::is_regular_file(file));
    }
}

TEST(KillHistory, DamageTwiceInOneSecondKeepsBothCopies) {
    TempDir dir;
    const fs::path file = dir.path() / "history.sqlite";
    zt::writeBytes(file, std::string(2048, 'x'));
    EXPECT_TRUE(SqliteKillLog(file).isOpen());
    zt::writeBytes(file, std::string(2048, 'y'));
    EXPECT_TRUE(SqliteKillLog(file).isOpen());
    const std::vector<fs::path> aside = brokenFiles(dir.path());
    ASSERT_EQ(aside.size(), 2u);
    EXPECT_NE(zt::readBytes(aside[0]), zt::readBytes(aside[1]));
}

TEST(KillHistory, UnusableLocationsAreReportedAndLeftAlone) {
    struct Case {
        const char* name;
        std::function<fs::path(const fs::path& dir)> prepare;
        bool needsNonRoot;
    };
    const Case cases[] = {
        {"parent is a file",
         [](const fs::path& dir) {
             zt::writeBytes(dir / "plain", "x");
             return dir / "plain" / "history.sqlite";
         },
         false},
        {"newer schema",
         [](const fs::path& dir) {
             const fs::path file = dir / "history.sqlite";
             fillDatabase(file, 3);
             // The user version is the big-endian word at offset 60 of the header.
             std::string bytes = zt::readBytes(file);
             bytes[63] = 9;
             zt::writeBytes(file, bytes);
             return file;
         },
         false},
        {"read-only directory",
         [](const fs::path& dir) {
             const fs::path sealed = dir / "sealed";
             fs::create_directories(sealed);
             ::chmod(sealed.c_str(), 0555);
             return sealed / "history.sqlite";
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.needsNonRoot && ::geteuid() == 0) {
            continue; // permissions do not bind root
        }
        TempDir dir;
        const fs::path file = c.prepare(dir.path());
        const bool existed = fs::exists(file);
        const std::string before = existed ? zt::readBytes(file) : "";
        {
            SqliteKillLog log(file);
            EXPECT_FALSE(log.isOpen());
            EXPECT_NE(zorvane::text::defaultText(log.notice()).find("无法打开历史记录数据库"),
                      std::string::npos)
                << zorvane::text::defaultText(log.notice());
            log.recordKill(kill("甲", 1));
            EXPECT_FALSE(log.flush());
            EXPECT_TRUE(log.recentKills("甲", 10).empty());
            zorvane::text::Message error;
            EXPECT_FALSE(log.exportCsv("甲", dir.path() / "out.csv", &error));
            EXPECT_FALSE(error.empty());
        }
        EXPECT_TRUE(brokenFiles(dir.path()).empty());
        if (existed) {
            EXPECT_EQ(zt::readBytes(file), before);
        }
        ::chmod((dir.path() / "sealed").c_str(), 0755);
    }
}

TEST(KillHistory, ExportWritesEveryKillOfTheBossOldestFirst) {
    TempDir dir;
    SqliteKillLog log(dir.path() / "history.sqlite");
    log.recordKill({"Boss, the \"Great\"", 1'800'003'600, 60, 5, KillSource::Typed, ""});
    log.recordKill({"Boss, the \"Great\"", 1'800'000'000, 60, 0, KillSource::DoubleClick, ""});
    log.recordKill(kill("Other", 1'800'000'100));
    const fs::path target = dir.path() / "导出" / "boss.csv";
    fs::create_directories(target.parent_path());
    zorvane::text::Message error;
    ASSERT_TRUE(log.exportCsv("Boss, the \"Great\"", target, &error))
        << zorvane::text::defaultText(error);
    const std::string csv = zt::readBytes(target);
    EXPECT_EQ(csv.rfind("\xEF\xBB\xBF", 0), 0u);
    const std::string first = "\"Boss, the \"\"Great\"\"\"," +
                              history::localTimeText(1'800'000'000) +
                              ",2027-01-15T08:00:00Z,60,0,双击,,,\r\n";
    const std::string second = "\"Boss, the \"\"Great\"\"\"," +
                               history::localTimeText(1'800'003'600) +
                               ",2027-01-15T09:00:00Z,60,5,输入,,,\r\n";
    EXPECT_NE(csv.find(first + second), std::string::npos) << csv;
    EXPECT_EQ(csv.find("Other"), std::string::npos);

    EXPECT_FALSE(log.exportCsv("Other", dir.path() / "missing-dir" / "x.csv", &error));
    EXPECT_NE(zorvane::text::defaultText(error).find("missing-dir"), std::string::npos);
    // With the system's reason.
    EXPECT_NE(zorvane::text::defaultText(error).find("x.csv: No such file or directory"),
              std::string::npos)
        << zorvane::text::defaultText(error);
}

// What reaches the file, start after start: every start rolls a row over again that was
// not saved since, and that roll-over must not pile up.
TEST(KillHistory, TheSameRollOverIsStoredOnceKillsAsRecorded) {
    const std::int64_t t = 1'800'000'000;
    struct Case {
        const char* name;
        std::vector<std::vector<KillRecord>> starts; // each start's records
        std::vector<std::pair<std::int64_t, KillSource>> stored;
    };
    const Case cases[] = {
        {"one roll-over at three starts",
         {{kill("Boss", t, KillSource::RollOver)},
          {kill("Boss", t, KillSource::RollOver)},
          {kill("Boss", t, KillSource::RollOver), kill("Boss", t, KillSource::RollOver)}},
         {{t, KillSource::RollOver}}},
        {"the next cycle's roll-over",
         {{kill("Boss", t, KillSource::RollOver)}, {kill("Boss", t + 3900, KillSource::RollOver)}},
         {{t, KillSource::RollOver}, {t + 3900, KillSource::RollOver}}},
        {"another boss at that instant",
         {{kill("Boss", t, KillSource::RollOver)}, {kill("Other", t, KillSource::RollOver)}},
         {{t, KillSource::RollOver}}},
        {"a kill at the roll-over's instant",
         {{kill("Boss", t)}, {kill("Boss", t, KillSource::RollOver)}},
         {{t, KillSource::DoubleClick}, {t, KillSource::RollOver}}},
        {"a kill recorded twice",
         {{kill("Boss", t)}, {kill("Boss", t)}},
         {{t, KillSource::DoubleClick}, {t, KillSource::DoubleClick}}},
        {"two lines rolling over at one instant, each at two starts",
         {{onLine(kill("Boss", t, KillSource::RollOver), "一区", "1"),
           onLine(kill("Boss", t, KillSource::RollOver), "一区", "2")},
          {onLine(kill("Boss", t, KillSource::RollOver), "一区", "2"),
           onLine(kill("Boss", t, KillSource::RollOver), "一区", "1")}},
         {{t, KillSource::RollOver}, {t, KillSource::RollOver}}},
        {"a line's roll-over beside the row's",
         {{kill("Boss", t, KillSource::RollOver)},
          {onLine(kill("Boss", t, KillSource::RollOver), "", "3")}},
         {{t, KillSource::RollOver}, {t, KillSource::RollOver}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const fs::path file = dir.path() / "history.sqlite";
        for (const std::vector<KillRecord>& start : c.starts) {
            SqliteKillLog log(file);
            for (const KillRecord& record : start) {
                log.recordKill(record);
            }
        }
        SqliteKillLog log(file);
        std::vector<std::pair<std::int64_t, KillSource>> stored;
        for (const KillRecord& record : log.allKills("Boss")) {
            stored.emplace_back(record.utcSeconds, record.source);
        }
        EXPECT_EQ(stored, c.stored);
        ASSERT_TRUE(log.exportCsv("Boss", dir.path() / "boss.csv"));
        const std::string csv = zt::readBytes(dir.path() / "boss.csv");
        // The header line and one line per record.
        EXPECT_EQ(static_cast<std::size_t>(std::count(csv.begin(), csv.end(), '\n')),
                  c.stored.size() + 1)
            << csv;
    }
}

// Undo marks a kill undone: it stays in the file, and no list, count, export or interval
// sees it until a redo. A kill reported twice counts once in the intervals. The steps go
// through the kill log the window holds, which may be any log.
TEST(KillHistory, UndoneKillsAndKillsReportedTwiceLeaveTheStatisticsAlone) {
    const std::int64_t t = 1'800'000'000;
    const KillRecord first = kill("Boss", t);
    const KillRecord mates = kill("Boss", t + 6, KillSource::Remote, "阿明");
    const KillRecord second = kill("Boss", t + 3600, KillSource::Typed);
    const KillRecord mistake = kill("Boss", t + 4000, KillSource::Keyboard);
    struct Step {
        const char* name;
        std::function<void(schedule::KillLog&)> run;
        std::vector<std::int64_t> listed; // allKills, oldest first
        std::int64_t intervals;
        std::int64_t minSeconds;
    };
    const Step steps[] = {
        {"kills, a mate's report of the first, a mistaken kill",
         [&](schedule::KillLog& log) {
             for (const KillRecord& record : {first, mates, second, mistake}) {
                 log.recordKill(record);
             }
         },
         {t, t + 6, t + 3600, t + 4000},
         2,
         400},
        {"the mistake undone",
         [&](schedule::KillLog& log) { log.setUndone(mistake, true); },
         {t, t + 6, t + 3600},
         1,
         3600},
        {"redone",
         [&](schedule::KillLog& log) { log.setUndone(mistake, false); },
         {t, t + 6, t + 3600, t + 4000},
         2,
         400},
        {"undone again, and a mark for a kill never recorded",
         [&](schedule::KillLog& log) {
             log.setUndone(mistake, true);
             log.setUndone(kill("Boss", t + 9999), true);
             log.setUndone(kill("Other", t), true);
         },
         {t, t + 6, t + 3600},
         1,
         3600},
        {"the same kill recorded twice, one of them undone",
         [&](schedule::KillLog& log) {
             log.recordKill(second);
             log.setUndone(second, true);
         },
         {t, t + 6, t + 3600},
         1,
         3600},
    };
    TempDir dir;
    const fs::path file = dir.path() / "history.sqlite";
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        {
            SqliteKillLog log(file);
            step.run(log);
        }
        // What the marks leave holds after reopening too.
        SqliteKillLog log(file);
        EXPECT_EQ(instantsOf(log.allKills("Boss")), step.listed);
        EXPECT_EQ(log.recordCount("Boss"), static_cast<std::int64_t>(step.listed.size()));
        EXPECT_EQ(log.recentKills("Boss", 1).at(0).utcSeconds, step.listed.back());
        const history::IntervalStats stats = log.killIntervals("Boss");
        EXPECT_EQ(stats.count, step.intervals);
        EXPECT_EQ(stats.minSeconds, step.minSeconds);
        EXPECT_EQ(log.recordCount("Other"), 0);
    }
}

// A database written before undo marks existed gets them and keeps its kills.
TEST(KillHistory, AnOlderDatabaseGainsUndoMarksAndKeepsItsKills) {
    TempDir dir;
    const fs::path file = dir.path() / "history.sqlite";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "CREATE TABLE kills(id INTEGER PRIMARY KEY, boss TEXT NOT NULL, "
                           "utc INTEGER NOT NULL, period INTEGER NOT NULL, delay INTEGER NOT NULL, "
                           "source TEXT NOT NULL, sender TEXT NOT NULL DEFAULT '');"
                           "CREATE INDEX kills_by_boss ON kills(boss, utc, source);"
                           "INSERT INTO kills(boss, utc, period, delay, source) "
                           "VALUES('Boss', 1800000000, 60, 0, 'double-click'),"
                           "('Boss', 1800003600, 60, 0, 'typed');"
                           "PRAGMA user_version=1;",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    SqliteKillLog log(file);
    ASSERT_TRUE(log.isOpen()) << zorvane::text::defaultText(log.notice());
    EXPECT_EQ(log.recordCount("Boss"), 2);
    log.setUndone(kill("Boss", 1'800'003'600, KillSource::Typed), true);
    EXPECT_EQ(instantsOf(log.allKills("Boss")), std::vector<std::int64_t>{1'800'000'000});
    EXPECT_TRUE(brokenFiles(dir.path()).empty());
}

// Files of earlier versions gain the server and line columns in place and keep their kills;
// kills on lines are stored with them and read back, an earlier program's query still reads
// the file, and the intervals stay those of the boss's own row.
TEST(KillHistory, OlderDatabasesGainLinesAndKillsOnLinesReadBack) {
    constexpr const char* kBeforeUndo =
        "CREATE TABLE kills(id INTEGER PRIMARY KEY, boss TEXT NOT NULL, "
        "utc INTEGER NOT NULL, period INTEGER NOT NULL, delay INTEGER NOT NULL, "
        "source TEXT NOT NULL, sender TEXT NOT NULL DEFAULT '');";
    constexpr const char* kBeforeLines =
        "CREATE TABLE kills(id INTEGER PRIMARY KEY, boss TEXT NOT NULL, "
        "utc INTEGER NOT NULL, period INTEGER NOT NULL, delay INTEGER NOT NULL, "
        "source TEXT NOT NULL, sender TEXT NOT NULL DEFAULT '', "
        "undone INTEGER NOT NULL DEFAULT 0);";
    const struct {
        const char* name;
        const char* schema; // nullptr: a new file
    } cases[] = {{"a file from before undo marks", kBeforeUndo},
                 {"a file from before lines", kBeforeLines},
                 {"a new file", nullptr}};
    const std::int64_t t = 1'800'000'000;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const fs::path file = dir.path() / "history.sqlite";
        if (c.schema != nullptr) {
            sqlite3* db = nullptr;
            ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
            const std::string sql = std::string(c.schema) +
                                    "CREATE INDEX kills_by_boss ON kills(boss, utc, source);"
                                    "INSERT INTO kills(boss, utc, period, delay, source) "
                                    "VALUES('黑龙', 1800000000, 60, 0, 'double-click'),"
                                    "('黑龙', 1800003600, 60, 0, 'typed');"
                                    "PRAGMA user_version=1;";
            ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
            sqlite3_close(db);
        } else {
            SqliteKillLog log(file);
            log.recordKill(kill("黑龙", t));
            log.recordKill(kill("黑龙", t + 3600, KillSource::Typed));
        }
        {
            SqliteKillLog log(file);
            ASSERT_TRUE(log.isOpen()) << zorvane::text::defaultText(log.notice());
            log.recordKill(onLine(kill("黑龙", t + 4000, KillSource::Remote, "阿明"), "二区", "3"));
            log.recordKill(onLine(kill("黑龙", t + 4060), "一区", "7"));
        }
        SqliteKillLog log(file);
        const std::vector<KillRecord> kills = log.allKills("黑龙");
        ASSERT_EQ(kills.size(), 4U);
        EXPECT_EQ(kills[0].line, "");
        EXPECT_EQ(kills[0].server, "");
        EXPECT_EQ(kills[1].source, KillSource::Typed);
        EXPECT_EQ(kills[2].server, "二区");
        EXPECT_EQ(kills[2].line, "3");
        EXPECT_EQ(kills[2].sender, "阿明");
        EXPECT_EQ(kills[3].server, "一区");
        EXPECT_EQ(kills[3].line, "7");
        // Kills on lines a minute apart are no interval of the boss.
        const history::IntervalStats stats = log.killIntervals("黑龙");
        EXPECT_EQ(stats.count, 1);
        EXPECT_EQ(stats.minSeconds, 3600);
        // Undo marks the kill on its line, not the row's at the same instant.
        log.setUndone(onLine(kill("黑龙", t + 4060), "一区", "7"), true);
        log.setUndone(onLine(kill("黑龙", t + 3600, KillSource::Typed), "一区", "7"), true);
        EXPECT_EQ(instantsOf(log.allKills("黑龙")),
                  (std::vector<std::int64_t>{t, t + 3600, t + 4000}));
        // The query of a program from before lines, on the file as it is now.
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
        sqlite3_stmt* stmt = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db,
                                     "SELECT boss, utc, period, delay, source, sender FROM kills "
                                     "WHERE boss = '黑龙' AND undone = 0",
                                     -1, &stmt, nullptr),
                  SQLITE_OK);
        int rows = 0;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            ++rows;
        }
        sqlite3_finalize(stmt);
        sqlite3_close(db);
        EXPECT_EQ(rows, 3);
        EXPECT_TRUE(brokenFiles(dir.path()).empty());
    }
}

// A full disk at the first opening: kills wait, are reported with their number, and are
// stored once the disk has room again; the notice is then withdrawn.
TEST(KillHistory, AFailedOpeningIsTriedAgainAndTheKillsThatWaitedAreStored) {
    TempDir dir;
    const fs::path file = dir.path() / "history.sqlite";
    NoticeSink sink;
    SqliteKillLog log(file);
    log.setNoticeHandler(sink.handler());
    {
        const zt::FileSizeLimit full(0);
        ASSERT_TRUE(full.active());
        log.recordKill(kill("Boss", 1'800'000'000));
        log.recordKill(kill("Boss", 1'800'003'600));
        EXPECT_FALSE(log.flush());
        EXPECT_FALSE(log.isOpen());
    }
    {
        std::lock_guard lock(sink.mutex);
        ASSERT_FALSE(sink.texts.empty());
        EXPECT_NE(sink.texts.front().find("无法打开历史记录数据库"), std::string::npos)
            << sink.texts.front();
        EXPECT_NE(sink.texts.back().find("2 条击杀未记入"), std::string::npos) << sink.texts.back();
        EXPECT_EQ(sink.texts.back().find("not an error"), std::string::npos);
    }
    log.recordKill(kill("Boss", 1'800'007'200));
    EXPECT_TRUE(log.flush());
    EXPECT_TRUE(log.isOpen());
    EXPECT_EQ(instantsOf(log.allKills("Boss")),
              (std::vector<std::int64_t>{1'800'000'000, 1'800'003'600, 1'800'007'200}));
    EXPECT_TRUE(log.notice().empty());
    std::lock_guard lock(sink.mutex);
    EXPECT_EQ(sink.texts.back(), "");
}

// A write that fails once the database is open (a full disk here; a read-only file for
// anyone but root) names the library's reason, not the "not an error" a rollback leaves.
TEST(KillHistory, AFailedWriteSaysWhyAndKeepsTheKillsForTheNextTry) {
    struct Case {
        const char* name;
        std::function<std::optional<zt::FileSizeLimit>(const fs::path& file)> fail;
        std::function<void(const fs::path& file)> mend;
        const char* reason;
        bool needsNonRoot;
    };
    const Case cases[] = {
        {"full disk",
         [](const fs::path& file) {
             return std::optional<zt::FileSizeLimit>(std::in_place,
                                                     fs::file_size(file.string() + "-wal"));
         },
         [](const fs::path&) {}, "disk I/O error", false},
        {"read-only file",
         [](const fs::path& file) {
             ::chmod(file.c_str(), 0444);
             return std::optional<zt::FileSizeLimit>();
         },
         [](const fs::path& file) { ::chmod(file.c_str(), 0644); }, "readonly", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.needsNonRoot && ::geteuid() == 0) {
            continue; // permissions do not bind root
        }
        TempDir dir;
        const fs::path file = dir.path() / "history.sqlite";
        fillDatabase(file, 3);
        NoticeSink sink;
        {
            SqliteKillLog log(file);
            log.setNoticeHandler(sink.handler());
            {
                ASSERT_TRUE(log.isOpen());
                std::optional<zt::FileSizeLimit> limit = c.fail(file);
                for (int i = 0; i < 200; ++i) {
                    log.recordKill(kill("甲", 1'900'000'000 + i));
                }
                EXPECT_FALSE(log.flush());
                std::lock_guard lock(sink.mutex);
                ASSERT_FALSE(sink.texts.empty());
                EXPECT_NE(sink.texts.back().find("200 条击杀未记入"), std::string::npos)
                    << sink.texts.back();
                EXPECT_NE(sink.texts.back().find(c.reason), std::string::npos) << sink.texts.back();
                EXPECT_EQ(sink.texts.back().find("not an error"), std::string::npos);
            }
            c.mend(file);
            EXPECT_TRUE(log.flush());
            EXPECT_EQ(log.recordCount("甲"), 200);
        }
        std::lock_guard lock(sink.mutex);
        EXPECT_EQ(sink.texts.back(), "");
    }
}

// A pipe in the place of the database or its journal would hold SQLite for ever; it is
// moved aside like any other file that is not a database.
TEST(KillHistory, APipeInThePlaceOfTheDatabaseOrItsJournalIsMovedAside) {
    for (const char* suffix : {"", "-wal", "-shm"}) {
        SCOPED_TRACE(std::string("history.sqlite") + suffix);
        TempDir dir;
        const fs::path file = dir.path() / "history.sqlite";
        if (*suffix != '\0') {
            fillDatabase(file, 3);
            fs::remove(file.string() + suffix);
        }
        ASSERT_EQ(::mkfifo((file.string() + suffix).c_str(), 0600), 0);
        SqliteKillLog log(file);
        log.recordKill(kill("甲", 1'800'000'000));
        EXPECT_TRUE(log.flush());
        EXPECT_EQ(log.recordCount("甲"), 1);
        EXPECT_NE(zorvane::text::defaultText(log.notice()).find("已损坏"), std::string::npos);
        EXPECT_EQ(brokenFiles(dir.path()).size(), 1u);
    }
}
