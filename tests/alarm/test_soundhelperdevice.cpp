// The window's sound device against the real sound helper program, which plays through
// SDL's disk driver into a file: what it plays, that SDL never enters this process, and how
// helpers that end, die or cannot be started are handled.

#include "alarm/sdlapi.h"
#include "alarm/sdlsounddevice.h"
#include "alarm/soundfile.h"
#include "alarm/soundhelperdevice.h"
#include "tests/alarm/wavfiles.h"
#include "tests/support/mappedlibrary.h"
#include "tests/support/tempdir.h"
#include "tests/support/waitfor.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace zorvane;
using alarm::HelperSoundDevice;
using alarm::SdlSoundDevice;
using alarm::testing::hasSound;
using alarm::testing::readFile;
using alarm::testing::sample16;

namespace {

// Every reason the device reported, in order.
class Troubles {
public:
    HelperSoundDevice::TroubleSink sink() {
        return [this](const zorvane::text::Message& reason) {
            const std::lock_guard lock(m_mutex);
            m_reasons.push_back(zorvane::text::defaultText(reason));
        };
    }
    std::vector<std::string> reasons() const {
        const std::lock_guard lock(m_mutex);
        return m_reasons;
    }
    bool any(const std::string& part) const {
        for (const std::string& reason : reasons()) {
            if (reason.find(part) != std::string::npos) {
                return true;
            }
        }
        return false;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_reasons;
};

// "open" answers kNotReady when decoding (with loading SDL in a cold helper) takes longer
// than its short wait on a busy machine; "play" then starts the sound once it is decoded.
bool opened(int code) {
    return code == 0 || code == SdlSoundDevice::kNotReady;
}

std::string prepared(alarm::SoundPlayer& device, const std::string& file) {
    auto answer = std::make_shared<std::promise<std::string>>();
    device.prepare(file, [answer](const zorvane::text::Message& refusal) {
        answer->set_value(zorvane::text::defaultText(refusal));
    });
    auto future = answer->get_future();
    if (future.wait_for(60s) != std::future_status::ready) {
        return "(no answer)";
    }
    return future.get();
}

class SoundHelperTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("SDL_AUDIODRIVER", "disk", 1);
        m_output = m_dir.path() / "speaker.raw";
        ::setenv("SDL_DISKAUDIOFILE", m_output.c_str(), 1);
    }
    std::string tone(double seconds) {
        const fs::path path = m_dir.path() / ("tone" + std::to_string(seconds) + ".wav");
        alarm::testing::writeFile(path, alarm::testing::toneThenSilence(seconds, 0.0));
        return path.string();
    }
    std::string output() const { return fs::exists(m_output) ? readFile(m_output) : std::string(); }

    zorvane::testing::TempDir m_dir;
    fs::path m_output;
    Troubles m_troubles;
};

} // namespace

TEST_F(SoundHelperTest, AnswersWithoutStartingAHelperWhenNoSoundIsNeeded) {
    HelperSoundDevice device(ZORVANE_SOUND_HELPER, {}, m_troubles.sink());
    struct Case {
        const char* command;
        int code;
    };
    const Case cases[] = {
        {"stop all", 0},
        {"STOP 1", SdlSoundDevice::kUnknownAlias},
        {"close all", 0},
        {"close 1", SdlSoundDevice::kUnknownAlias},
        {"rewind 1", SdlSoundDevice::kUnrecognizedCommand},
        {"open \"unterminated alias 1", SdlSoundDevice::kUnrecognizedCommand},
        {"", SdlSoundDevice::kUnrecognizedCommand},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(device.sendCommand(c.command), c.code) << c.command;
    }
    EXPECT_FALSE(device.isPlaying("1"));
    EXPECT_FALSE(device.isAudioOpen());
    EXPECT_TRUE(device.openNames().empty());
    EXPECT_EQ(prepared(device, ""), "");
    EXPECT_EQ(device.helperPid(), 0) << "nothing asked for sound, yet a helper runs";
    EXPECT_TRUE(m_troubles.reasons().empty());
}

