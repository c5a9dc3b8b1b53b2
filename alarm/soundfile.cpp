#include "alarm/soundfile.h"

#include "text/fileio.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <fstream>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace zorvane::alarm {
namespace {

namespace fs = std::filesystem;

const text::Message kMissing{text::MessageId::SoundMissing};
const text::Message kNotRegular{text::MessageId::SoundNotRegular};
const text::Message kTooLarge{text::MessageId::SoundTooLarge};
const text::Message kUnreadable{text::MessageId::SoundUnreadable};
const text::Message kNotWav{text::MessageId::SoundNotWav};
const text::Message kDecodedTooLarge{text::MessageId::SoundDecodedTooLarge};

// The file as an SDL source, opened only if it is (still) a regular file within the
// limit; nullptr with the refusal otherwise. `bytes` holds the file where SDL cannot
// read it itself.
SDL_RWops* openSource(const SdlApi& sdl, const fs::path& path, std::vector<std::uint8_t>& bytes,
                      text::Message& refusal) {
#ifdef _WIN32
    std::error_code error;
    if (!fs::is_regular_file(path, error)) {
        refusal = kNotRegular;
        return nullptr;
    }
    std::ifstream in(path, std::ios::binary);
    bytes.resize(kMaxSoundFileBytes + 1);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    if (in.bad()) {
        refusal = kUnreadable;
    } else if (bytes.size() > kMaxSoundFileBytes) {
        refusal = kTooLarge;
    }
    return refusal.empty() ? sdl.rwFromConstMem(bytes.data(), static_cast<int>(bytes.size()))
                           : nullptr;
#else
    (void)bytes;
    // Non-blocking, so that a pipe put in the file's place meanwhile does not wait
    // for a writer; it is then refused by its type.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        refusal = errno == ENOENT ? kMissing : kUnreadable;
        return nullptr;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        refusal = kUnreadable;
    } else if (!S_ISREG(info.st_mode)) {
        refusal = kNotRegular;
    } else if (static_cast<std::uint64_t>(info.st_size) > kMaxSoundFileBytes) {
        refusal = kTooLarge;
    }
    FILE* file = refusal.empty() ? ::fdopen(fd, "rb") : nullptr;
    if (!file) {
        ::close(fd);
        if (refusal.empty()) {
            refusal = kUnreadable;
        }
        return nullptr;
    }
    SDL_RWops* source = sdl.rwFromFp(file, SDL_TRUE);
    if (!source) {
        std::fclose(file);
        refusal = kUnreadable;
    }
    return source;
#endif
}

} // namespace

SoundFileCheck checkSoundFile(const std::string& path) {
    SoundFileCheck check;
    check.key.path = path;
    const fs::path file = text::pathFromUtf8(path);
    std::error_code error;
    const fs::file_status status = fs::status(file, error);
    if (error || !fs::exists(status)) {
        check.refusal = kMissing;
        return check;
    }
    if (!fs::is_regular_file(status)) {
        check.refusal = kNotRegular;
        return check;
    }
    const std::uintmax_t size = fs::file_size(file, error);
    const fs::file_time_type modified = fs::last_write_time(file, error);
    if (error) {
        check.refusal = kUnreadable;
        return check;
    }
    if (size > kMaxSoundFileBytes) {
        check.refusal = kTooLarge;
        return check;
    }
    check.key.size = size;
    check.key.modified =
        std::chrono::duration_cast<std::chrono::nanoseconds>(modified.time_since_epoch()).count();
    return check;
}

DecodedSound::DecodedSound(std::uint16_t format, std::uint8_t channels, int rate,
                           std::vector<std::uint8_t> samples)
    : m_format(format), m_channels(channels), m_rate(rate), m_own(std::move(samples)),
      m_size(m_own.size()) {}

DecodedSound::DecodedSound(std::uint16_t format, std::uint8_t channels, int rate,
                           std::shared_ptr<const SdlApi> sdl, std::uint8_t* sdlSamples,
                           std::size_t size)
    : m_format(format), m_channels(channels), m_rate(rate), m_sdl(std::move(sdl)),
      m_sdlSamples(sdlSamples), m_size(size) {}

DecodedSound::~DecodedSound() {
    if (m_sdlSamples) {
        m_sdl->freeWav(m_sdlSamples);
    }
}

std::size_t DecodedSound::frameBytes() const {
    return static_cast<std::size_t>(SDL_AUDIO_BITSIZE(m_format) / 8) * m_channels;
}

DecodeResult decodeSoundFile(const std::shared_ptr<const SdlApi>& sdl, const std::string& path,
                             bool ownCopy) {
    DecodeResult result;
    std::vector<std::uint8_t> bytes;
    SDL_RWops* source = openSource(*sdl, text::pathFromUtf8(path), bytes, result.refusal);
    if (!source) {
        return result;
    }
    SDL_AudioSpec spec{};
    Uint8* buffer = nullptr;
    Uint32 length = 0;
    if (!sdl->loadWavRw(source, 1, &spec, &buffer, &length)) {
        result.refusal = kNotWav;
        return result;
    }
    std::vector<std::uint8_t>().swap(bytes);
    const int frameBytes = SDL_AUDIO_BITSIZE(spec.format) / 8 * spec.channels;
    if (length > kMaxDecodedBytes) {
        result.refusal = kDecodedTooLarge;
    } else if (frameBytes <= 0 || spec.freq <= 0) {
        result.refusal = kNotWav;
    } else if (spec.freq < kMinSoundRate || spec.freq > kMaxSoundRate ||
               spec.channels > kMaxSoundChannels) {
        result.refusal = text::Message(
            text::MessageId::SoundOddFormat,
            {text::Message::literal(std::to_string(spec.freq)),
             text::Message::literal(std::to_string(static_cast<int>(spec.channels)))});
    }
    if (!result.refusal.empty()) {
        sdl->freeWav(buffer);
        return result;
    }
    // Whole frames only: a torn last frame would shift the channels.
    const std::size_t size = length - length % static_cast<Uint32>(frameBytes);
    if (ownCopy) {
        std::vector<std::uint8_t> samples(buffer, buffer + size);
        sdl->freeWav(buffer);
        result.sound = std::make_shared<DecodedSound>(spec.format, spec.channels, spec.freq,
                                                      std::move(samples));
    } else {
        result.sound = std::make_shared<DecodedSound>(spec.format, spec.channels, spec.freq, sdl,
                                                      buffer, size);
    }
    return result;
}

} // namespace zorvane::alarm
