#include "alarm/embeddedsound.h"
#include "alarm/playback.h"
#include "tests/alarm/wavfiles.h"

#include <gtest/gtest.h>

#include <exception>
#include <filesystem>
#include <map>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;
using namespace zorvane::alarm;
using namespace zorvane::alarm::testing;

namespace {

// Stands in for the audio hardware: records every command and answers with the
// code set for its verb (0 by default).
class RecordingDevice final : public SoundDevice {
public:
    int sendCommand(const std::string& command) override {
        commands.push_back(command);
        const std::string verb = command.substr(0, command.find(' '));
        if (const auto thrown = throws.find(verb); thrown != throws.end()) {
            std::rethrow_exception(thrown->second);
        }
        const auto it = answers.find(verb);
        return it == answers.end() ? 0 : it->second;
    }
    std::vector<std::string> commands;
    std::map<std::string, int> answers;
    std::map<std::string, std::exception_ptr> throws; // what a verb throws instead
};

class RecordingStatus final : public zorvane::schedule::WriteStatusSink {
public:
    void writeFailed(const std::string& file, const std::string& reason) override {
        events.push_back("failed " + fs::path(file).filename().string() + " | " + reason);
    }
    void writeSucceeded(const std::string& file) override {
        events.push_back("ok " + fs::path(file).filename().string());
    }
    void soundFailed(const std::string& source, const zorvane::text::Message& reason) override {
        events.push_back("silent " + fs::path(source).filename().string() + " | " +
                         zorvane::text::defaultText(reason));
    }
    std::vector<std::string> events;
};

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "zorvane-alarm-XXXXXX").string();
        path = ::mkdtemp(pattern.data()) ? fs::path(pattern) : fs::path();
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    fs::path path;
};

std::vector<std::string> alarmCommands(const std::string& file) {
    return {"close 1", "open \"" + file + "\" alias 1", "play 1"};
}

TEST(PlaySound, SendsCloseOpenPlayAndReportsThePlayAnswer) {
    RecordingDevice device;
    device.answers["close"] = 263; // nothing open yet: must not stop the alarm
    device.answers["open"] = 0;
    EXPECT_TRUE(playSound(device, "C:\\sounds\\bell.wav", "1"));
    EXPECT_EQ(device.commands, alarmCommands("C:\\sounds\\bell.wav"));

    device.commands.clear();
    device.answers["play"] = 5;
    EXPECT_FALSE(playSound(device, "/tmp/a b.wav", "A"));
    EXPECT_EQ(device.commands,
              (std::vector<std::string>{"close A", "open \"/tmp/a b.wav\" alias A", "play A"}));
}

TEST(SoundAlarm, BuiltInSoundIsWrittenOnceAndPlayedFromTheWorkingFile) {
    TempDir dir;
    const fs::path working = dir.path / "1.wav";
    RecordingDevice device;

    soundAlarm(device, "", dir.path.string());
    EXPECT_EQ(device.commands, alarmCommands(working.string()));
    ASSERT_TRUE(fs::exists(working));
    EXPECT_EQ(fs::file_size(working), 4'608'044u);
    EXPECT_TRUE(readFile(working) == embeddedAlarmSound());
    // Only the finished file remains: no temporary left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);

    // A file of the right size is left alone on later alarms.
    const std::string marker(4'608'044, 'x');
    writeFile(working, marker);
    device.commands.clear();
    soundAlarm(device, "", dir.path.string());
    EXPECT_EQ(device.commands, alarmCommands(working.string()));
    EXPECT_TRUE(readFile(working) == marker);

    // A damaged or deleted file is written again.
    fs::resize_file(working, 1000);
    soundAlarm(device, "", dir.path.string());
    EXPECT_TRUE(readFile(working) == embeddedAlarmSound());
    fs::remove(working);
    soundAlarm(device, "", dir.path.string());
    EXPECT_TRUE(readFile(working) == embeddedAlarmSound());
}

TEST(SoundAlarm, AFileFromAnEarlierRunIsReplacedOnFirstUse) {
    TempDir dir;
    const fs::path working = dir.path / "1.wav";
    writeFile(working, std::string(4'608'044, '\0'));
    RecordingDevice device;
    soundAlarm(device, "", dir.path.string());
    EXPECT_TRUE(readFile(working) == embeddedAlarmSound());
}

TEST(SoundAlarm, ChosenFileIsPlayedAsWrittenAndTheWorkingFileUntouched) {
    TempDir dir;
    RecordingDevice device;
    soundAlarm(device, "C:\\sounds\\bell.wav", dir.path.string());
    EXPECT_EQ(device.commands, alarmCommands("C:\\sounds\\bell.wav"));
    EXPECT_FALSE(fs::exists(dir.path / "1.wav"));

    device.commands.clear();
    soundAlarm(device, "sounds/relative.wav", dir.path.string());
    EXPECT_EQ(device.commands, alarmCommands("sounds/relative.wav"));
    EXPECT_FALSE(fs::exists(dir.path / "1.wav"));
}