TEST_F(SoundHelperTest, PlaysInTheHelperAtTheVolumeWithoutLoadingSdlHere) {
    // Long enough to be still playing when asked, also on a machine busy enough to take a
    // few hundred milliseconds between the two requests.
    const std::string file = tone(1.5);
    struct Case {
        int volume;
        bool audible;
    };
    for (const Case c : {Case{0, false}, Case{100, true}}) {
        fs::remove(m_output);
        HelperSoundDevice device(ZORVANE_SOUND_HELPER, {}, m_troubles.sink());
        device.setVolume(c.volume);
        EXPECT_TRUE(opened(device.sendCommand("open \"" + file + "\" alias 1")));
        EXPECT_EQ(device.sendCommand("play 1"), 0);
        EXPECT_NE(device.helperPid(), 0);
        EXPECT_TRUE(device.isPlaying("1"));
        ASSERT_TRUE(zorvane::testing::waitFor([&] { return !device.isAudioOpen(); }));
        EXPECT_EQ(hasSound(output()), c.audible) << "volume " << c.volume;
        EXPECT_FALSE(alarm::isSdlLoaded());
        EXPECT_FALSE(zorvane::testing::libraryMapped("libSDL2"))
            << "SDL2 was loaded into the window's process";
    }
    EXPECT_TRUE(m_troubles.reasons().empty());
}

TEST_F(SoundHelperTest, StopAllSilencesTheHelperAtOnce) {
    HelperSoundDevice device(ZORVANE_SOUND_HELPER, {}, m_troubles.sink());
    ASSERT_TRUE(opened(device.sendCommand("open \"" + tone(20) + "\" alias 1")));
    ASSERT_EQ(device.sendCommand("play 1"), 0);
    ASSERT_TRUE(device.isPlaying("1"));
    EXPECT_EQ(device.sendCommand("stop all"), 0);
    EXPECT_FALSE(device.isPlaying("1"));
    EXPECT_TRUE(zorvane::testing::waitFor([&] { return !device.isAudioOpen(); }, 10000ms));
}

TEST_F(SoundHelperTest, SamplesFromMemoryPlayAfterTheChime) {
    HelperSoundDevice device(ZORVANE_SOUND_HELPER, {}, m_troubles.sink());
    ASSERT_TRUE(opened(device.sendCommand("open \"" + tone(0.3) + "\" alias 1")));
    ASSERT_EQ(device.sendCommand("play 1"), 0);
    // 0.1 s of a constant mono level the chime (a square wave of ±12000) never has.
    constexpr std::int16_t kLevel = 5000;
    std::vector<std::uint8_t> bytes(4410 * sizeof(std::int16_t));
    for (std::size_t at = 0; at < bytes.size(); at += 2) {
        std::memcpy(&bytes[at], &kLevel, sizeof kLevel);
    }
    auto samples = std::make_shared<alarm::DecodedSound>(AUDIO_S16SYS, std::uint8_t{1}, 44100,
                                                         std::move(bytes));
    ASSERT_EQ(device.playSamples("speech0", samples, {"1"}), 0);
    EXPECT_TRUE(device.isPlaying("speech0"));
    ASSERT_TRUE(zorvane::testing::waitFor([&] { return !device.isAudioOpen(); }));
    const std::string raw = output();
    std::size_t lastChime = 0;
    std::size_t firstSpeech = std::string::npos;
    for (std::size_t at = 0; at + 2 <= raw.size(); at += 2) {
        const int v = sample16(raw, at);
        if (v == 12000 || v == -12000) {
            lastChime = at;
        } else if (v == kLevel && firstSpeech == std::string::npos) {
            firstSpeech = at;
        }
    }
    ASSERT_NE(firstSpeech, std::string::npos) << "the samples were never played";
    EXPECT_GT(firstSpeech, lastChime) << "the samples were mixed into the chime";
}

TEST_F(SoundHelperTest, ANameOpenedBeforeTheHelperEndedStillPlays) {
    HelperSoundDevice device(ZORVANE_SOUND_HELPER, {"--linger", "50"}, m_troubles.sink());
    ASSERT_TRUE(opened(device.sendCommand("open \"" + tone(0.2) + "\" alias bell")));
    EXPECT_TRUE(zorvane::testing::waitFor([&] { return device.helperPid() == 0; }, 10000ms))
        << "an idle helper should end by itself";
    EXPECT_EQ(device.openNames(), std::vector<std::string>{"bell"});
    EXPECT_EQ(device.sendCommand("play bell"), 0);
    EXPECT_TRUE(device.isPlaying("bell"));
    ASSERT_TRUE(zorvane::testing::waitFor([&] { return !device.isAudioOpen(); }));
    EXPECT_TRUE(hasSound(output()));
    EXPECT_EQ(device.sendCommand("close bell"), 0);
    EXPECT_EQ(device.sendCommand("play bell"), SdlSoundDevice::kUnknownAlias);
    EXPECT_TRUE(m_troubles.reasons().empty()) << m_troubles.reasons().front();
}

