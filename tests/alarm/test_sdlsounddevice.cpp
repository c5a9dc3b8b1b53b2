#include "alarm/playback.h"
#include "alarm/sdlapi.h"
#include "alarm/sdlsounddevice.h"
#include "tests/alarm/wavfiles.h"
#include "tests/support/waitfor.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace zorvane::alarm;
using namespace zorvane::alarm::testing;

namespace {

// "open" waits this long for a decoding here, so that a loaded machine never turns an
// answer of 0 into kNotReady; only the test of a decoding too long to wait for keeps the
// program's own wait.
constexpr std::chrono::milliseconds kPatient = 60s;

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
    // Where the first sample that is not silence lies in what the driver wrote.
    static std::size_t firstSound(const std::string& bytes) {
        for (std::size_t at = 0; at + 1 < bytes.size(); at += 2) {
            if (sample16(bytes, at) != 0) {
                return at;
            }
        }
        return bytes.size();
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
    SdlSoundDevice device(kPatient);
    soundAlarm(device, "", m_dir.string());
    EXPECT_TRUE(device.isPlaying("1"));
    EXPECT_TRUE(zorvane::testing::waitFor([&] { return hasSound(output()); }))
        << "no sample of the alarm was written by the audio driver";
}

TEST_F(SdlDeviceTest, RefusesWhatItCannotDo) {
    SdlSoundDevice device(kPatient);
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
    // A missing chosen file through the alarm path: nothing escapes, and the built-in
    // sound plays instead.
    EXPECT_NO_THROW(soundAlarm(device, (m_dir / "missing.wav").string(), m_dir.string()));
    EXPECT_TRUE(device.isPlaying("1"));
    EXPECT_TRUE(fs::exists(m_dir / "1.wav"));
}

TEST_F(SdlDeviceTest, VerbsAndNamesIgnoreCaseAndBlanksInQuotedNames) {
    SdlSoundDevice device(kPatient);
    const fs::path wav = wavFile("with blank.wav", 5.0, 0.0);
    EXPECT_EQ(device.sendCommand("OPEN \"" + wav.string() + "\" ALIAS Bell"), 0);
    EXPECT_EQ(device.sendCommand("Play bell"), 0);
    EXPECT_TRUE(device.isPlaying("BELL"));
    EXPECT_EQ(device.sendCommand("close BELL"), 0);
    EXPECT_FALSE(device.isPlaying("bell"));
}

TEST_F(SdlDeviceTest, CloseSilencesThePlayingSoundAndReleasesTheDevice) {
    SdlSoundDevice device(kPatient);
    const fs::path wav = wavFile("long.wav", 20.0, 0.0);
    ASSERT_TRUE(playSound(device, wav.string(), "1"));
    ASSERT_TRUE(zorvane::testing::waitFor([&] { return hasSound(output()); }));
    EXPECT_EQ(device.sendCommand("close 1"), 0);
    const std::size_t closedAt = outputSize();
    // Nothing plays any more: the device closes and the decoded copy goes.
    ASSERT_TRUE(zorvane::testing::waitFor([&] { return !device.isAudioOpen(); }));
    EXPECT_EQ(device.decodedCount(), 0u);
    // Buffers mixed before the close may still have been on their way to the file.
    const std::size_t inFlight = 3 * 2048 * 4;
    EXPECT_FALSE(hasSound(output(), closedAt + inFlight));
}

TEST_F(SdlDeviceTest, ANewAlarmStartsTheSoundAgainFromItsBeginning) {
    SdlSoundDevice device(kPatient);
    // A short burst at the start, then a long silence.
    const fs::path wav = wavFile("burst.wav", 0.2, 30.0);
    ASSERT_TRUE(playSound(device, wav.string(), "1"));
    ASSERT_TRUE(zorvane::testing::waitFor([&] { return hasSound(output()); }));
    // The burst is over once the driver has written its length past where it began, and
    // the buffers mixed meanwhile; counted in bytes written, not in time waited.
    const std::size_t began = firstSound(output());
    const std::size_t burstBytes = 176400 / 5 + 3 * 2048 * 4;
    ASSERT_TRUE(zorvane::testing::waitFor([&] { return outputSize() > began + burstBytes; }));
    const std::size_t burstOver = outputSize();
    ASSERT_TRUE(zorvane::testing::waitFor([&] { return outputSize() > burstOver + 176400 / 4; }));
    ASSERT_FALSE(hasSound(output(), burstOver)) << "the burst should be over by now";
    EXPECT_TRUE(device.isPlaying("1"));

    ASSERT_TRUE(playSound(device, wav.string(), "1"));
    EXPECT_TRUE(zorvane::testing::waitFor([&] { return hasSound(output(), burstOver); }))
        << "the second alarm did not start from the beginning";
}

TEST_F(SdlDeviceTest, ASoundThatEndedPlaysAgainOnPlayAfterTheDeviceWasReleased) {
    SdlSoundDevice device(kPatient);
    const fs::path wav = wavFile("blip.wav", 0.05, 0.0);
    ASSERT_TRUE(playSound(device, wav.string(), "1"));
    ASSERT_TRUE(zorvane::testing::waitFor([&] { return hasSound(output()); }));
    ASSERT_TRUE(
        zorvane::testing::waitFor([&] { return !device.isPlaying("1") && !device.isAudioOpen(); }));
    EXPECT_EQ(device.decodedCount(), 0u);
    EXPECT_FALSE(isSdlLoaded());
    // What was played so far is put aside; the device writes a new file when it opens.
    fs::rename(m_output, m_dir / "first.raw");
    EXPECT_EQ(device.sendCommand("play 1"), 0);
    EXPECT_TRUE(device.isAudioOpen());
    EXPECT_TRUE(zorvane::testing::waitFor([&] { return hasSound(output()); }));
}

TEST_F(SdlDeviceTest, NoAudioDriverMeansPlayFails) {
    ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    SdlSoundDevice device(kPatient);
    const fs::path wav = wavFile("a.wav", 0.1, 0.0);
    EXPECT_EQ(device.sendCommand("open \"" + wav.string() + "\" alias 1"), 0);
    EXPECT_EQ(device.sendCommand("play 1"), SdlSoundDevice::kNoAudioDevice);
    EXPECT_FALSE(playSound(device, wav.string(), "1"));
}

// What prepare tells: "" when the sound is ready, else the refusal; "(no answer)" when
// it did not answer in time.
std::string prepared(SdlSoundDevice& device, const std::string& file,
                     std::chrono::seconds limit = 30s) {
    auto answer = std::make_shared<std::promise<std::string>>();
    std::future<std::string> result = answer->get_future();
    device.prepare(file, [answer](const zorvane::text::Message& refusal) {
        answer->set_value(zorvane::text::defaultText(refusal));
    });
    if (result.wait_for(limit) != std::future_status::ready) {
        return "(no answer)";
    }
    return result.get();
}

TEST_F(SdlDeviceTest, FilesThatCannotBePlayedAreRefusedWithAReasonAndTheBuiltInSoundPlays) {
    const fs::path pipe = m_dir / "pipe.wav";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    fs::create_directory(m_dir / "folder.wav");
    // Over the limit by its size alone: refused before anything is read.
    const fs::path large = m_dir / "large.wav";
    writeFile(large, lowRateWav(16, 0.0));
    fs::resize_file(large, (64u << 20) + 1);
    const fs::path text = m_dir / "text.wav";
    writeFile(text, "not a sound at all");
    struct Case {
        fs::path file;
        std::string reason;
    };
    const Case cases[] = {
        {m_dir / "missing.wav", "找不到"},
        {m_dir / "folder.wav", "不是普通文件"},
        {pipe, "不是普通文件"},
        {"/dev/zero", "不是普通文件"},
        {large, "64 MB"},
        {text, "WAV"},
    };
    SdlSoundDevice device(kPatient);
    for (const Case& c : cases) {
        const std::string refusal = prepared(device, c.file.string());
        EXPECT_NE(refusal.find(c.reason), std::string::npos) << c.file << ": " << refusal;
        EXPECT_EQ(device.sendCommand("open \"" + c.file.string() + "\" alias x"),
                  SdlSoundDevice::kCannotOpenFile)
            << c.file;
        soundAlarm(device, c.file.string(), m_dir.string());
        EXPECT_TRUE(device.isPlaying("1")) << c.file << " left the alarm silent";
    }
    EXPECT_TRUE(fs::exists(m_dir / "1.wav"));
    EXPECT_TRUE(zorvane::testing::waitFor([&] { return hasSound(output()); }));
}

// A rate far below the device's made every piece of the file thousands of times larger
// when converted: a 1 Hz file held the mixing in SDL or ended the sound helper, and that
// alarm stayed silent. Such formats are refused with the reason, and the built-in sound
// plays; ordinary ones play.
TEST_F(SdlDeviceTest, AbsurdFormatsAreRefusedWithTheirReason) {
    struct Case {
        std::uint32_t rate;
        std::uint16_t channels;
        const char* refusal; // "" when the file plays
    };
    const Case cases[] = {
        {1, 1, "采样率或声道数不合理（1 Hz，1 个声道）"},
        {1, 2, "采样率或声道数不合理（1 Hz，2 个声道）"},
        {999, 1, "采样率或声道数不合理（999 Hz，1 个声道）"},
        {400000, 1, "采样率或声道数不合理（400000 Hz，1 个声道）"},
        {1000, 1, ""},
        {8000, 2, ""},
        {192000, 1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.rate) + " Hz, " + std::to_string(c.channels));
        const fs::path file = m_dir / ("format " + std::to_string(c.rate) + ".wav");
        // A second and a half at the higher rates, a long file at the lowest.
        writeFile(file, pcmWav(c.rate, c.channels, std::max<std::uint32_t>(c.rate * 3 / 2, 70000)));
        fs::remove(m_dir / "1.wav");
        SdlSoundDevice device(kPatient);
        EXPECT_EQ(prepared(device, file.string()), c.refusal);
        soundAlarm(device, file.string(), m_dir.string());
        EXPECT_TRUE(device.isPlaying("1"));
        EXPECT_EQ(fs::exists(m_dir / "1.wav"), *c.refusal != '\0')
            << "the built-in sound plays exactly when the file is refused";
        EXPECT_EQ(device.sendCommand("close 1"), 0);
    }
}

