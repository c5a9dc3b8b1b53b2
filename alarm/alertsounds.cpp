#include "alarm/alertsounds.h"

#include "alarm/playback.h"
#include "alarm/soundfile.h"
#include "schedule/linetimers.h"
#include "speech/speech.h"

#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace zorvane::alarm {

void RepeatPlan::start(schedule::UtcSeconds now, int everySeconds, int limitMinutes) {
    if (everySeconds <= 0 || limitMinutes <= 0) {
        m_next.reset();
        return;
    }
    m_every = everySeconds;
    m_until = now + 60LL * limitMinutes;
    // A second due row while repeating keeps the rhythm and only moves the end.
    if (!m_next) {
        m_next = now + everySeconds;
    }
}

bool RepeatPlan::due(schedule::UtcSeconds now) {
    if (!m_next) {
        return false;
    }
    if (now > m_until) {
        m_next.reset();
        return false;
    }
    if (now < *m_next) {
        return false;
    }
    while (*m_next <= now) {
        *m_next += m_every;
    }
    return true;
}

std::string spokenText(const schedule::Alert& alert) {
    const std::string title = schedule::spokenAlertTitle(alert);
    switch (alert.topic) {
    case schedule::AlertTopic::Countdown:
        break;
    case schedule::AlertTopic::WindowOpening:
        return speech::spokenAlert(title, alert.secondsLeft,
                                   alert.leadMinutes ? speech::SpokenTopic::WindowLead
                                                     : speech::SpokenTopic::WindowOpen);
    case schedule::AlertTopic::Unrecorded:
        return speech::spokenAlert(title, -alert.secondsLeft, speech::SpokenTopic::Unrecorded);
    }
    return speech::spokenAlert(title, alert.secondsLeft);
}

AlertSounds::AlertSounds(const schedule::Settings& settings, alarm::SoundPlayer& device,
                         const schedule::Clock& clock, std::string programDir,
                         schedule::WriteStatusSink* status)
    : m_settings(settings), m_device(device), m_clock(clock), m_programDir(std::move(programDir)),
      m_status(status) {}

AlertSounds::~AlertSounds() {
    {
        // Texts still waiting are not spoken any more.
        const std::lock_guard lock(m_speechMutex);
        m_stopping = true;
    }
    m_speaker.stop();
}

void AlertSounds::setRepeat(int everySeconds, int limitMinutes) {
    const std::lock_guard lock(m_repeatMutex);
    m_repeatSeconds = everySeconds;
    m_repeatLimitMinutes = limitMinutes;
    if (everySeconds <= 0) {
        m_repeat.stop();
    }
}

bool AlertSounds::repeating() const {
    const std::lock_guard lock(m_repeatMutex);
    return m_repeat.active();
}

bool AlertSounds::speechPending() const {
    const std::lock_guard lock(m_speechMutex);
    return m_synthesising || !m_texts.empty();
}

void AlertSounds::chime() {
    // A helper process starts loading the audio libraries while the chime is written.
    m_device.warmUp();
    alarm::soundAlarm(m_device, m_settings.soundPathText(), m_programDir, m_status);
}

void AlertSounds::alert(const schedule::Alert& alert) {
    bool sound = alert.chime;
    if (alert.due()) {
        const std::lock_guard lock(m_repeatMutex);
        if (m_repeatSeconds > 0) {
            m_repeat.start(m_clock.instant(), m_repeatSeconds, m_repeatLimitMinutes);
            sound = true;
        }
    }
    if (sound) {
        chime();
    }
    if (m_speechEnabled.load() && !alert.boss.empty()) {
        {
            const std::lock_guard lock(m_speechMutex);
            m_texts.push_back(spokenText(alert));
        }
        m_speaker.post([this] { speakNext(); });
    }
    if (m_next) {
        m_next->alert(alert);
    }
}

void AlertSounds::onPass() {
    bool again = false;
    {
        const std::lock_guard lock(m_repeatMutex);
        if (m_repeat.active()) {
            again = m_repeat.due(m_clock.instant());
        }
    }
    if (again) {
        chime();
    }
}

void AlertSounds::silence() {
    {
        const std::lock_guard lock(m_repeatMutex);
        m_repeat.stop();
    }
    {
        const std::lock_guard lock(m_speechMutex);
        m_texts.clear();
        ++m_generation;
    }
    alarm::stopAllSounds(m_device);
}

void AlertSounds::say(std::string text) {
    if (text.empty()) {
        return;
    }
    {
        const std::lock_guard lock(m_speechMutex);
        m_texts.push_back(std::move(text));
    }
    m_speaker.post([this] { speakNext(); });
}

void AlertSounds::speakNext() {
    std::unique_lock lock(m_speechMutex);
    // A silence may have dropped the text this task was posted for.
    if (m_stopping || m_texts.empty()) {
        return;
    }
    const std::string text = std::move(m_texts.front());
    m_texts.pop_front();
    const std::uint64_t generation = m_generation;
    m_synthesising = true;
    lock.unlock();

    const speech::Speech said = speech::synthesise(text);
    lock.lock();
    const bool wanted = generation == m_generation && !m_stopping;
    lock.unlock();
    if (wanted && !said.failure.empty() && m_status != nullptr) {
        // The player turned speech on and would otherwise hear nothing and learn nothing.
        m_status->soundFailed(std::string(kSpeechSource), said.failure);
    }
    if (wanted && !said.empty()) {
        // Names whose speech has ended are closed; the last one still playing is
        // followed, so two alerts of one pass are spoken one after the other.
        std::vector<std::string> after{alarm::kAlarmAlias};
        while (!m_aliases.empty() && !m_device.isPlaying(m_aliases.front())) {
            m_device.sendCommand("close " + m_aliases.front());
            m_aliases.pop_front();
        }
        if (!m_aliases.empty()) {
            after.push_back(m_aliases.back());
        }
        std::vector<std::uint8_t> bytes(said.samples.size() * sizeof(std::int16_t));
        std::memcpy(bytes.data(), said.samples.data(), bytes.size());
        auto samples = std::make_shared<alarm::DecodedSound>(AUDIO_S16SYS, std::uint8_t{1},
                                                             said.sampleRate, std::move(bytes));
        const std::string alias = kSpeechAliasPrefix + std::to_string(m_spoken++);
        if (m_device.playSamples(alias, std::move(samples), std::move(after)) == 0) {
            m_aliases.push_back(alias);
            // A silence that came while it was handed over stops it after all.
            lock.lock();
            const bool silenced = generation != m_generation;
            lock.unlock();
            if (silenced) {
                m_device.sendCommand("stop " + alias);
            }
        }
    }
    lock.lock();
    m_synthesising = false;
}

} // namespace zorvane::alarm
