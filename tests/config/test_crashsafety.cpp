#include "config/configfiles.h"

#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <signal.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace zorvane::config;
using namespace zorvane::schedule;
using zorvane::testing::readBytes;
using zorvane::testing::TempDir;

namespace {

void fill(BossTable& table, int rows, const std::string& tag) {
    for (int i = 0; i < rows; ++i) {
        const int row = table.appendRow();
        table.setCheckState(row, i % 2 == 0);
        table.setCellText(row, kNumberColumn, std::to_string(row));
        table.setCellText(row, kNameColumn, tag + "首领" + std::to_string(row));
        table.setCellText(row, kPeriodColumn, std::to_string(30 + i % 90));
        table.setCellText(row, kLastTimeColumn, "10:00:00");
        table.setCellText(row, kNextTimeColumn, "10:30:00");
    }
}

} // namespace

// A process killed while saving never leaves a partial or missing table file.
TEST(CrashSafety, KilledSaverLeavesOldOrNewTable) {
    BossTable first;
    BossTable second;
    fill(first, 1000, "甲");
    fill(second, 1000, "乙");
    TempDir reference;
    ASSERT_TRUE(saveTable(first, reference.path()));
    const std::string firstBytes = readBytes(tableFilePath(reference.path()));
    ASSERT_TRUE(saveTable(second, reference.path()));
    const std::string secondBytes = readBytes(tableFilePath(reference.path()));
    ASSERT_NE(firstBytes, secondBytes);

    TempDir dir;
    ASSERT_TRUE(saveTable(first, dir.path()));
    // Kill within about one and a half saves' time, so some kills land before the first
    // save completes and others after it, at any point of a write.
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(saveTable(first, dir.path()));
    const auto saveTime = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start);
    std::mt19937 random(12345);
    std::uniform_int_distribution<long> pause(0, saveTime.count() * 3 / 2 + 1000);
    int firstSeen = 0;
    int secondSeen = 0;
    for (int round = 0; round < 200; ++round) {
        // The child's first save writes the table that is not on disk yet.
        const bool firstOnDisk = readBytes(tableFilePath(dir.path())) == firstBytes;
        const BossTable& next = firstOnDisk ? second : first;
        const BossTable& other = firstOnDisk ? first : second;
        const std::string& nextBytes = firstOnDisk ? secondBytes : firstBytes;
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (unsigned i = 0;; ++i) {
                // A failed save leaves the old table, which the parent accepts too.
                static_cast<void>(saveTable(i % 2 ? other : next, dir.path()));
            }
        }
        if (round % 2 == 1) {
            // Let the child finish at least one save first, however loaded the machine is,
            // so that kills land both before and after a completed save.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (readBytes(tableFilePath(dir.path())) != nextBytes &&
                   std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(pause(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        const std::string bytes = readBytes(tableFilePath(dir.path()));
        const bool isFirst = bytes == firstBytes;
        const bool isSecond = bytes == secondBytes;
        ASSERT_TRUE(isFirst || isSecond) << "round " << round << ": " << bytes.size() << " bytes";
        firstSeen += isFirst;
        secondSeen += isSecond;
        if (round % 20 == 0) {
            BossTable loaded;
            loadTable(loaded, dir.path());
            ASSERT_EQ(loaded.rowCount(), 1001);
        }
    }
    // The kills landed at different moments of the loop.
    EXPECT_GT(secondSeen, 0);
    EXPECT_GT(firstSeen, 0);
}
