#pragma once
// Sounding the alarm: the built-in sound or a file the user chose, played under
// one fixed alias so that a new alarm cuts off the previous one. For the command strings
// and the alias "1", see the glossary in ARCHITECTURE.md.

#include "alarm/sounddevice.h"
#include "schedule/services.h"
#include "text/message.h"

#include <functional>
#include <string>

namespace zorvane::alarm {

// The alias every alarm is played under.
inline constexpr const char* kAlarmAlias = "1";

// "<programDir>/1.wav", where the built-in sound is written to be played.
std::string workingSoundPath(const std::string& programDir);

// Sends "close <alias>", "open \"<file>\" alias <alias>" and "play <alias>" in this
// order; true when "play" answered 0. The results of close and open are ignored.
[[nodiscard]] bool playSound(SoundDevice& device, const std::string& file,
                             const std::string& alias);

// Makes sure the working sound file holds the built-in sound: written on the first
// call for that directory in this process, afterwards only when it is missing or has
// the wrong size. Written to a temporary file and renamed into place, so no reader
// ever sees half a file. False when it could not be written, with the file and the
// reason in `error`.
[[nodiscard]] bool ensureWorkingSoundFile(const std::string& programDir,
                                          std::string* error = nullptr);

// Told why an alarm stayed silent, in words for the user; called on the thread that
// sounded the alarm, and must return at once.
using SilenceSink = std::function<void(const text::Message& reason)>;

// Plays the alarm: with an empty sound path the built-in sound (from the working
// sound file), otherwise the file named by the path exactly as written. When the
// device cannot open that file (missing, refused, or not decoded yet) the built-in
// sound plays instead. Never throws (an exception of the device or the memory is caught).
// How the working sound file's write ended goes to `status` when one is given. Why the
// alarm stayed silent (the built-in sound refused by the device, or the exception's
// reason) goes to `silence`: that is no failed write. Without one it goes to `status`
// in the default wording, so that it is not lost.
void soundAlarm(SoundDevice& device, const std::string& soundPathText,
                const std::string& programDir, schedule::WriteStatusSink* status = nullptr,
                const SilenceSink& silence = {});

// Silences every sound now playing ("stop all"); true when the device agreed.
bool stopAllSounds(SoundDevice& device);

} // namespace zorvane::alarm
