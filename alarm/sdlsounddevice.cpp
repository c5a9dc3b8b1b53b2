#include "alarm/sdlsounddevice.h"

#include "text/textops.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>

namespace zorvane::alarm {
namespace {

constexpr int kDeviceRate = 44100;
constexpr int kDeviceChannels = 2;
constexpr SDL_AudioFormat kDeviceFormat = AUDIO_S16SYS;
constexpr Uint16 kDeviceBufferFrames = 2048;

// SDL's init and quit calls are not safe against each other from several threads.
std::mutex& sdlInitMutex() {
    static std::mutex mutex;
    return mutex;
}

// Blank-separated words; a double-quoted word may hold blanks. nullopt for an
// unterminated quote.
std::optional<std::vector<std::string>> splitWords(const std::string& command) {
    std::vector<std::string> words;
    std::size_t i = 0;
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (i < command.size()) {
        if (blank(command[i])) {
            ++i;
            continue;
        }
        if (command[i] == '"') {
            const std::size_t end = command.find('"', i + 1);
            if (end == std::string::npos) {
                return std::nullopt;
            }
            words.push_back(command.substr(i + 1, end - i - 1));
            i = end + 1;
            continue;
        }
        const std::size_t start = i;
        while (i < command.size() && !blank(command[i]) && command[i] != '"') {
            ++i;
        }
        words.push_back(command.substr(start, i - start));
    }
    return words;
}

// The file's samples as interleaved 16-bit stereo at the device rate; nullopt when
// the file is not a WAV file SDL can read.
std::optional<std::vector<std::int16_t>> loadWav(const std::string& file) {
    SDL_AudioSpec spec{};
    Uint8* buffer = nullptr;
    Uint32 length = 0;
    if (!SDL_LoadWAV(file.c_str(), &spec, &buffer, &length)) {
        return std::nullopt;
    }
    SDL_AudioStream* stream = SDL_NewAudioStream(spec.format, spec.channels, spec.freq,
                                                 kDeviceFormat, kDeviceChannels, kDeviceRate);
    if (!stream) {
        SDL_FreeWAV(buffer);
        return std::nullopt;
    }
    const bool put = length <= static_cast<Uint32>(std::numeric_limits<int>::max()) &&
                     SDL_AudioStreamPut(stream, buffer, static_cast<int>(length)) == 0 &&
                     SDL_AudioStreamFlush(stream) == 0;
    SDL_FreeWAV(buffer);
    std::optional<std::vector<std::int16_t>> samples;
    if (put) {
        const int available = SDL_AudioStreamAvailable(stream);
        std::vector<std::int16_t> converted(static_cast<std::size_t>(available) /
                                            sizeof(std::int16_t));
        const int got = SDL_AudioStreamGet(
            stream, converted.data(), static_cast<int>(converted.size() * sizeof(std::int16_t)));
        if (got >= 0) {
            converted.resize(static_cast<std::size_t>(got) / sizeof(std::int16_t));
            samples = std::move(converted);
        }
    }
    SDL_FreeAudioStream(stream);
    return samples;
}

} // namespace

SdlSoundDevice::SdlSoundDevice() = default;

SdlSoundDevice::~SdlSoundDevice() {
    const std::lock_guard lock(m_commandMutex);
    if (m_device != 0) {
        // Waits for the mixing callback to finish before the sounds go.
        SDL_CloseAudioDevice(m_device);
        m_device = 0;
    }
    if (m_audioStarted) {
        const std::lock_guard initLock(sdlInitMutex());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
}

int SdlSoundDevice::sendCommand(const std::string& command) {
    const int result = runCommand(command);
    // SDL keeps per-thread error texts that nobody frees when a thread it did not
    // make ends; the tick's worker is such a thread.
    SDL_TLSCleanup();
    return result;
}

int SdlSoundDevice::runCommand(const std::string& command) {
    const std::optional<std::vector<std::string>> words = splitWords(command);
    if (!words || words->empty()) {
        return kUnrecognizedCommand;
    }
    const std::string verb = text::toLowerAscii((*words)[0]);
    const std::size_t count = words->size();
    const std::lock_guard lock(m_commandMutex);
    if (verb == "open") {
        if (count == 2) {
            return open((*words)[1], text::toLowerAscii((*words)[1]));
        }
        if (count == 4 && text::toLowerAscii((*words)[2]) == "alias") {
            return open((*words)[1], text::toLowerAscii((*words)[3]));
        }
        return kUnrecognizedCommand;
    }
    if (count != 2) {
        return kUnrecognizedCommand;
    }
    const std::string alias = text::toLowerAscii((*words)[1]);
    if (verb == "play") {
        return play(alias);
    }
    if (verb == "stop") {
        return stop(alias);
    }
    if (verb == "close") {
        return close(alias);
    }
    return kUnrecognizedCommand;
}

bool SdlSoundDevice::isPlaying(const std::string& alias) const {
    const std::lock_guard lock(m_commandMutex);
    lockAudio();
    const auto it = m_sounds.find(text::toLowerAscii(alias));
    const bool playing = it != m_sounds.end() && it->second.playing;
    unlockAudio();
    return playing;
}

int SdlSoundDevice::open(const std::string& file, const std::string& alias) {
    if (alias == "all") {
        return kUnrecognizedCommand;
    }
    if (alias.empty() || m_sounds.count(alias) != 0) {
        return kAliasInUse;
    }
    std::optional<std::vector<std::int16_t>> samples = loadWav(file);
    if (!samples) {
        return kCannotOpenFile;
    }
    Sound sound;
    sound.samples = std::move(*samples);
    lockAudio();
    m_sounds.emplace(alias, std::move(sound));
    unlockAudio();
    return 0;
}

int SdlSoundDevice::play(const std::string& alias) {
    const auto it = m_sounds.find(alias);
    if (it == m_sounds.end()) {
        return kUnknownAlias;
    }
    if (!ensureAudioDevice()) {
        return kNoAudioDevice;
    }
    lockAudio();
    Sound& sound = it->second;
    if (sound.position >= sound.samples.size()) {
        sound.position = 0;
    }
    sound.playing = true;
    unlockAudio();
    SDL_PauseAudioDevice(m_device, 0);
    return 0;
}

int SdlSoundDevice::stop(const std::string& alias) {
    const auto it = m_sounds.find(alias);
    if (it == m_sounds.end()) {
        return kUnknownAlias;
    }
    lockAudio();
    it->second.playing = false;
    it->second.position = 0;
    unlockAudio();
    return 0;
}

int SdlSoundDevice::close(const std::string& alias) {
    lockAudio();
    int result = 0;
    if (alias == "all") {
        m_sounds.clear();
    } else if (m_sounds.erase(alias) == 0) {
        result = kUnknownAlias;
    }
    unlockAudio();
    return result;
}

bool SdlSoundDevice::ensureAudioDevice() {
    if (m_device != 0) {
        return true;
    }
    if (!m_audioStarted) {
        const std::lock_guard initLock(sdlInitMutex());
        // Only audio is used: SDL must leave the process's signal handling alone.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            return false;
        }
        m_audioStarted = true;
    }
    SDL_AudioSpec wanted{};
    wanted.freq = kDeviceRate;
    wanted.format = kDeviceFormat;
    wanted.channels = kDeviceChannels;
    wanted.samples = kDeviceBufferFrames;
    wanted.callback = &SdlSoundDevice::mix;
    wanted.userdata = this;
    // With no changes allowed SDL converts to whatever the hardware wants.
    m_device = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
    return m_device != 0;
}

void SdlSoundDevice::lockAudio() const {
    if (m_device != 0) {
        SDL_LockAudioDevice(m_device);
    }
}

void SdlSoundDevice::unlockAudio() const {
    if (m_device != 0) {
        SDL_UnlockAudioDevice(m_device);
    }
}

void SdlSoundDevice::mix(void* self, std::uint8_t* stream, int length) {
    auto& device = *static_cast<SdlSoundDevice*>(self);
    std::memset(stream, 0, static_cast<std::size_t>(length));
    const std::size_t count = static_cast<std::size_t>(length) / sizeof(std::int16_t);
    std::int16_t* out = reinterpret_cast<std::int16_t*>(stream);
    for (auto& [alias, sound] : device.m_sounds) {
        if (!sound.playing) {
            continue;
        }
        const std::size_t n = std::min(count, sound.samples.size() - sound.position);
        const std::int16_t* in = sound.samples.data() + sound.position;
        for (std::size_t i = 0; i < n; ++i) {
            const int sum = out[i] + in[i];
            out[i] = static_cast<std::int16_t>(std::clamp(sum, -32768, 32767));
        }
        sound.position += n;
        if (sound.position >= sound.samples.size()) {
            sound.playing = false;
        }
    }
}

} // namespace zorvane::alarm
