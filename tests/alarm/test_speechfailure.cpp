// Speech that cannot be synthesised is reported, not silently skipped. espeak-ng here reads its
// voices from an empty data directory: in a process of its own, since the synthesiser starts
// once per process and keeps what it found.
#include "alarm/alertsounds.h"
#include "alarm/sdlsounddevice.h"
#include "speech/speech.h"
#include "tests/support/fakeclock.h"
#include "tests/support/tempdir.h"
#include "tests/support/waitfor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

using namespace zorvane;

namespace {

class NoChime final : public schedule::Settings {
public:
    std::string warnMinutesText() const override { return "5"; }
    std::string soundPathText() const override { return {}; }
};

class RecordingStatus final : public schedule::WriteStatusSink {
public:
    void writeFailed(const std::string&, const std::string&) override {}
    void writeSucceeded(const std::string&) override {}
    void soundFailed(const std::string& source, const text::Message& reason) override {
        const std::lock_guard lock(m_mutex);
        m_failures.push_back(source + " | " + text::defaultText(reason));
    }
    std::vector<std::string> failures() const {
        const std::lock_guard lock(m_mutex);
        return m_failures;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_failures;
};

} // namespace

TEST(SpeechFailure, ASpokenAlertThatCannotBeSynthesisedIsReported) {
    const zorvane::testing::TempDir data;
    ::setenv("ESPEAK_DATA_PATH", data.path().c_str(), 1);
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    ::setenv("SDL_DISKAUDIOFILE", (data.path() / "speaker.raw").c_str(), 1);

    // Depending on the library's version it refuses to start without its data, or starts
    // and then finds no voice.
    const std::string cannotStart =
        "语音合成无法启动（libespeak-ng 或其语音数据缺失），提醒不会朗读";
    const auto noVoice = [](const std::string& voice) {
        return "语音合成找不到语音“" + voice + "”（语音数据缺失？），提醒不会朗读";
    };
    const struct {
        const char* text;
        const char* voice; // nullptr: no failure
    } cases[] = {
        {"   ", nullptr},
        {"火龙 5 分钟后刷新", "cmn"},
        {"Dragon in 5 minutes", "en"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const speech::Speech said = speech::synthesise(c.text);
        EXPECT_TRUE(said.empty());
        const std::string reason = text::defaultText(said.failure);
        if (c.voice == nullptr) {
            EXPECT_EQ(reason, "");
        } else {
            EXPECT_TRUE(reason == cannotStart || reason == noVoice(c.voice)) << reason;
        }
    }

    // Through the alert sounds: the notice line hears of it.
    alarm::SdlSoundDevice device;
    zorvane::testing::FakeClock clock;
    NoChime settings;
    RecordingStatus status;
    alarm::AlertSounds sounds(settings, device, clock, data.path().string(), &status);
    sounds.setSpeechEnabled(true);
    schedule::Alert alert;
    alert.rowId = 1;
    alert.boss = "火龙";
    alert.rowNumber = 1;
    alert.secondsLeft = 300;
    alert.leadMinutes = 5;
    sounds.alert(alert);
    EXPECT_TRUE(zorvane::testing::waitFor([&] { return !sounds.speechPending(); }));
    const std::vector<std::string> failures = status.failures();
    ASSERT_EQ(failures.size(), 1U);
    const std::string prefix = std::string(alarm::kSpeechSource) + " | ";
    EXPECT_TRUE(failures[0] == prefix + cannotStart || failures[0] == prefix + noVoice("cmn"))
        << failures[0];
}
