#include "alarm/embeddedsound.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace zorvane::alarm {
namespace {

constexpr std::uint32_t kSampleRate = 44100;
constexpr std::uint16_t kChannels = 2;
constexpr std::uint16_t kBitsPerSample = 16;
constexpr std::uint16_t kBlockAlign = kChannels * kBitsPerSample / 8;
constexpr std::uint32_t kDataSize = 4'607'992;
constexpr std::uint32_t kFrames = kDataSize / kBlockAlign;
// "WAVE" + fmt chunk (8 + 16) + data chunk (8 + data) + the empty trailing chunk (8).
constexpr std::uint32_t kRiffSize = 4 + 24 + 8 + kDataSize + 8;
static_assert(kRiffSize + 8 == kEmbeddedSoundSize);

// One struck chime note: a soft attack, then partials that die away exponentially,
// the upper ones faster, as a bell does.
struct Partial {
    double ratio;
    double level;
    double decaySeconds;
};
constexpr std::array<Partial, 4> kPartials{{
    {1.0, 1.0, 0.42},
    {2.0, 0.32, 0.21},
    {3.0, 0.12, 0.14},
    {2.76, 0.10, 0.09},
}};
constexpr double kAttackSeconds = 0.006;
constexpr double kNoteSeconds = 1.6;
constexpr double kReleaseSeconds = 0.35;

std::vector<float> chimeNote(double frequency) {
    const std::size_t length = static_cast<std::size_t>(kNoteSeconds * kSampleRate);
    const std::size_t attack = static_cast<std::size_t>(kAttackSeconds * kSampleRate);
    const std::size_t releaseStart =
        length - static_cast<std::size_t>(kReleaseSeconds * kSampleRate);
    // Each partial, exp(-t / decay) * sin(w t), follows y[n] = 2 r cos(w) y[n-1] - r^2 y[n-2]
    // with r the decay of one sample: two multiplications a sample instead of exp and sin.
    struct Oscillator {
        double a, b, previous, current;
    };
    std::array<Oscillator, kPartials.size()> partials{};
    for (std::size_t k = 0; k < kPartials.size(); ++k) {
        const double r = std::exp(-1.0 / (kPartials[k].decaySeconds * kSampleRate));
        const double w = 2.0 * std::numbers::pi * frequency * kPartials[k].ratio / kSampleRate;
        // y[0] = 0 and y[-1] = -sin(w) / r, so that y[1] = r sin(w).
        partials[k] = {2.0 * r * std::cos(w), -r * r, -std::sin(w) / r, 0.0};
    }
    std::vector<float> note(length);
    for (std::size_t i = 0; i < length; ++i) {
        double value = 0.0;
        for (std::size_t k = 0; k < kPartials.size(); ++k) {
            value += kPartials[k].level * partials[k].current;
            Oscillator& o = partials[k];
            const double next = o.a * o.current + o.b * o.previous;
            o.previous = o.current;
            o.current = next;
        }
        double envelope = 1.0;
        if (i < attack) {
            envelope = 0.5 - 0.5 * std::cos(std::numbers::pi * static_cast<double>(i) / attack);
        } else if (i >= releaseStart) {
            // Brings the faint tail to exact zero so the note never ends in a click.
            const double x = static_cast<double>(i - releaseStart) / (length - releaseStart);
            envelope = 0.5 + 0.5 * std::cos(std::numbers::pi * x);
        }
        note[i] = static_cast<float>(value * envelope);
    }
    return note;
}

// A falling major third, struck twice, then a rest: easy to pick out over game
// music and effects without being harsh. The two tones sit a little apart in the stereo field.
struct Strike {
    double at;
    int tone;
    float left;
    float right;
};
constexpr std::array<Strike, 4> kPattern{{
    {0.00, 0, 1.0f, 0.78f},
    {0.28, 1, 0.78f, 1.0f},
    {0.56, 0, 1.0f, 0.78f},
    {0.84, 1, 0.78f, 1.0f},
}};
constexpr double kPatternSeconds = 2.8;
constexpr std::array<double, 2> kToneFrequencies{1318.51, 1046.50}; // E6, C6
constexpr double kPeak = 0.8;

void put16(std::string& out, std::uint16_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8));
}

void put32(std::string& out, std::uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<char>((v >> shift) & 0xFF));
    }
}

std::string synthesise() {
    // Every repetition of the pattern is the same and they do not overlap, so one is
    // mixed and copied: the sound is made without holding more than itself.
    const auto period = static_cast<std::size_t>(std::lround(kPatternSeconds * kSampleRate));
    const std::array<std::vector<float>, 2> tones{chimeNote(kToneFrequencies[0]),
                                                  chimeNote(kToneFrequencies[1])};
    std::vector<float> left(period, 0.0f);
    std::vector<float> right(period, 0.0f);
    std::size_t used = 0; // frames of the period the strikes reach
    for (const Strike& s : kPattern) {
        const auto first = static_cast<std::size_t>(std::lround(s.at * kSampleRate));
        const std::vector<float>& note = tones[static_cast<std::size_t>(s.tone)];
        for (std::size_t i = 0; i < note.size(); ++i) {
            left[first + i] += s.left * note[i];
            right[first + i] += s.right * note[i];
        }
        used = std::max(used, first + note.size());
    }
    // Only whole repetitions: the sound ends in silence, not in a cut-off ring.
    const std::size_t repetitions = (kFrames - used) / period + 1;

    float peak = 0.0f;
    for (std::size_t i = 0; i < period; ++i) {
        peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
    }
    const double scale = peak > 0.0f ? kPeak * 32767.0 / peak : 0.0;

    std::string wav;
    wav.reserve(kEmbeddedSoundSize);
    wav += "RIFF";
    put32(wav, kRiffSize);
    wav += "WAVE";
    wav += "fmt ";
    put32(wav, 16);
    put16(wav, 1);
    put16(wav, kChannels);
    put32(wav, kSampleRate);
    put32(wav, kSampleRate * kBlockAlign);
    put16(wav, kBlockAlign);
    put16(wav, kBitsPerSample);
    wav += "data";
    put32(wav, kDataSize);
    // One repetition is converted once and copied as often as it fits whole (the alarm's
    // first sounding waits for this); silence after the last.
    std::string once;
    once.reserve(period * kBlockAlign);
    for (std::size_t k = 0; k < period; ++k) {
        put16(once,
              static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(left[k] * scale))));
        put16(once,
              static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(right[k] * scale))));
    }
    const std::size_t soundingFrames = std::min<std::size_t>(kFrames, repetitions * period);
    for (std::size_t done = 0; done < soundingFrames; done += period) {
        wav.append(once, 0, std::min(period, soundingFrames - done) * kBlockAlign);
    }
    wav.append((kFrames - soundingFrames) * kBlockAlign, '\0');
    wav += "JUNK";
    put32(wav, 0);
    return wav;
}

} // namespace

std::string embeddedAlarmSound() {
    return synthesise();
}

} // namespace zorvane::alarm
