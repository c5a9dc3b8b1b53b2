#pragma once
// Reading a sound file the user named: only a regular file of bounded size is read
// (a pipe or device could block the reader forever or never end), and it is decoded
// once into PCM samples kept in the file's own format.

#include "alarm/sdlapi.h"
#include "text/message.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zorvane::alarm {

// Larger files are refused: a sound file of that size is a mistake, not an alarm.
inline constexpr std::uint64_t kMaxSoundFileBytes = 64ull << 20;
// Decoding may widen compressed samples; the decoded copy is bounded too.
inline constexpr std::uint64_t kMaxDecodedBytes = 256ull << 20;
// Sample rates and channel counts a sound may have. Converting a rate far below the
// device's makes each piece of the file thousands of times larger (a 1 Hz file held the
// mixing in SDL for minutes, or ended the process), and SDL mixes at most 8 channels.
inline constexpr int kMinSoundRate = 1000;
inline constexpr int kMaxSoundRate = 384000;
inline constexpr int kMaxSoundChannels = 8;

// Identifies one version of a file: a sound is decoded again only when this changes.
struct SoundFileKey {
    std::string path;
    std::int64_t modified = 0; // nanoseconds since the epoch
    std::uint64_t size = 0;
    bool operator==(const SoundFileKey&) const = default;
};

// Samples exactly as the file holds them after decoding, and their layout. They sit
// either in SDL's own buffer, which keeps SDL loaded while it lives, or in a copy of
// ours, which does not.
class DecodedSound {
public:
    DecodedSound(std::uint16_t format, std::uint8_t channels, int rate,
                 std::vector<std::uint8_t> samples);
    DecodedSound(std::uint16_t format, std::uint8_t channels, int rate,
                 std::shared_ptr<const SdlApi> sdl, std::uint8_t* sdlSamples, std::size_t size);
    ~DecodedSound();
    DecodedSound(const DecodedSound&) = delete;
    DecodedSound& operator=(const DecodedSound&) = delete;

    std::uint16_t format() const { return m_format; } // an SDL_AudioFormat
    std::uint8_t channels() const { return m_channels; }
    int rate() const { return m_rate; }
    const std::uint8_t* data() const { return m_sdlSamples ? m_sdlSamples : m_own.data(); }
    std::size_t size() const { return m_size; }
    std::size_t frameBytes() const;

private:
    std::uint16_t m_format;
    std::uint8_t m_channels;
    int m_rate;
    std::vector<std::uint8_t> m_own;
    std::shared_ptr<const SdlApi> m_sdl;
    std::uint8_t* m_sdlSamples = nullptr;
    std::size_t m_size;
};

struct [[nodiscard]] SoundFileCheck {
    SoundFileKey key;
    text::Message refusal; // empty when the file may be read
};

// Looks at the file without opening it: it must exist, be a regular file and be no
// larger than kMaxSoundFileBytes. Never blocks on a pipe or device.
SoundFileCheck checkSoundFile(const std::string& path);

struct [[nodiscard]] DecodeResult {
    std::shared_ptr<const DecodedSound> sound; // nullptr when refused
    text::Message refusal;                     // why, for the user
};

// Reads and decodes the WAV file, refusing it when it is not (or no longer) a regular
// file, is larger than the limit, is not a WAV file SDL can read, or has a rate or a
// number of channels outside the limits above. With `ownCopy`
// the samples are copied out of SDL's buffer, so that keeping them does not keep SDL
// loaded; without, they stay where SDL decoded them (one copy less, for a sound about
// to be played).
DecodeResult decodeSoundFile(const std::shared_ptr<const SdlApi>& sdl, const std::string& path,
                             bool ownCopy);

} // namespace zorvane::alarm
