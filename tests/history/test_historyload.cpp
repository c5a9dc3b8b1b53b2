// SQLite is opened with the history's first use, in a process that does not link it: kills
// recorded before it is up wait in the writer's queue and all reach the file.
#include "history/killhistory.h"

#include "tests/support/mappedlibrary.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace zorvane;
using schedule::KillRecord;
using schedule::KillSource;

namespace {

std::vector<std::int64_t> instantsOf(const std::vector<KillRecord>& records) {
    std::vector<std::int64_t> instants;
    for (const KillRecord& record : records) {
        instants.push_back(record.utcSeconds);
    }
    return instants;
}

} // namespace

#ifdef __linux__
TEST(HistoryLoad, KillsRecordedBeforeSqliteIsUpAllReachTheFile) {
    ASSERT_FALSE(zorvane::testing::libraryMapped("libsqlite3"))
        << "the history opens SQLite itself; nothing links it into this test";
    const zorvane::testing::TempDir dir;
    const auto file = dir.path() / "history.sqlite";
    const struct {
        const char* boss;
        std::int64_t utc;
        KillSource source;
    } kills[] = {
        {"火龙", 1'700'000'000, KillSource::DoubleClick},
        {"Hydra", 1'700'000'060, KillSource::CommandLine},
        {"火龙", 1'700'003'600, KillSource::Typed},
        {"火龙", 1'700'007'200, KillSource::RollOver},
        {"Hydra", 1'700'007'260, KillSource::Remote},
    };
    {
        history::SqliteKillLog log(file);
        EXPECT_FALSE(zorvane::testing::libraryMapped("libsqlite3")) << "construction opens nothing";
        // Recorded at once, one after the other; the writer loads SQLite meanwhile. The
        // log goes without a flush: its end stores what waits.
        for (const auto& kill : kills) {
            log.recordKill(KillRecord{kill.boss, kill.utc, 60, 5, kill.source, ""});
        }
    }
    EXPECT_TRUE(zorvane::testing::libraryMapped("libsqlite3"));
    history::SqliteKillLog reread(file);
    for (const char* boss : {"火龙", "Hydra"}) {
        std::vector<std::int64_t> expected;
        for (const auto& kill : kills) {
            if (std::string(kill.boss) == boss) {
                expected.push_back(kill.utc);
            }
        }
        EXPECT_EQ(instantsOf(reread.allKills(boss)), expected) << boss;
    }
    EXPECT_TRUE(reread.notice().empty());
}
#endif
