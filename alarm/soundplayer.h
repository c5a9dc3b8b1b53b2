#pragma once
// A sound device with what the alarm needs beyond the command strings: files decoded ahead,
// samples from memory queued behind other sounds, the volume, and a look at what plays.
// Implemented in this process by SdlSoundDevice and, on Linux, by a device that plays in a
// helper process (alarm/soundhelperdevice.h).

#include "alarm/sounddevice.h"

#include "text/message.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zorvane::alarm {

class DecodedSound;

class SoundPlayer : public SoundDevice {
public:
    // Told the outcome of prepare: "" when the sound is ready, else why it is refused.
    // Called on a thread of the device's, or at once when the outcome is known.
    using PrepareDone = std::function<void(const text::Message& refusal)>;

    // Starts decoding the file now, so that a later "open" of it finds it ready, and tells
    // `done` whether the file can be played. Never blocks on the file.
    virtual void prepare(const std::string& file, PrepareDone done = {}) = 0;
    // Opens the name on samples already in memory and plays them once nothing plays under
    // any of `after`; see SdlSoundDevice::playSamples.
    virtual int playSamples(const std::string& alias, std::shared_ptr<const DecodedSound> sound,
                            std::vector<std::string> after = {}) = 0;
    // The names now open.
    virtual std::vector<std::string> openNames() const = 0;
    // True while the sound under the name is playing or waiting to play.
    virtual bool isPlaying(const std::string& alias) const = 0;
    // True while the audio device is open.
    virtual bool isAudioOpen() const = 0;
    // Gets ready to play soon without playing anything, so that what playing needs can
    // start while the caller prepares the sound itself. Does nothing by default.
    virtual void warmUp() {}
    // Scales everything played: 0 (silent) to 100 percent. Any thread.
    virtual void setVolume(int percent) = 0;
    virtual int volume() const = 0;
};

} // namespace zorvane::alarm
