#pragma once
// What an alert sounds like: the chime, the boss name spoken after it, and the due chime
// repeated until the user silences it. The tick's worker calls in, and speech is
// synthesised on a thread of its own (started with the first spoken alert, so never while
// speech is off), so neither the tick nor the window ever waits for the synthesiser.

#include "alarm/soundplayer.h"
#include "schedule/clock.h"
#include "schedule/instant.h"
#include "schedule/services.h"
#include "work/worker.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace zorvane::alarm {

// The name every spoken alert plays under starts with this, followed by a number.
inline constexpr const char* kSpeechAliasPrefix = "speech";
// The source a failed synthesis is reported under (see WriteStatusSink::soundFailed).
inline constexpr std::string_view kSpeechSource = "espeak-ng";

// What is said for an alert, by its topic, with the true time left.
std::string spokenText(const schedule::Alert& alert);

// When the due chime sounds again: every `everySeconds` after the due alert that started
// it, until `limitMinutes` after the latest due alert, or until stopped.
class RepeatPlan {
public:
    // A due alert at `now`; everySeconds <= 0 means no repeating (and ends a running one).
    void start(schedule::UtcSeconds now, int everySeconds, int limitMinutes);
    void stop() { m_next.reset(); }
    bool active() const { return m_next.has_value(); }
    // True when the chime is to sound again at `now`; moves on to the next time. Passes that
    // come late sound once, not once for every repeat they missed.
    bool due(schedule::UtcSeconds now);

private:
    std::optional<schedule::UtcSeconds> m_next;
    schedule::UtcSeconds m_until = 0;
    int m_every = 0;
};

class AlertSounds final : public schedule::AlarmSink {
public:
    // Everything given must outlive this object; `status` may be null.
    AlertSounds(const schedule::Settings& settings, alarm::SoundPlayer& device,
                const schedule::Clock& clock, std::string programDir,
                schedule::WriteStatusSink* status = nullptr);
    ~AlertSounds() override;
    AlertSounds(const AlertSounds&) = delete;
    AlertSounds& operator=(const AlertSounds&) = delete;

    // Tick worker: the chime when the alert chimes (or is due and repeating is on), the
    // boss name queued for speaking, then the alert passed on.
    void alert(const schedule::Alert& alert) override;
    // Tick worker, after every pass: sounds the due chime again when it is time.
    void onPass();
    // Any thread: stops every sound, drops speech not yet played and ends repeating.
    void silence();
    // Any thread: speaks `text` after what is queued, whether or not alerts are spoken (the
    // player asked for it, e.g. `zorvane --say-next`).
    void say(std::string text);

    // Any thread, at any time.
    void setSpeechEnabled(bool on) { m_speechEnabled.store(on); }
    void setRepeat(int everySeconds, int limitMinutes);
    // Told of every alert after its sounds; set before the tick starts.
    void setNext(schedule::AlarmSink* next) { m_next = next; }

    bool repeating() const;
    // Alerts waiting to be spoken or being synthesised (for tests).
    bool speechPending() const;

private:
    void chime();
    // The speaker's task: synthesises and plays the oldest text waiting.
    void speakNext();

    const schedule::Settings& m_settings;
    alarm::SoundPlayer& m_device;
    const schedule::Clock& m_clock;
    std::string m_programDir;
    schedule::WriteStatusSink* m_status;
    schedule::AlarmSink* m_next = nullptr;
    std::atomic<bool> m_speechEnabled{false};

    mutable std::mutex m_repeatMutex;
    RepeatPlan m_repeat;
    int m_repeatSeconds = 0;
    int m_repeatLimitMinutes = 0;

    // The texts waiting to be spoken; a silence raises the generation, so a text synthesised
    // meanwhile is thrown away instead of played.
    mutable std::mutex m_speechMutex;
    std::deque<std::string> m_texts;
    std::uint64_t m_generation = 0;
    bool m_synthesising = false;
    bool m_stopping = false;
    // The speaker's own: names played so far and the speech names still open, oldest first.
    std::uint64_t m_spoken = 0;
    std::deque<std::string> m_aliases;
    // Last, so it ends before the members its tasks use go.
    work::Worker m_speaker{"speaker"};
};

} // namespace zorvane::alarm
