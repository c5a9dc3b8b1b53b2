#pragma once
// Helpers of the alarm tests: reading the little-endian fields of a WAV file and
// making small WAV files.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace zorvane::alarm::testing {

std::uint32_t le32(const std::string& bytes, std::size_t at);
std::uint16_t le16(const std::string& bytes, std::size_t at);
std::int16_t sample16(const std::string& bytes, std::size_t at);

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);

// A 16-bit stereo 44100 Hz WAV: `toneSeconds` of a loud square wave, then
// `silenceSeconds` of silence.
std::string toneThenSilence(double toneSeconds, double silenceSeconds);

// An 8-bit mono 8000 Hz WAV whose data chunk holds `dataBytes` samples: a loud square
// wave for the first `toneSeconds`, silence after it.
std::string lowRateWav(std::uint32_t dataBytes, double toneSeconds);

// A 16-bit WAV of `frames` frames at any rate and channel count: a loud square wave.
std::string pcmWav(std::uint32_t rate, std::uint16_t channels, std::uint32_t frames);

// True when some 16-bit sample in bytes[from, end) is not 0.
bool hasSound(const std::string& bytes, std::size_t from = 0);

} // namespace zorvane::alarm::testing
