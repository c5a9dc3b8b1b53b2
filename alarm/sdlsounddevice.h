#pragma once
// The sound device of the running program: plays WAV files through SDL2 audio.
//
// Commands (verbs and aliases are case-insensitive, a file name with blanks goes
// between double quotes):
//   open <file> [alias <name>]  loads the file under the name (the file itself without alias)
//   play <name>                 starts the sound, from the beginning once it has ended
//   stop <name>                 stops the sound and rewinds it
//   close <name> | close all    stops and forgets the sound(s)
// Several names may play at once; they are mixed. Commands return at once.

#include "alarm/sounddevice.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace zorvane::alarm {

class SdlSoundDevice final : public SoundDevice {
public:
    // Answers of sendCommand besides 0.
    enum Error : int {
        kUnrecognizedCommand = 1,
        kUnknownAlias = 2,
        kAliasInUse = 3,
        kCannotOpenFile = 4,
        kNoAudioDevice = 5,
    };

    // SDL's audio is started on the first "play", not here.
    SdlSoundDevice();
    // Stops every sound and releases the audio device.
    ~SdlSoundDevice() override;
    SdlSoundDevice(const SdlSoundDevice&) = delete;
    SdlSoundDevice& operator=(const SdlSoundDevice&) = delete;

    int sendCommand(const std::string& command) override;

    // True while the sound under the name is playing (it stops by itself at its end).
    bool isPlaying(const std::string& alias) const;

private:
    struct Sound {
        // Interleaved signed 16-bit stereo at the device rate.
        std::vector<std::int16_t> samples;
        std::size_t position = 0;
        bool playing = false;
    };

    int runCommand(const std::string& command);
    int open(const std::string& file, const std::string& alias);
    int play(const std::string& alias);
    int stop(const std::string& alias);
    int close(const std::string& alias);
    bool ensureAudioDevice();
    void lockAudio() const;
    void unlockAudio() const;
    static void mix(void* self, std::uint8_t* stream, int length);

    // Serialises commands; the sounds are also guarded by the audio device's own
    // lock, which the mixing callback runs under.
    mutable std::mutex m_commandMutex;
    std::map<std::string, Sound> m_sounds;
    bool m_audioStarted = false;
    std::uint32_t m_device = 0;
};

} // namespace zorvane::alarm
