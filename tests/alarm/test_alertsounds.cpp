// The sounds of an alert on the real SDL device (disk driver): the spoken boss name after the
// chime, the volume, silence, and the due chime repeated on the test clock.
#include "alarm/alertsounds.h"
#include "alarm/playback.h"
#include "alarm/sdlsounddevice.h"
#include "schedule/instant.h"
#include "tests/alarm/wavfiles.h"
#include "tests/support/fakeclock.h"
#include "tests/support/tempdir.h"
#include "tests/support/threads.h"
#include "tests/support/waitfor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace zorvane;
using alarm::testing::hasSound;
using alarm::testing::readFile;
using alarm::testing::sample16;

namespace {

class ChosenSound final : public schedule::Settings {
public:
    explicit ChosenSound(std::string path) : m_path(std::move(path)) {}
    std::string warnMinutesText() const override { return "5"; }
    std::string soundPathText() const override { return m_path; }

private:
    std::string m_path;
};

schedule::Alert alertOf(const std::string& boss, std::optional<int> lead, bool chime) {
    schedule::Alert alert;
    alert.rowId = 1;
    alert.boss = boss;
    alert.rowNumber = 1;
    alert.secondsLeft = lead ? *lead * 60LL : 0;
    alert.leadMinutes = lead;
    alert.chime = chime;
    return alert;
}

// True once nothing plays and no speech waits to be synthesised.
bool quiet(const alarm::SdlSoundDevice& device, const alarm::AlertSounds& sounds) {
    const std::vector<std::string> names = device.openNames();
    return !sounds.speechPending() && std::none_of(names.begin(), names.end(), [&](auto& name) {
        return device.isPlaying(name);
    });
}

class AlertSoundsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("SDL_AUDIODRIVER", "disk", 1);
        useOutput("speaker.raw");
    }
    void useOutput(const std::string& name) {
        m_output = m_dir.path() / name;
        ::setenv("SDL_DISKAUDIOFILE", m_output.c_str(), 1);
    }
    std::string chimeFile(double seconds) {
        const fs::path path = m_dir.path() / ("chime" + std::to_string(seconds) + ".wav");
        alarm::testing::writeFile(path, alarm::testing::toneThenSilence(seconds, 0.0));
        return path.string();
    }

    zorvane::testing::TempDir m_dir;
    fs::path m_output;
    zorvane::testing::FakeClock m_clock;
};

// The first and one past the last non-zero sample's byte offsets, and the peak from `from`.
struct Span {
    std::size_t first = std::string::npos;
    std::size_t end = 0;
    int peak = 0;
};
Span soundSpan(const std::string& raw, std::size_t from = 0) {
    Span span;
    for (std::size_t at = from; at + 2 <= raw.size(); at += 2) {
        if (const int v = std::abs(static_cast<int>(sample16(raw, at))); v != 0) {
            span.first = std::min(span.first, at);
            span.end = at + 2;
            span.peak = std::max(span.peak, v);
        }
    }
    return span;
}

// One chiming alert with speech on, at a volume, played to its end. A silent sound holds the
// device open throughout: on a busy machine the speech may be ready only after the chime has
// ended, and the device reopened for it would start the output file afresh.
void playChimeAndName(const std::string& chime, int volume) {
    alarm::SdlSoundDevice device;
    device.setVolume(volume);
    const fs::path silence = fs::path(chime).parent_path() / "silence.wav";
    alarm::testing::writeFile(silence, alarm::testing::toneThenSilence(0.0, 30.0));
    device.sendCommand("open \"" + silence.string() + "\" alias hold");
    ASSERT_EQ(device.sendCommand("play hold"), 0);
    ASSERT_TRUE(zorvane::testing::waitFor([&] { return device.isAudioOpen(); }));
    zorvane::testing::FakeClock clock;
    ChosenSound settings(chime);
    alarm::AlertSounds sounds(settings, device, clock, fs::path(chime).parent_path().string());
    sounds.setSpeechEnabled(true);
    sounds.alert(alertOf("Dragon", 5, true));
    EXPECT_TRUE(device.isPlaying(alarm::kAlarmAlias));
    EXPECT_TRUE(zorvane::testing::waitFor([&] { return !sounds.speechPending(); }));
    const auto spoken = [&] {
        const std::vector<std::string> names = device.openNames();
        return std::none_of(names.begin(), names.end(), [&](const std::string& name) {
            return name != "hold" && device.isPlaying(name);
        });
    };
    EXPECT_TRUE(zorvane::testing::waitFor(spoken)) << "the chime and the speech should have ended";
    device.sendCommand("close hold");
    // Closing the device closes its output file, so all of it can be read.
    EXPECT_TRUE(zorvane::testing::waitFor([&] { return !device.isAudioOpen(); }));
}

} // namespace

