#pragma once
// What the tick needs besides the table: the two edit boxes' texts mirrored for its worker
// thread (the window hands them in as they change), the alarm through the sound device, and
// the tick lock.

#include "alarm/alertsounds.h"
#include "alarm/playback.h"
#include "alarm/soundplayer.h"
#include "periodic/locks.h"
#include "schedule/linepass.h"
#include "schedule/services.h"
#include "schedule/tick.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zorvane::schedule {
class BossTable;
class Clock;
} // namespace zorvane::schedule

namespace zorvane::app {

// The warning minutes and sound path boxes (and the extra lead times), copied on every change on
// the window thread so the worker can read them without touching a widget.
class BoxSettings final : public schedule::Settings {
public:
    std::string warnMinutesText() const override;
    std::string soundPathText() const override;
    std::vector<int> extraLeadMinutes() const override;
    // The boxes' texts and the preferences' extra lead times, copied on the window thread
    // whenever they change.
    void setWarnMinutesText(std::string text);
    void setSoundPathText(std::string text);
    void setExtraLeadMinutes(std::vector<int> minutes);

private:
    mutable std::mutex m_mutex;
    std::string m_warnMinutes;
    std::string m_soundPath;
    std::vector<int> m_extraLeadMinutes;
};

// The tick lock of the globals as the tick's lock.
class SectionTickLock final : public schedule::TickLock {
public:
    explicit SectionTickLock(periodic::CriticalSectionLock& lock) : m_lock(lock) {}
    void lock() override { m_lock.enter(); }
    void unlock() override { m_lock.leave(); }

private:
    periodic::CriticalSectionLock& m_lock;
};

// Everything the tick timer's handler uses, made and destroyed together. Destroy it
// only after the tick timer has stopped. Whatever the sound path box names is decoded
// ahead of the alarm, so the tick never waits for a sound file.
class TickSupport {
public:
    // `status`, when given, must outlive the tick.
    // `lines` (the rows' lines and servers) must outlive the tick.
    TickSupport(schedule::BossTable& table, schedule::LineBoard& lines,
                const schedule::Clock& clock, periodic::CriticalSectionLock& tickLock,
                std::string programDir, schedule::WriteStatusSink* status = nullptr);
    TickSupport(const TickSupport&) = delete;
    TickSupport& operator=(const TickSupport&) = delete;

    // One pass, then a repeat of the due chime when one is due; runs on the tick timer's
    // worker.
    void onTick() {
        m_tick.onTick();
        m_alarm.onPass();
    }
    // Where roll-overs are recorded; set before the tick starts.
    void setKillLog(schedule::KillLog* log) {
        m_tick.setKillLog(log);
        m_lines.setKillLog(log);
    }
    // Told of every alert after the chime; set before the tick starts, outlives the tick.
    void setAlertListener(schedule::AlarmSink* listener) { m_alarm.setNext(listener); }
    // Window thread, at any time: the warning minutes box's text, and the lead times
    // announced besides the warning minutes.
    void setWarnMinutesText(std::string text) { m_settings.setWarnMinutesText(std::move(text)); }
    void setExtraLeadMinutes(std::vector<int> minutes) {
        m_settings.setExtraLeadMinutes(std::move(minutes));
    }
    // Window thread, at any time: the sound path box's text; the file it names is decoded
    // ahead of the alarm.
    void setSoundPath(const std::string& path);

    // Decodes the sound file and tells, on some thread, "" or why it cannot be played.
    void checkSound(const std::string& file, alarm::SoundPlayer::PrepareDone done) {
        m_device->prepare(file, std::move(done));
    }
    // Silences every sound now playing, speech not yet played and the repeating chime.
    void stopSounds() { m_alarm.silence(); }
    // The boxes' texts and the extra lead times as the tick reads them.
    const schedule::Settings& settings() const { return m_settings; }
    // The chime, speech and repeating of the alerts.
    alarm::AlertSounds& sounds() { return m_alarm; }
    // The device every alert sound plays through: on Linux the sound helper process
    // (zorvane-sound), elsewhere SDL in this process.
    alarm::SoundPlayer& device() { return *m_device; }

private:
    BoxSettings m_settings;
    std::unique_ptr<alarm::SoundPlayer> m_device;
    alarm::AlertSounds m_alarm;
    SectionTickLock m_lock;
    schedule::Tick m_tick;
    // The lines of rows that have them, counted after each pass with the same alarm.
    schedule::LinePass m_lines;
};

} // namespace zorvane::app