TEST_F(SdlDeviceTest, ALongLowRateFileWithinTheLimitIsPreparedAndPlays) {
    // Two hours of 8 kHz 8-bit mono: 22 times its size once converted for the device.
    const fs::path file = m_dir / "long low rate.wav";
    writeFile(file, lowRateWav(60u << 20, 1.0));
    // "open" does not wait at all: a decoding not yet done answers kNotReady (one done
    // already, 0), and "play" then starts the sound once it is decoded.
    SdlSoundDevice device(std::chrono::milliseconds(0));
    const int opened = device.sendCommand("open \"" + file.string() + "\" alias direct");
    EXPECT_TRUE(opened == 0 || opened == SdlSoundDevice::kNotReady) << opened;
    EXPECT_EQ(device.sendCommand("play direct"), 0);
    EXPECT_TRUE(device.isPlaying("direct"));
    EXPECT_TRUE(zorvane::testing::waitFor([&] { return hasSound(output()); }, 30s));
    ASSERT_EQ(device.sendCommand("close direct"), 0);
    ASSERT_TRUE(zorvane::testing::waitFor([&] { return !device.isAudioOpen(); }));
    fs::rename(m_output, m_dir / "direct.raw");

    EXPECT_EQ(prepared(device, file.string()), "");
    soundAlarm(device, file.string(), m_dir.string());
    EXPECT_TRUE(device.isPlaying("1"));
    EXPECT_TRUE(zorvane::testing::waitFor([&] { return hasSound(output()); }));
    EXPECT_FALSE(fs::exists(m_dir / "1.wav")) << "the built-in sound was played instead";
}