TEST(SoundAlarm, AChosenFileTheDeviceCannotOpenFallsBackToTheBuiltInSound) {
    // The answer of "open" for the chosen file decides; play's answer never does.
    struct Case {
        int openAnswer;
        int playAnswer;
        bool builtIn;
    };
    const Case cases[] = {
        {0, 0, false}, {0, 5, false}, {4, 2, true}, {6, 2, true}, {1, 0, true},
    };
    for (const Case& c : cases) {
        TempDir dir;
        RecordingDevice device;
        device.answers = {{"close", 2}, {"open", c.openAnswer}, {"play", c.playAnswer}};
        EXPECT_NO_THROW(soundAlarm(device, "/sounds/chosen.wav", dir.path.string()));
        std::vector<std::string> expected = {"close 1", "open \"/sounds/chosen.wav\" alias 1"};
        if (c.builtIn) {
            const auto builtIn = alarmCommands((dir.path / "1.wav").string());
            expected.insert(expected.end(), builtIn.begin(), builtIn.end());
        } else {
            expected.push_back("play 1");
        }
        EXPECT_EQ(device.commands, expected) << "open answered " << c.openAnswer;
        EXPECT_EQ(fs::exists(dir.path / "1.wav"), c.builtIn) << "open answered " << c.openAnswer;
    }
}

// An alarm that stays silent says why: the built-in sound refused by the device, or an
// exception of the device or the memory, which once vanished in a catch-all. The reason
// goes to the silence sink as words for the user, not as a failed write; without a sink
// the write status carries it as a sound that failed, so that it is not lost.
TEST(SoundAlarm, ASilentAlarmSaysWhy) {
    struct Case {
        const char* name;
        const char* chosen;
        std::map<std::string, int> answers;
        std::map<std::string, std::exception_ptr> throws;
        std::vector<std::string> writes;   // what the write status hears
        std::vector<std::string> silences; // what the silence sink hears
    };
    const std::string silent = "预警声音未能播放";
    const Case cases[] = {
        {"plays", "", {}, {}, {"ok 1.wav"}, {}},
        {"the device refuses the built-in sound", "", {{"play", 5}}, {}, {"ok 1.wav"}, {silent}},
        {"the chosen file plays, then the device refuses", "/s/a.wav", {{"play", 5}}, {}, {}, {}},
        {"no thread for the decoding",
         "/s/a.wav",
         {},
         {{"open", std::make_exception_ptr(std::system_error(
                       std::make_error_code(std::errc::resource_unavailable_try_again)))}},
         {},
         {silent + "：Resource temporarily unavailable"}},
        {"out of memory",
         "",
         {},
         {{"close", std::make_exception_ptr(std::bad_alloc())}},
         {"ok 1.wav"},
         {silent + "：std::bad_alloc"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const bool withSink : {true, false}) {
            SCOPED_TRACE(withSink ? "with a silence sink" : "without one");
            TempDir dir;
            RecordingDevice device;
            device.answers = c.answers;
            device.throws = c.throws;
            RecordingStatus status;
            std::vector<std::string> silences;
            const SilenceSink sink = [&silences](const zorvane::text::Message& reason) {
                silences.push_back(zorvane::text::defaultText(reason));
            };
            EXPECT_NO_THROW(soundAlarm(device, c.chosen, dir.path.string(), &status,
                                       withSink ? sink : SilenceSink()));
            std::vector<std::string> writes = c.writes;
            if (withSink) {
                EXPECT_EQ(silences, c.silences);
            } else {
                for (const std::string& reason : c.silences) {
                    writes.push_back("silent 1.wav | " + reason);
                }
            }
            EXPECT_EQ(status.events, writes);
        }
    }
}

TEST(SoundAlarm, FailuresNeverStopTheCaller) {
    RecordingDevice device;
    device.answers = {{"close", 2}, {"open", 4}, {"play", 2}};
    // A program directory that cannot be written: the alarm is still attempted.
    TempDir dir;
    const fs::path missingDir = dir.path / "gone";
    EXPECT_NO_THROW(soundAlarm(device, "", missingDir.string()));
    EXPECT_EQ(device.commands, alarmCommands((missingDir / "1.wav").string()));
    EXPECT_FALSE(fs::exists(missingDir));
    EXPECT_FALSE(ensureWorkingSoundFile(missingDir.string()));
}

} // namespace