// What is said names the line and its server for an alert about a line, the boss alone for a
// row's own alert, whatever the alert is about.
TEST(SpokenText, NamesTheLineAndServer) {
    const struct {
        const char* server;
        const char* line;
        schedule::AlertTopic topic;
        std::optional<int> lead;
        std::int64_t secondsLeft;
        const char* said;
    } cases[] = {
        {"", "", schedule::AlertTopic::Countdown, 5, 300, "青龙 5 分钟后刷新"},
        {"", "2", schedule::AlertTopic::Countdown, 5, 300, "青龙 2线 5 分钟后刷新"},
        {"一区", "2", schedule::AlertTopic::Countdown, 2, 120, "青龙 2线 一区 2 分钟后刷新"},
        {"一区", "A", schedule::AlertTopic::Countdown, std::nullopt, 0, "青龙 A 一区 已刷新"},
        {"", "3", schedule::AlertTopic::WindowOpening, 5, 300, "青龙 3线 窗口 5 分钟后开启"},
        {"二区", "3", schedule::AlertTopic::Unrecorded, std::nullopt, -180,
         "青龙 3线 二区 已刷新 3 分钟，仍未记录击杀"},
    };
    for (const auto& c : cases) {
        schedule::Alert alert;
        alert.boss = "青龙";
        alert.topic = c.topic;
        alert.leadMinutes = c.lead;
        alert.secondsLeft = c.secondsLeft;
        alert.server = c.server;
        alert.line = c.line;
        alert.lineId = *c.line != 0 ? 5 : 0;
        EXPECT_EQ(alarm::spokenText(alert), c.said) << c.server << "/" << c.line;
    }
}

TEST_F(AlertSoundsTest, TheNameIsSpokenAfterTheChimeAtTheChosenVolume) {
    // A tone of 0.3 s: exactly ±12000 in every sample while it plays, so any speech mixed
    // into it would show.
    const std::string chime = chimeFile(0.3);
    constexpr std::size_t kChimeBytes = 13230 * 4; // 0.3 s of 16-bit stereo at 44100 Hz
    struct Case {
        int volume;
        const char* output;
    };
    int fullPeak = 0;
    for (const Case c : {Case{100, "full.raw"}, Case{40, "quiet.raw"}}) {
        SCOPED_TRACE(c.volume);
        useOutput(c.output);
        playChimeAndName(chime, c.volume);
        const std::string raw = readFile(m_output);
        const std::size_t start = soundSpan(raw).first;
        ASSERT_LT(start, raw.size()) << "nothing was played";
        const int tone = 12000 * c.volume / 100;
        for (std::size_t at = start; at < start + kChimeBytes; at += 2) {
            ASSERT_EQ(std::abs(sample16(raw, at)), tone)
                << "the chime alone plays first, at " << at;
        }
        // Speech of "Dragon in 5 minutes" lasts well over half a second after the chime.
        const Span speech = soundSpan(raw, start + kChimeBytes);
        ASSERT_GT(speech.end, start + kChimeBytes + 44100 * 4 / 2) << "no speech after the chime";
        if (c.volume == 100) {
            fullPeak = speech.peak;
            EXPECT_GT(fullPeak, 1000);
        } else {
            EXPECT_NEAR(speech.peak, fullPeak * 0.4, fullPeak * 0.05 + 2);
        }
    }
}

