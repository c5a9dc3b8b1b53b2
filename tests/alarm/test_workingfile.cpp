#include "alarm/embeddedsound.h"
#include "alarm/playback.h"
#include "schedule/services.h"
#include "tests/support/filelimit.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace zorvane::alarm;
using zorvane::testing::FileSizeLimit;
using zorvane::testing::readBytes;
using zorvane::testing::TempDir;
using zorvane::testing::writeBytes;

namespace {

// Stands in for the audio hardware: accepts every command.
class SilentDevice final : public SoundDevice {
public:
    int sendCommand(const std::string& command) override {
        commands.push_back(command);
        return 0;
    }
    std::vector<std::string> commands;
};

class RecordingStatus final : public zorvane::schedule::WriteStatusSink {
public:
    void writeFailed(const std::string& file, const std::string& reason) override {
        events.push_back("failed " + file + " | " + reason);
    }
    void writeSucceeded(const std::string& file) override { events.push_back("ok " + file); }
    std::vector<std::string> events;
};

struct Failure {
    const char* what;
    // Prepares the program directory and returns it.
    fs::path (*prepare)(const fs::path& dir);
    const char* reason;
    rlim_t sizeLimit; // 0: none
};

} // namespace

TEST(WorkingSoundFile, AFailedWriteIsReportedWithItsReasonAndTheAlarmStillTried) {
    const Failure failures[] = {
        {"program directory below a plain file",
         [](const fs::path& dir) {
             writeBytes(dir / "plain", "x");
             return dir / "plain";
         },
         "Not a directory", 0},
        {"a damaged copy the user made read-only",
         [](const fs::path& dir) {
             writeBytes(dir / "1.wav", "short");
             ::chmod((dir / "1.wav").c_str(), 0444);
             return dir;
         },
         "the file is read-only", 0},
        {"a disk without room", [](const fs::path& dir) { return dir; }, "File too large", 4096},
    };
    for (const Failure& f : failures) {
        SCOPED_TRACE(f.what);
        TempDir temp;
        const fs::path dir = f.prepare(temp.path());
        const std::string working = workingSoundPath(dir.string());
        const std::optional<std::string> before =
            fs::exists(working) ? std::optional(readBytes(working)) : std::nullopt;
        SilentDevice device;
        RecordingStatus status;
        {
            std::optional<FileSizeLimit> limit;
            if (f.sizeLimit != 0) {
                limit.emplace(f.sizeLimit);
                ASSERT_TRUE(limit->active());
            }
            soundAlarm(device, "", dir.string(), &status);
        }
        EXPECT_EQ(status.events, std::vector<std::string>{"failed " + working + " | " + working +
                                                          ": " + f.reason});
        EXPECT_EQ(device.commands.size(), 3u);
        EXPECT_EQ(fs::exists(working) ? std::optional(readBytes(working)) : std::nullopt, before);
    }
}

TEST(WorkingSoundFile, AWriteThatWorksAgainIsReportedAndAChosenFileReportsNothing) {
    TempDir temp;
    const std::string dir = temp.path().string();
    const std::string working = workingSoundPath(dir);
    SilentDevice device;
    RecordingStatus status;
    {
        FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.active());
        soundAlarm(device, "", dir, &status);
    }
    soundAlarm(device, "", dir, &status);
    ASSERT_EQ(status.events.size(), 2u);
    EXPECT_EQ(status.events[0].rfind("failed " + working, 0), 0u);
    EXPECT_EQ(status.events[1], "ok " + working);
    EXPECT_TRUE(readBytes(working) == embeddedAlarmSound());

    status.events.clear();
    soundAlarm(device, "/sounds/bell.wav", dir, &status);
    EXPECT_TRUE(status.events.empty());
    std::string error = "unchanged";
    EXPECT_TRUE(ensureWorkingSoundFile(dir, &error));
    EXPECT_EQ(error, "unchanged");
}
