#pragma once
// Sounds are played through command strings such as "open \"bell.wav\" alias 1",
// "play 1" and "close 1", sent to a device that answers each with a code.

#include <string>

namespace zorvane::alarm {

class SoundDevice {
public:
    virtual ~SoundDevice() = default;
    // Carries out one command; 0 on success, a non-zero error code otherwise.
    // Must not wait for a sound to finish.
    virtual int sendCommand(const std::string& command) = 0;
};

} // namespace zorvane::alarm