TEST_F(AlertSoundsTest, SpeechIsOffUnlessSwitchedOnAndSilenceDropsIt) {
    alarm::SdlSoundDevice device;
    // Long enough to outlast two syntheses on a busy machine; silenced long before its end.
    ChosenSound settings(chimeFile(60.0));
    alarm::AlertSounds sounds(settings, device, m_clock, m_dir.path().string());
    sounds.alert(alertOf("火龙", 5, true));
    EXPECT_FALSE(sounds.speechPending());
    ASSERT_TRUE(zorvane::testing::waitFor([&] { return hasSound(readFile(m_output)); }));
    sounds.silence();
    ASSERT_TRUE(zorvane::testing::waitFor([&] { return quiet(device, sounds); }));
    EXPECT_FALSE(zorvane::testing::hasThreadNamed("speaker")) << "started while speech is off";

    // On: the speech waits behind the long chime; silence stops both, and speech still being
    // synthesised is never played.
    sounds.setSpeechEnabled(true);
    sounds.alert(alertOf("火龙", 5, true));
    sounds.alert(alertOf("冰龙", std::nullopt, false));
    // The worker names its thread once that thread runs, a moment after the first task.
    EXPECT_TRUE(
        zorvane::testing::waitFor([] { return zorvane::testing::hasThreadNamed("speaker"); }));
    ASSERT_TRUE(zorvane::testing::waitFor([&] { return !sounds.speechPending(); }));
    const std::vector<std::string> names = device.openNames();
    ASSERT_EQ(std::count_if(names.begin(), names.end(),
                            [](const std::string& n) { return n.starts_with("speech"); }),
              2);
    for (const std::string& name : names) {
        EXPECT_TRUE(device.isPlaying(name)) << name << " plays or waits for the chime";
    }
    sounds.silence();
    for (const std::string& name : device.openNames()) {
        EXPECT_FALSE(device.isPlaying(name)) << name;
    }
    // Once the device has closed, a speech played after all would open it again.
    ASSERT_TRUE(zorvane::testing::waitFor([&] { return !device.isAudioOpen(); }));
    sounds.alert(alertOf("火龙", 1, false));
    sounds.silence();
    ASSERT_TRUE(zorvane::testing::waitFor([&] { return !sounds.speechPending(); }));
    EXPECT_FALSE(device.isAudioOpen()) << "a silenced alert was spoken";
}

TEST_F(AlertSoundsTest, TheDueChimeRepeatsOnTheClockUntilSilencedOrTheLimit) {
    alarm::SdlSoundDevice device;
    ChosenSound settings(chimeFile(0.2));
    alarm::AlertSounds sounds(settings, device, m_clock, m_dir.path().string());
    const auto chimes = [&] { return device.isPlaying(alarm::kAlarmAlias); };
    const auto ended = [&] { return zorvane::testing::waitFor([&] { return !chimes(); }); };

    // Off: a due alert plays nothing.
    sounds.alert(alertOf("Dragon", std::nullopt, false));
    EXPECT_FALSE(chimes());
    EXPECT_FALSE(sounds.repeating());

    sounds.setRepeat(30, 2);
    sounds.alert(alertOf("Dragon", std::nullopt, false));
    EXPECT_TRUE(chimes());
    ASSERT_TRUE(ended());
    // Passes on the test clock: when the chime sounds again.
    struct Pass {
        int advance;
        bool chime;
    };
    // A late pass sounds once, not once for every repeat it missed.
    for (const Pass p : {Pass{29, false}, Pass{1, true}, Pass{10, false}, Pass{45, true},
                         Pass{4, false}, Pass{1, true}, Pass{30, true}}) {
        SCOPED_TRACE(p.advance);
        m_clock.advance(p.advance);
        sounds.onPass();
        EXPECT_EQ(chimes(), p.chime);
        ASSERT_TRUE(ended());
    }
    // Past the two-minute limit, repeating has ended.
    m_clock.advance(1);
    sounds.onPass();
    EXPECT_FALSE(chimes());
    EXPECT_FALSE(sounds.repeating());

    // A second due row while repeating moves the end; silence ends it at once.
    sounds.alert(alertOf("Dragon", std::nullopt, false));
    m_clock.advance(50);
    sounds.alert(alertOf("Phoenix", std::nullopt, false));
    ASSERT_TRUE(ended());
    m_clock.advance(80); // past the first one's limit, within the second one's
    sounds.onPass();
    EXPECT_TRUE(chimes());
    sounds.silence();
    EXPECT_FALSE(chimes());
    EXPECT_FALSE(sounds.repeating());
    m_clock.advance(30);
    sounds.onPass();
    EXPECT_FALSE(chimes());
}
