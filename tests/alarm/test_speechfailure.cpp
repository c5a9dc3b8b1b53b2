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

    const struct {
        const char* text;
        std::string reason; // empty: no failure
    } cases[] = {
        {"   ", ""},
        {"火龙 5 分钟后刷新", "语音合成找不到语音“cmn”（语音数据缺失？），提醒不会朗读"},
        {"Dragon in 5 minutes", "语音合成找不到语音“en”（语音数据缺失？），提醒不会朗读"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const speech::Speech said = speech::synthesise(c.text);
        EXPECT_TRUE(said.empty());
        EXPECT_EQ(text::defaultText(said.failure), c.reason);
    }

    // Through the alert sounds: the notice line hears of it.
    alarm::SdlSoundDevice device;
    zorvane::testing::FakeClock clock;
    NoChime settings;
    RecordingStatus status;
    alarm::AlertSounds sounds(settings, device, clock, data.path().string(), &status);
    sounds.setSpeechEnabled(true);
    sounds.alert(schedule::Alert{1, "火龙", 1, 300, 5, false});
    EXPECT_TRUE(zorvane::testing::waitFor([&] { return !sounds.speechPending(); }));
    EXPECT_EQ(status.failures(), std::vector<std::string>{
                                     std::string(alarm::kSpeechSource) +
                                     " | 语音合成找不到语音“cmn”（语音数据缺失？），提醒不会朗读"});
}
