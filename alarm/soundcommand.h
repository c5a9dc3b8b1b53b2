#pragma once
// Reading one command string of the sound device (see sdlsounddevice.h for the commands).

#include <optional>
#include <string>

namespace zorvane::alarm {

struct SoundCommand {
    std::string verb;  // "open", "play", "stop" or "close", lower case
    std::string file;  // "open" only, exactly as written
    std::string alias; // lower case; "all" for every name of stop and close
};

// The command, or nullopt when it is not one the device understands (unknown verb, wrong
// number of words, an unterminated quote).
std::optional<SoundCommand> parseSoundCommand(const std::string& command);

} // namespace zorvane::alarm