TEST_F(SdlDeviceTest, StopAllSilencesEverySoundAndReleasesTheDevice) {
    SdlSoundDevice device(kPatient);
    EXPECT_EQ(device.sendCommand("stop all"), 0);
    const fs::path a = wavFile("a.wav", 20.0, 0.0);
    const fs::path b = wavFile("b.wav", 20.0, 0.0);
    ASSERT_TRUE(playSound(device, a.string(), "a"));
    ASSERT_TRUE(playSound(device, b.string(), "b"));
    ASSERT_TRUE(zorvane::testing::waitFor([&] { return hasSound(output()); }));
    EXPECT_TRUE(stopAllSounds(device));
    const std::size_t stoppedAt = outputSize();
    EXPECT_FALSE(device.isPlaying("a"));
    EXPECT_FALSE(device.isPlaying("b"));
    ASSERT_TRUE(zorvane::testing::waitFor([&] { return !device.isAudioOpen(); }));
    EXPECT_FALSE(hasSound(output(), stoppedAt + 3 * 2048 * 4));
    // Stopped names stay open and play again from the start.
    fs::rename(m_output, m_dir / "before.raw");
    EXPECT_EQ(device.sendCommand("play a"), 0);
    EXPECT_TRUE(zorvane::testing::waitFor([&] { return hasSound(output()); }));
}

