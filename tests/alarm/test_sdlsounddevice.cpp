#include "alarm/playback.h"
#include "alarm/sdlsounddevice.h"
#include "tests/alarm/wavfiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>

#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace zorvane::alarm;
using namespace zorvane::alarm::testing;

namespace {

// Runs the real SDL device on its disk driver: what would reach the speakers is
// written, in real time, to a raw file of 16-bit stereo samples.
class SdlDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "zorvane-sdl-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
        m_output = m_dir / "speaker.raw";
        ::setenv("SDL_AUDIODRIVER", "disk", 1);
        ::setenv("SDL_DISKAUDIOFILE", m_output.c_str(), 1);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }

    std::string output() const { return readFile(m_output); }
    std::size_t outputSize() const {
        std::error_code error;
        const auto size = fs::file_size(m_output, error);
        return error ? 0 : static_cast<std::size_t>(size);
    }
    static bool waitFor(const std::function<bool()>& condition,
                        std::chrono::milliseconds limit = 5000ms) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            std::this_thread::sleep_for(20ms);
        }
        return true;
    }
    fs::path wavFile(const std::string& name, double tone, double silence) const {
        const fs::path path = m_dir / name;
        writeFile(path, toneThenSilence(tone, silence));
        return path;
    }

    fs::path m_dir;
    fs::path m_output;
};

TEST_F(SdlDeviceTest, BuiltInAlarmReachesTheSpeaker) {
    SdlSoundDevice device;
    soundAlarm(device, "", m_dir.string());
    EXPECT_TRUE(device.isPlaying("1"));
    EXPECT_TRUE(waitFor([&] { return hasSound(output()); }))
        << "no sample of the alarm was written by the audio driver";
}

TEST_F(SdlDeviceTest, RefusesWhatItCannotDo) {
    SdlSoundDevice device;
    EXPECT_EQ(device.sendCommand("play 1"), SdlSoundDevice::kUnknownAlias);
    EXPECT_EQ(device.sendCommand("close 1"), SdlSoundDevice::kUnknownAlias);
    EXPECT_EQ(device.sendCommand("open \"" + (m_dir / "missing.wav").string() + "\" alias 1"),
              SdlSoundDevice::kCannotOpenFile);
    const fs::path notWav = m_dir / "note.txt";
    writeFile(notWav, "just some text, not a sound");
    EXPECT_EQ(device.sendCommand("open \"" + notWav.string() + "\" alias 1"),
              SdlSoundDevice::kCannotOpenFile);
    EXPECT_EQ(device.sendCommand("play 1"), SdlSoundDevice::kUnknownAlias);
    EXPECT_EQ(device.sendCommand("rewind 1"), SdlSoundDevice::kUnrecognizedCommand);
    EXPECT_EQ(device.sendCommand(""), SdlSoundDevice::kUnrecognizedCommand);
    EXPECT_EQ(device.sendCommand("open \"unterminated alias 1"),
              SdlSoundDevice::kUnrecognizedCommand);
    EXPECT_EQ(device.sendCommand("play 1 wait"), SdlSoundDevice::kUnrecognizedCommand);

    const fs::path wav = wavFile("a.wav", 0.1, 0.0);
    EXPECT_EQ(device.sendCommand("open \"" + wav.string() + "\" alias 1"), 0);
    EXPECT_EQ(device.sendCommand("open \"" + wav.string() + "\" alias 1"),
              SdlSoundDevice::kAliasInUse);
    // A missing chosen file through the alarm path: silent, and nothing escapes.
    EXPECT_NO_THROW(soundAlarm(device, (m_dir / "missing.wav").string(), m_dir.string()));
    EXPECT_FALSE(device.isPlaying("1"));
    EXPECT_FALSE(fs::exists(m_dir / "1.wav"));
}

TEST_F(SdlDeviceTest, VerbsAndNamesIgnoreCaseAndBlanksInQuotedNames) {
    SdlSoundDevice device;
    const fs::path wav = wavFile("with blank.wav", 5.0, 0.0);
    EXPECT_EQ(device.sendCommand("OPEN \"" + wav.string() + "\" ALIAS Bell"), 0);
    EXPECT_EQ(device.sendCommand("Play bell"), 0);
    EXPECT_TRUE(device.isPlaying("BELL"));
    EXPECT_EQ(device.sendCommand("close BELL"), 0);
    EXPECT_FALSE(device.isPlaying("bell"));
}

TEST_F(SdlDeviceTest, CloseSilencesThePlayingSound) {
    SdlSoundDevice device;
    const fs::path wav = wavFile("long.wav", 20.0, 0.0);
    ASSERT_TRUE(playSound(device, wav.string(), "1"));
    ASSERT_TRUE(waitFor([&] { return hasSound(output()); }));
    EXPECT_EQ(device.sendCommand("close 1"), 0);
    // Buffers mixed before the close may still be on their way to the file.
    std::this_thread::sleep_for(300ms);
    const std::size_t closedAt = outputSize();
    ASSERT_TRUE(waitFor([&] { return outputSize() > closedAt + 176400 / 4; }));
    EXPECT_FALSE(hasSound(output(), closedAt));
}

TEST_F(SdlDeviceTest, ANewAlarmStartsTheSoundAgainFromItsBeginning) {
    SdlSoundDevice device;
    // A short burst at the start, then a long silence.
    const fs::path wav = wavFile("burst.wav", 0.2, 30.0);
    ASSERT_TRUE(playSound(device, wav.string(), "1"));
    ASSERT_TRUE(waitFor([&] { return hasSound(output()); }));
    std::this_thread::sleep_for(600ms);
    const std::size_t burstOver = outputSize();
    ASSERT_TRUE(waitFor([&] { return outputSize() > burstOver + 176400 / 4; }));
    ASSERT_FALSE(hasSound(output(), burstOver)) << "the burst should be over by now";
    EXPECT_TRUE(device.isPlaying("1"));

    ASSERT_TRUE(playSound(device, wav.string(), "1"));
    EXPECT_TRUE(waitFor([&] { return hasSound(output(), burstOver); }))
        << "the second alarm did not start from the beginning";
}

TEST_F(SdlDeviceTest, ASoundThatEndedPlaysAgainOnPlay) {
    SdlSoundDevice device;
    const fs::path wav = wavFile("blip.wav", 0.05, 0.0);
    ASSERT_TRUE(playSound(device, wav.string(), "1"));
    ASSERT_TRUE(waitFor([&] { return !device.isPlaying("1"); }));
    std::this_thread::sleep_for(300ms);
    const std::size_t endedAt = outputSize();
    ASSERT_TRUE(waitFor([&] { return outputSize() > endedAt + 176400 / 4; }));
    ASSERT_FALSE(hasSound(output(), endedAt));
    EXPECT_EQ(device.sendCommand("play 1"), 0);
    EXPECT_TRUE(waitFor([&] { return hasSound(output(), endedAt); }));
}

TEST_F(SdlDeviceTest, NoAudioDriverMeansPlayFails) {
    ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    SdlSoundDevice device;
    const fs::path wav = wavFile("a.wav", 0.1, 0.0);
    EXPECT_EQ(device.sendCommand("open \"" + wav.string() + "\" alias 1"), 0);
    EXPECT_EQ(device.sendCommand("play 1"), SdlSoundDevice::kNoAudioDevice);
    EXPECT_FALSE(playSound(device, wav.string(), "1"));
}

} // namespace
