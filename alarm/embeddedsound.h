#pragma once
// The alarm sound built into the program: a complete WAV file held in memory.

#include <cstddef>
#include <string>

namespace zorvane::alarm {

// Size of the whole WAV file in bytes.
inline constexpr std::size_t kEmbeddedSoundSize = 4'608'044;

// The built-in alarm: 16-bit PCM, 2 channels, 44100 Hz, a "data" chunk of 4,607,992
// bytes (about 26.1 s) followed by an empty "JUNK" chunk. Synthesised anew on each
// call (a few milliseconds), so the 4.6 MB are held only while they are used; always
// the same bytes. Any thread.
std::string embeddedAlarmSound();

} // namespace zorvane::alarm