TEST_F(SdlDeviceTest, APreparedSoundStaysDecodedWithoutKeepingSdlLoaded) {
    SdlSoundDevice device(kPatient);
    const fs::path chosen = wavFile("chosen.wav", 0.1, 0.0);
    EXPECT_EQ(prepared(device, chosen.string()), "");
    EXPECT_EQ(device.decodedCount(), 1u);
    EXPECT_TRUE(zorvane::testing::waitFor([] { return !isSdlLoaded(); }));

    soundAlarm(device, chosen.string(), m_dir.string());
    EXPECT_TRUE(device.isPlaying("1"));
    ASSERT_TRUE(zorvane::testing::waitFor([&] { return hasSound(output()); }));
    // Ended: the device and SDL go, the prepared sound stays for the next alarm.
    ASSERT_TRUE(zorvane::testing::waitFor([&] { return !device.isAudioOpen(); }));
    EXPECT_EQ(device.decodedCount(), 1u);
    EXPECT_TRUE(zorvane::testing::waitFor([] { return !isSdlLoaded(); }));
    EXPECT_FALSE(fs::exists(m_dir / "1.wav"));

    // The file changed after it was prepared: its new content counts, here no sound.
    writeFile(chosen, "no longer a sound");
    soundAlarm(device, chosen.string(), m_dir.string());
    EXPECT_TRUE(device.isPlaying("1"));
    EXPECT_TRUE(fs::exists(m_dir / "1.wav")) << "the changed file was not read again";

    device.prepare("");
    ASSERT_EQ(device.sendCommand("close 1"), 0);
    EXPECT_TRUE(zorvane::testing::waitFor([&] { return device.decodedCount() == 0; }));
}

} // namespace

// The largest magnitude of the 16-bit samples written.
int peakOf(const std::string& bytes) {
    int peak = 0;
    for (std::size_t at = 0; at + 1 < bytes.size(); at += 2) {
        peak = std::max(peak, std::abs(static_cast<int>(sample16(bytes, at))));
    }
    return peak;
}

TEST_F(SdlDeviceTest, TheVolumeScalesWhatReachesTheSpeaker) {
    const fs::path tone = wavFile("tone.wav", 0.2, 0.0);
    // What one volume writes: the peak of a whole playing of the tone.
    const auto peakAt = [&](int volume, const std::string& name) {
        const fs::path out = m_dir / name;
        ::setenv("SDL_DISKAUDIOFILE", out.c_str(), 1);
        SdlSoundDevice device(kPatient);
        device.setVolume(volume);
        EXPECT_TRUE(playSound(device, tone.string(), "v"));
        EXPECT_TRUE(zorvane::testing::waitFor([&] { return !device.isPlaying("v"); }));
        return peakOf(readFile(out));
    };
    const int full = peakAt(100, "full.raw");
    ASSERT_GT(full, 10000);
    struct Case {
        int volume;
        double share; // of the full peak
    };
    for (const Case c :
         {Case{50, 0.5}, Case{25, 0.25}, Case{0, 0.0}, Case{-5, 0.0}, Case{150, 1.0}}) {
        SCOPED_TRACE(c.volume);
        const int peak = peakAt(c.volume, "v" + std::to_string(c.volume + 10) + ".raw");
        EXPECT_NEAR(peak, full * c.share, full * 0.02 + 1);
    }
}
