#include "tests/alarm/wavfiles.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace zorvane::alarm::testing {

std::uint32_t le32(const std::string& bytes, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
        v = (v << 8) | static_cast<unsigned char>(bytes.at(at + static_cast<std::size_t>(i)));
    }
    return v;
}

std::uint16_t le16(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes.at(at)) |
                                      (static_cast<unsigned char>(bytes.at(at + 1)) << 8));
}

std::int16_t sample16(const std::string& bytes, std::size_t at) {
    return static_cast<std::int16_t>(le16(bytes, at));
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

namespace {
void put(std::string& out, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
}
} // namespace

std::string toneThenSilence(double toneSeconds, double silenceSeconds) {
    const auto toneFrames = static_cast<std::uint32_t>(toneSeconds * 44100);
    const auto frames = toneFrames + static_cast<std::uint32_t>(silenceSeconds * 44100);
    std::string wav = "RIFF";
    put(wav, 36 + frames * 4, 4);
    wav += "WAVEfmt ";
    put(wav, 16, 4);
    put(wav, 1, 2);
    put(wav, 2, 2);
    put(wav, 44100, 4);
    put(wav, 176400, 4);
    put(wav, 4, 2);
    put(wav, 16, 2);
    wav += "data";
    put(wav, frames * 4, 4);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const std::int16_t v = i < toneFrames ? ((i / 50) % 2 ? 12000 : -12000) : 0;
        put(wav, static_cast<std::uint16_t>(v), 2);
        put(wav, static_cast<std::uint16_t>(v), 2);
    }
    return wav;
}

std::string lowRateWav(std::uint32_t dataBytes, double toneSeconds) {
    std::string wav = "RIFF";
    put(wav, 36 + dataBytes + dataBytes % 2, 4);
    wav += "WAVEfmt ";
    put(wav, 16, 4);
    put(wav, 1, 2);
    put(wav, 1, 2);
    put(wav, 8000, 4);
    put(wav, 8000, 4);
    put(wav, 1, 2);
    put(wav, 8, 2);
    wav += "data";
    put(wav, dataBytes, 4);
    const auto toneSamples = static_cast<std::uint32_t>(toneSeconds * 8000);
    wav.reserve(wav.size() + dataBytes + 1);
    for (std::uint32_t i = 0; i < dataBytes; ++i) {
        // Unsigned 8-bit samples: 128 is silence.
        wav.push_back(static_cast<char>(i < toneSamples ? ((i / 10) % 2 ? 224 : 32) : 128));
    }
    if (dataBytes % 2) {
        wav.push_back('\0'); // chunks are padded to an even size
    }
    return wav;
}

std::string pcmWav(std::uint32_t rate, std::uint16_t channels, std::uint32_t frames) {
    const std::uint32_t dataBytes = frames * channels * 2;
    std::string wav = "RIFF";
    put(wav, 36 + dataBytes, 4);
    wav += "WAVEfmt ";
    put(wav, 16, 4);
    put(wav, 1, 2);
    put(wav, channels, 2);
    put(wav, rate, 4);
    put(wav, rate * channels * 2, 4);
    put(wav, channels * 2u, 2);
    put(wav, 16, 2);
    wav += "data";
    put(wav, dataBytes, 4);
    for (std::uint32_t i = 0; i < frames * channels; ++i) {
        put(wav, static_cast<std::uint16_t>((i / channels / 4) % 2 ? 12000 : -12000), 2);
    }
    return wav;
}

bool hasSound(const std::string& bytes, std::size_t from) {
    from -= from % 2;
    for (std::size_t i = from; i + 1 < bytes.size(); i += 2) {
        if (sample16(bytes, i) != 0) {
            return true;
        }
    }
    return false;
}

} // namespace zorvane::alarm::testing
