#include "services/ticksupport.h"

#include "alarm/sdlsounddevice.h"
#include "alarm/soundhelperdevice.h"
#include "services/coretexts.h"
#include "services/programdir.h"

#include <cstdio>

namespace zorvane::app {

std::string BoxSettings::warnMinutesText() const {
    const std::lock_guard lock(m_mutex);
    return m_warnMinutes;
}

std::string BoxSettings::soundPathText() const {
    const std::lock_guard lock(m_mutex);
    return m_soundPath;
}

std::vector<int> BoxSettings::extraLeadMinutes() const {
    const std::lock_guard lock(m_mutex);
    return m_extraLeadMinutes;
}

void BoxSettings::setWarnMinutesText(std::string text) {
    const std::lock_guard lock(m_mutex);
    m_warnMinutes = std::move(text);
}

void BoxSettings::setSoundPathText(std::string text) {
    const std::lock_guard lock(m_mutex);
    m_soundPath = std::move(text);
}

void BoxSettings::setExtraLeadMinutes(std::vector<int> minutes) {
    const std::lock_guard lock(m_mutex);
    m_extraLeadMinutes = std::move(minutes);
}

namespace {

// Sound plays in a helper process where there is one (SDL2 and the audio server's client
// libraries stay mapped once loaded); trouble with it goes to the write notice line.
std::unique_ptr<alarm::SoundPlayer> makeSoundDevice(schedule::WriteStatusSink* status) {
#ifdef Q_OS_WIN
    (void)status;
    return std::make_unique<alarm::SdlSoundDevice>();
#else
    const std::string program = helperProgramPath(QStringLiteral("zorvane-sound")).toStdString();
    return std::make_unique<alarm::HelperSoundDevice>(
        program, std::vector<std::string>{}, [status, program](const text::Message& reason) {
            if (status) {
                status->soundFailed(program, reason);
            } else {
                std::fprintf(stderr, "zorvane: %s\n", messageText(reason).toStdString().c_str());
            }
        });
#endif
}

} // namespace

TickSupport::TickSupport(schedule::BossTable& table, schedule::LineBoard& lines,
                         const schedule::Clock& clock, periodic::CriticalSectionLock& tickLock,
                         std::string programDir, schedule::WriteStatusSink* status)
    : m_device(makeSoundDevice(status)),
      m_alarm(m_settings, *m_device, clock, std::move(programDir), status), m_lock(tickLock),
      m_tick(table, clock, m_settings, m_alarm, m_lock), m_lines(table, lines, m_alarm) {
    m_tick.setHook(&m_lines);
}

void TickSupport::setSoundPath(const std::string& path) {
    m_settings.setSoundPathText(path);
    m_device->prepare(path);
}

} // namespace zorvane::app