TEST_F(SoundHelperTest, AKilledHelperIsReportedAndTheNextAlarmStartsANewOne) {
    HelperSoundDevice device(ZORVANE_SOUND_HELPER, {}, m_troubles.sink());
    const std::string file = tone(20);
    ASSERT_TRUE(opened(device.sendCommand("open \"" + file + "\" alias 1")));
    ASSERT_EQ(device.sendCommand("play 1"), 0);
    const int first = device.helperPid();
    ASSERT_NE(first, 0);
    ::kill(first, SIGKILL);
    EXPECT_TRUE(
        zorvane::testing::waitFor([&] { return m_troubles.any("声音进程意外结束"); }, 10000ms));
    EXPECT_FALSE(device.isPlaying("1"));
    EXPECT_EQ(device.sendCommand("play 1"), 0) << "the name was forgotten with the helper";
    EXPECT_TRUE(device.isPlaying("1"));
    EXPECT_NE(device.helperPid(), first);
    EXPECT_FALSE(device.playsInProcess());
    EXPECT_EQ(device.sendCommand("stop all"), 0);
}

TEST_F(SoundHelperTest, WithoutAWorkingHelperSoundPlaysHereAndTheUserIsTold) {
    struct Case {
        const char* name;
        std::string program;
        const char* told;
    };
    const Case cases[] = {
        {"missing", (m_dir.path() / "no-such-helper").string(), "无法启动声音进程"},
        {"ends at once", "/bin/false", "接连无应答地结束"},
    };
    const std::string file = tone(0.2);
    for (const Case& c : cases) {
        Troubles troubles;
        HelperSoundDevice device(c.program, {}, troubles.sink());
        device.setVolume(100);
        EXPECT_TRUE(opened(device.sendCommand("open \"" + file + "\" alias 1"))) << c.name;
        EXPECT_EQ(device.sendCommand("play 1"), 0) << c.name;
        EXPECT_TRUE(device.playsInProcess()) << c.name;
        EXPECT_TRUE(troubles.any(c.told)) << c.name;
        EXPECT_TRUE(zorvane::testing::waitFor([&] { return !device.isAudioOpen(); })) << c.name;
    }
    EXPECT_TRUE(hasSound(output()));
}

TEST_F(SoundHelperTest, PrepareTellsWhyAFileCannotBePlayed) {
    const fs::path garbage = m_dir.path() / "garbage.wav";
    alarm::testing::writeFile(garbage, std::string(4096, 'x'));
    struct Case {
        std::string file;
        bool refused;
    };
    const Case cases[] = {
        {tone(0.1), false},
        {garbage.string(), true},
        {(m_dir.path() / "missing.wav").string(), true},
        {m_dir.path().string(), true},
    };
    HelperSoundDevice device(ZORVANE_SOUND_HELPER, {}, m_troubles.sink());
    for (const Case& c : cases) {
        const std::string refusal = prepared(device, c.file);
        EXPECT_EQ(!refusal.empty(), c.refused) << c.file << ": " << refusal;
        EXPECT_NE(refusal, "(no answer)") << c.file;
    }
    EXPECT_TRUE(m_troubles.reasons().empty());
}

TEST_F(SoundHelperTest, TheHelperOutlivesTheThreadThatStartedIt) {
    HelperSoundDevice device(ZORVANE_SOUND_HELPER, {}, m_troubles.sink());
    const std::string file = tone(20);
    // The tick's worker starts the chime and may be ended and restarted meanwhile.
    std::thread([&] {
        ASSERT_TRUE(opened(device.sendCommand("open \"" + file + "\" alias 1")));
        ASSERT_EQ(device.sendCommand("play 1"), 0);
    }).join();
    const int pid = device.helperPid();
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(device.isPlaying("1"));
    EXPECT_EQ(device.helperPid(), pid);
    EXPECT_TRUE(m_troubles.reasons().empty()) << m_troubles.reasons().front();
    EXPECT_EQ(device.sendCommand("stop all"), 0);
}
