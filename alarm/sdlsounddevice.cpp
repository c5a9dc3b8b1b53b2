#include "alarm/sdlsounddevice.h"

#include "alarm/soundcommand.h"
#include "text/textops.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <set>
#include <utility>

namespace zorvane::alarm {
namespace {

constexpr int kDeviceRate = 44100;
constexpr int kDeviceChannels = 2;
constexpr SDL_AudioFormat kDeviceFormat = AUDIO_S16SYS;
constexpr Uint16 kDeviceBufferFrames = 2048;
// Decoded samples reach SDL's converter in pieces of about this size: one large
// piece of a low-rate file would overflow the converter's internal buffer.
constexpr std::size_t kFeedBytes = 64 * 1024;

const text::Message kNoSdl{text::MessageId::SoundNoSdl};

// SDL's init and quit calls are not safe against each other from several threads.
std::mutex& sdlInitMutex() {
    static std::mutex mutex;
    return mutex;
}

} // namespace

SdlSoundDevice::SdlSoundDevice(std::chrono::milliseconds openWait) : m_openWait(openWait) {}

SdlSoundDevice::~SdlSoundDevice() {
    {
        const std::lock_guard lock(m_houseMutex);
        m_stopping = true;
    }
    m_housekeeper.stop();
    // Decoders may still tell their waiters; they need nothing the steps below remove.
    std::list<std::pair<std::thread, std::shared_ptr<Decoding>>> decoders;
    {
        const std::lock_guard lock(m_decodeMutex);
        decoders.swap(m_decoders);
    }
    for (auto& [thread, decoding] : decoders) {
        thread.join();
    }
    const std::lock_guard lock(m_commandMutex);
    if (m_device != 0) {
        // Waits for the mixing callback to finish before the sounds go.
        m_sdl->closeAudioDevice(m_device);
        m_device = 0;
    }
    for (auto& [alias, sound] : m_sounds) {
        freeStream(sound);
    }
    m_sounds.clear();
    if (m_sdl) {
        m_sdl->tlsCleanup();
        const std::lock_guard initLock(sdlInitMutex());
        m_sdl->quitSubSystem(SDL_INIT_AUDIO);
    }
}

int SdlSoundDevice::sendCommand(const std::string& command) {
    return runCommand(command);
}

int SdlSoundDevice::runCommand(const std::string& command) {
    const std::optional<SoundCommand> parsed = parseSoundCommand(command);
    if (!parsed) {
        return kUnrecognizedCommand;
    }
    const std::lock_guard lock(m_commandMutex);
    int result = kUnrecognizedCommand;
    if (parsed->verb == "open") {
        result = open(parsed->file, parsed->alias);
    } else if (parsed->verb == "play") {
        result = play(parsed->alias);
    } else if (parsed->verb == "stop") {
        result = stop(parsed->alias);
    } else if (parsed->verb == "close") {
        result = close(parsed->alias);
    }
    if (m_sdl) {
        // SDL keeps per-thread error texts that nobody frees when a thread it did not
        // make ends; the tick's worker is such a thread.
        m_sdl->tlsCleanup();
    }
    return result;
}

bool SdlSoundDevice::isPlaying(const std::string& alias) const {
    const std::lock_guard lock(m_commandMutex);
    lockAudio();
    const auto it = m_sounds.find(text::toLowerAscii(alias));
    const bool playing = it != m_sounds.end() && it->second.playing;
    unlockAudio();
    return playing;
}

bool SdlSoundDevice::isAudioOpen() const {
    const std::lock_guard lock(m_commandMutex);
    return m_device != 0;
}

std::size_t SdlSoundDevice::decodedCount() const {
    std::set<const DecodedSound*> held;
    {
        const std::lock_guard lock(m_commandMutex);
        for (const auto& [alias, sound] : m_sounds) {
            if (sound.decoded) {
                held.insert(sound.decoded.get());
            }
        }
    }
    const std::lock_guard lock(m_decodeMutex);
    for (const auto& [file, decoding] : m_decodings) {
        if (decoding->result.sound) {
            held.insert(decoding->result.sound.get());
        }
    }
    return held.size();
}

void SdlSoundDevice::prepare(const std::string& file, PrepareDone done) {
    const SoundFileCheck check = file.empty() ? SoundFileCheck{} : checkSoundFile(file);
    text::Message refusal = check.refusal;
    {
        const std::lock_guard lock(m_decodeMutex);
        m_preparedFile = file;
        // The sound prepared before is no longer wanted (an open name keeps its own).
        dropUnwantedDecodings();
        if (!file.empty() && refusal.empty()) {
            const std::shared_ptr<Decoding> decoding = startDecoding(check.key, true);
            if (!decoding->finished) {
                if (done) {
                    decoding->waiting.push_back(std::move(done));
                }
                return;
            }
            refusal = decoding->result.refusal;
        }
    }
    if (done) {
        done(refusal);
    }
}

std::shared_ptr<SdlSoundDevice::Decoding> SdlSoundDevice::startDecoding(const SoundFileKey& key,
                                                                        bool ownCopy) {
    const auto it = m_decodings.find(key.path);
    if (it != m_decodings.end() && it->second->key == key && (it->second->ownCopy || !ownCopy)) {
        return it->second;
    }
    auto decoding = std::make_shared<Decoding>();
    decoding->key = key;
    decoding->ownCopy = ownCopy;
    m_decodings[key.path] = decoding;
    m_decoders.emplace_back(std::thread([this, decoding] {
                                work::nameThisThread("sound decoder");
                                decode(decoding);
                            }),
                            decoding);
    return decoding;
}

void SdlSoundDevice::decode(const std::shared_ptr<Decoding>& decoding) {
    DecodeResult result;
    if (const std::shared_ptr<const SdlApi> sdl = loadSdl()) {
        result = decodeSoundFile(sdl, decoding->key.path, decoding->ownCopy);
        sdl->tlsCleanup();
    } else {
        result.refusal = kNoSdl;
    }
    const text::Message refusal = result.refusal;
    std::vector<PrepareDone> waiting;
    {
        const std::lock_guard lock(m_decodeMutex);
        decoding->result = std::move(result);
        decoding->finished = true;
        waiting.swap(decoding->waiting);
    }
    m_decoded.notify_all();
    for (const PrepareDone& done : waiting) {
        done(refusal);
    }
    keepHouse([this] {
        joinFinishedDecoders();
        attachDecoded();
    });
}

SdlSoundDevice::Load SdlSoundDevice::load(Sound& sound, bool wait) {
    if (sound.decoded) {
        return Load::kReady;
    }
    std::unique_lock lock(m_decodeMutex);
    if (!sound.pending) {
        lock.unlock();
        const SoundFileCheck check = checkSoundFile(sound.file);
        if (!check.refusal.empty()) {
            return Load::kRefused;
        }
        lock.lock();
        sound.pending = startDecoding(check.key, false);
    }
    const std::shared_ptr<Decoding> decoding = sound.pending;
    const bool finished =
        decoding->finished ||
        (wait && m_decoded.wait_for(lock, m_openWait, [&] { return decoding->finished; }));
    if (!finished) {
        return Load::kPending;
    }
    std::shared_ptr<const DecodedSound> decoded = decoding->result.sound;
    lock.unlock();
    sound.pending.reset();
    if (!decoded) {
        return Load::kRefused;
    }
    lockAudio();
    sound.decoded = std::move(decoded);
    unlockAudio();
    return Load::kReady;
}

int SdlSoundDevice::open(const std::string& file, const std::string& alias) {
    if (alias == "all") {
        return kUnrecognizedCommand;
    }
    if (alias.empty() || m_sounds.count(alias) != 0) {
        return kAliasInUse;
    }
    Sound entry;
    entry.file = file;
    const Load loaded = load(entry, true);
    if (loaded == Load::kRefused) {
        return kCannotOpenFile;
    }
    lockAudio();
    m_sounds.emplace(alias, std::move(entry));
    unlockAudio();
    return loaded == Load::kReady ? 0 : kNotReady;
}

int SdlSoundDevice::playSamples(const std::string& alias, std::shared_ptr<const DecodedSound> sound,
                                std::vector<std::string> after) {
    const std::string name = text::toLowerAscii(alias);
    for (std::string& other : after) {
        other = text::toLowerAscii(other);
    }
    const std::lock_guard lock(m_commandMutex);
    if (name.empty() || name == "all" || !sound || sound->size() == 0) {
        return kUnrecognizedCommand;
    }
    if (m_sounds.count(name) != 0) {
        return kAliasInUse;
    }
    Sound entry;
    entry.decoded = std::move(sound);
    entry.inMemory = true;
    lockAudio();
    m_sounds.emplace(name, std::move(entry));
    unlockAudio();
    const int result = play(name, std::move(after));
    if (result != 0) {
        close(name);
    }
    if (m_sdl) {
        m_sdl->tlsCleanup();
    }
    return result;
}

std::vector<std::string> SdlSoundDevice::openNames() const {
    const std::lock_guard lock(m_commandMutex);
    std::vector<std::string> names;
    for (const auto& [name, sound] : m_sounds) {
        names.push_back(name);
    }
    return names;
}

void SdlSoundDevice::releaseWaiters(const std::string& alias) {
    for (auto& [name, sound] : m_sounds) {
        std::erase(sound.after, alias);
    }
}

int SdlSoundDevice::play(const std::string& alias, std::vector<std::string> after) {
    const auto it = m_sounds.find(alias);
    if (it == m_sounds.end()) {
        return kUnknownAlias;
    }
    Sound& sound = it->second;
    // Samples dropped when the last sound ended are decoded again, like a new open;
    // a decoding already under way is not waited for twice.
    const Load loaded = load(sound, !sound.pending);
    if (loaded == Load::kRefused) {
        return kCannotOpenFile;
    }
    if (!ensureAudioDevice()) {
        return kNoAudioDevice;
    }
    SDL_AudioStream* stream = nullptr;
    if (sound.decoded && !sound.stream) {
        const DecodedSound& d = *sound.decoded;
        stream = m_sdl->newAudioStream(d.format(), d.channels(), d.rate(), kDeviceFormat,
                                       kDeviceChannels, kDeviceRate);
        if (!stream) {
            return kCannotOpenFile;
        }
    }
    lockAudio();
    if (stream) {
        sound.stream = stream;
    }
    if (!sound.playing) {
        rewind(sound);
    }
    // Whatever waited for the sound it was playing waits no more: that one was cut off.
    releaseWaiters(alias);
    // A sound still being decoded waits, counted as playing, until attachDecoded.
    sound.playing = true;
    sound.after = std::move(after);
    m_endReported = false;
    unlockAudio();
    m_sdl->pauseAudioDevice(m_device, 0);
    return 0;
}

void SdlSoundDevice::attachDecoded() {
    const std::lock_guard lock(m_commandMutex);
    for (auto& [alias, sound] : m_sounds) {
        if (!sound.pending) {
            continue;
        }
        std::shared_ptr<const DecodedSound> decoded;
        {
            const std::lock_guard decodeLock(m_decodeMutex);
            if (!sound.pending->finished) {
                continue;
            }
            decoded = sound.pending->result.sound;
        }
        sound.pending.reset();
        SDL_AudioStream* stream = nullptr;
        if (decoded && m_device != 0 && sound.playing) {
            stream = m_sdl->newAudioStream(decoded->format(), decoded->channels(), decoded->rate(),
                                           kDeviceFormat, kDeviceChannels, kDeviceRate);
        }
        lockAudio();
        if (stream) {
            sound.stream = stream;
            sound.fed = 0;
        } else {
            sound.playing = false; // refused after all, or no way to convert it
        }
        sound.decoded = std::move(decoded);
        unlockAudio();
    }
    if (m_sdl) {
        m_sdl->tlsCleanup();
    }
    if (m_device == 0) {
        const std::lock_guard decodeLock(m_decodeMutex);
        dropUnwantedDecodings();
    }
}

void SdlSoundDevice::dropUnwantedDecodings() {
    std::erase_if(m_decodings, [this](const auto& entry) {
        return entry.first != m_preparedFile && entry.second->finished;
    });
}

int SdlSoundDevice::stop(const std::string& alias) {
    lockAudio();
    int result = 0;
    for (auto& [name, sound] : m_sounds) {
        if (alias == "all" || name == alias) {
            sound.playing = false;
            sound.after.clear();
            rewind(sound);
        }
    }
    if (alias != "all" && m_sounds.count(alias) == 0) {
        result = kUnknownAlias;
    }
    unlockAudio();
    return result;
}

int SdlSoundDevice::close(const std::string& alias) {
    std::map<std::string, Sound> closed;
    lockAudio();
    int result = 0;
    if (alias == "all") {
        closed.swap(m_sounds);
    } else if (const auto it = m_sounds.find(alias); it != m_sounds.end()) {
        closed.insert(m_sounds.extract(it));
        releaseWaiters(alias);
    } else {
        result = kUnknownAlias;
    }
    unlockAudio();
    // Out of the callback's reach now.
    for (auto& [name, sound] : closed) {
        freeStream(sound);
    }
    return result;
}

void SdlSoundDevice::rewind(Sound& sound) {
    sound.fed = 0;
    if (sound.stream) {
        m_sdl->audioStreamClear(sound.stream);
    }
}

void SdlSoundDevice::freeStream(Sound& sound) {
    if (sound.stream) {
        m_sdl->freeAudioStream(sound.stream);
        sound.stream = nullptr;
    }
    sound.fed = 0;
}

bool SdlSoundDevice::ensureAudioDevice() {
    if (m_device != 0) {
        return true;
    }
    std::shared_ptr<const SdlApi> sdl = loadSdl();
    if (!sdl) {
        return false;
    }
    {
        const std::lock_guard initLock(sdlInitMutex());
        if (sdl->initSubSystem(SDL_INIT_AUDIO) != 0) {
            sdl->tlsCleanup();
            return false;
        }
    }
    SDL_AudioSpec wanted{};
    wanted.freq = kDeviceRate;
    wanted.format = kDeviceFormat;
    wanted.channels = kDeviceChannels;
    wanted.samples = kDeviceBufferFrames;
    wanted.callback = &SdlSoundDevice::mix;
    wanted.userdata = this;
    // With no changes allowed SDL converts to whatever the hardware wants.
    m_sdl = sdl;
    m_endReported = false;
    m_housekeeper.start();
    m_device = sdl->openAudioDevice(nullptr, 0, &wanted, nullptr, 0);
    if (m_device == 0) {
        m_sdl.reset();
        sdl->tlsCleanup();
        const std::lock_guard initLock(sdlInitMutex());
        sdl->quitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    return true;
}

void SdlSoundDevice::lockAudio() const {
    if (m_device != 0) {
        m_sdl->lockAudioDevice(m_device);
    }
}

void SdlSoundDevice::unlockAudio() const {
    if (m_device != 0) {
        m_sdl->unlockAudioDevice(m_device);
    }
}

void SdlSoundDevice::mix(void* self, std::uint8_t* stream, int length) {
    auto& device = *static_cast<SdlSoundDevice*>(self);
    std::memset(stream, 0, static_cast<std::size_t>(length));
    if (device.m_mixBuffer.size() < static_cast<std::size_t>(length)) {
        device.m_mixBuffer.resize(static_cast<std::size_t>(length));
    }
    // A waiting sound starts once none of the sounds it follows still plays.
    for (auto& [alias, sound] : device.m_sounds) {
        std::erase_if(sound.after, [&device](const std::string& name) {
            const auto it = device.m_sounds.find(name);
            return it == device.m_sounds.end() || !it->second.playing;
        });
    }
    bool any = false;
    for (auto& [alias, sound] : device.m_sounds) {
        if (sound.playing && sound.stream && sound.after.empty()) {
            device.mixOne(sound, stream, length);
        }
        any = any || sound.playing;
    }
    // The gain applies to the sum, so several sounds keep their balance.
    if (const int volume = device.m_volume.load(std::memory_order_relaxed); volume < 100) {
        auto* samples = reinterpret_cast<std::int16_t*>(stream);
        const std::size_t count = static_cast<std::size_t>(length) / sizeof(std::int16_t);
        for (std::size_t i = 0; i < count; ++i) {
            samples[i] = static_cast<std::int16_t>(samples[i] * volume / 100);
        }
    }
    if (!any && !device.m_endReported) {
        // The device cannot be closed from its own callback: the housekeeper does it.
        device.m_endReported = true;
        device.keepHouse([&device] { device.releaseWhenIdle(); });
    }
}

void SdlSoundDevice::setVolume(int percent) {
    m_volume.store(std::clamp(percent, 0, 100), std::memory_order_relaxed);
}

void SdlSoundDevice::mixOne(Sound& sound, std::uint8_t* out, int length) {
    const SdlApi& sdl = *m_sdl;
    const DecodedSound& samples = *sound.decoded;
    const std::size_t frame = samples.frameBytes();
    const std::size_t piece = std::max(frame, kFeedBytes - kFeedBytes % frame);
    while (sdl.audioStreamAvailable(sound.stream) < length && sound.fed < samples.size()) {
        const std::size_t n = std::min(piece, samples.size() - sound.fed);
        if (sdl.audioStreamPut(sound.stream, samples.data() + sound.fed, static_cast<int>(n)) !=
            0) {
            sound.fed = samples.size();
        } else {
            sound.fed += n;
        }
        if (sound.fed == samples.size()) {
            sdl.audioStreamFlush(sound.stream);
        }
    }
    const int got = sdl.audioStreamGet(sound.stream, m_mixBuffer.data(), length);
    if (got > 0) {
        const std::size_t count = static_cast<std::size_t>(got) / sizeof(std::int16_t);
        auto* to = reinterpret_cast<std::int16_t*>(out);
        const auto* from = reinterpret_cast<const std::int16_t*>(m_mixBuffer.data());
        for (std::size_t i = 0; i < count; ++i) {
            const int sum = to[i] + from[i];
            to[i] = static_cast<std::int16_t>(std::clamp(sum, -32768, 32767));
        }
    }
    if (sound.fed >= samples.size() && sdl.audioStreamAvailable(sound.stream) == 0) {
        sound.playing = false;
    }
}

void SdlSoundDevice::keepHouse(work::Worker::Task task) {
    const std::lock_guard lock(m_houseMutex);
    if (!m_stopping) {
        m_housekeeper.post(std::move(task));
    }
}

void SdlSoundDevice::joinFinishedDecoders() {
    std::list<std::pair<std::thread, std::shared_ptr<Decoding>>> finished;
    {
        const std::lock_guard lock(m_decodeMutex);
        for (auto it = m_decoders.begin(); it != m_decoders.end();) {
            const auto next = std::next(it);
            if (it->second->finished) {
                finished.splice(finished.end(), m_decoders, it);
            }
            it = next;
        }
    }
    for (auto& [thread, decoding] : finished) {
        thread.join();
    }
}

void SdlSoundDevice::releaseWhenIdle() {
    const std::lock_guard lock(m_commandMutex);
    if (m_device == 0) {
        return;
    }
    lockAudio();
    const bool playing = std::any_of(m_sounds.begin(), m_sounds.end(),
                                     [](const auto& entry) { return entry.second.playing; });
    unlockAudio();
    if (playing) {
        return; // a new alarm started meanwhile
    }
    m_sdl->closeAudioDevice(m_device);
    m_device = 0;
    // The names stay open, as after any ended sound; their samples are decoded again
    // should one be played once more.
    for (auto& [alias, sound] : m_sounds) {
        freeStream(sound);
        sound.decoded.reset();
        sound.pending.reset();
    }
    std::erase_if(m_sounds, [](const auto& entry) { return entry.second.inMemory; });
    {
        const std::lock_guard initLock(sdlInitMutex());
        m_sdl->quitSubSystem(SDL_INIT_AUDIO);
    }
    m_sdl->tlsCleanup();
    m_sdl.reset();
    std::vector<std::uint8_t>().swap(m_mixBuffer);
    const std::lock_guard decodeLock(m_decodeMutex);
    dropUnwantedDecodings();
}

} // namespace zorvane::alarm
