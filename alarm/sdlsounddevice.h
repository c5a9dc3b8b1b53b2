#pragma once
// The sound device of the running program: plays WAV files through SDL2 audio.
//
// Commands (verbs and aliases are case-insensitive, a file name with blanks goes
// between double quotes):
//   open <file> [alias <name>]  loads the file under the name (the file itself without alias)
//   play <name>                 starts the sound, from the beginning once it has ended
//   stop <name> | stop all      stops the sound(s) and rewinds
//   close <name> | close all    stops and forgets the sound(s)
// Several names may play at once; they are mixed. Commands return at once.
//
// Files are decoded on the device's own threads, never by the caller: "open" waits a
// short, fixed time for the decoding and answers kNotReady when it takes longer. The
// name is open all the same: "play" then starts the sound as soon as it is decoded.
// A file prepared in advance stays decoded until another is prepared. SDL2 itself is loaded only
// while something is decoded or played: when the last sound has ended, the audio device is closed,
// the decoded copies of the sounds are dropped and the library is unloaded.

#include "alarm/soundfile.h"
#include "alarm/soundplayer.h"
#include "work/worker.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct _SDL_AudioStream;

namespace zorvane::alarm {

class SdlSoundDevice final : public SoundPlayer {
public:
    // Answers of sendCommand besides 0.
    enum Error : int {
        kUnrecognizedCommand = 1,
        kUnknownAlias = 2,
        kAliasInUse = 3,
        kCannotOpenFile = 4,
        kNoAudioDevice = 5,
        kNotReady = 6, // still being decoded; ready for a later "open"
    };

    // How long "open" waits for a decoding before it answers kNotReady, unless told.
    static constexpr std::chrono::milliseconds kOpenWait{200};

    // Neither SDL nor audio is started here. `openWait` is how long "open" waits for a
    // decoding (a test that must not race the decoder gives it time enough).
    explicit SdlSoundDevice(std::chrono::milliseconds openWait = kOpenWait);
    // Stops every sound, waits for the device's threads and releases the audio device.
    ~SdlSoundDevice() override;
    SdlSoundDevice(const SdlSoundDevice&) = delete;
    SdlSoundDevice& operator=(const SdlSoundDevice&) = delete;

    int sendCommand(const std::string& command) override;

    // Starts decoding the file now, so that a later "open" of it finds it ready, and
    // keeps it decoded (instead of the file prepared before) until another is
    // prepared. An empty file keeps nothing. Never blocks on the file.
    void prepare(const std::string& file, PrepareDone done = {}) override;

    // Opens the name on samples already in memory (synthesised speech) and plays them once
    // nothing plays under any of `after` (at once when nothing does). Closing or restarting
    // one of those lets it start too, so it never waits for a sound that was cut off. While
    // it waits it counts as playing, and "stop" drops it like any playing sound.
    // kAliasInUse when the name is open. Such a name is closed by itself once the audio
    // device is released, since there is no file to decode its samples from again.
    int playSamples(const std::string& alias, std::shared_ptr<const DecodedSound> sound,
                    std::vector<std::string> after = {}) override;
    // The names now open (for tests and for callers that pick fresh names).
    std::vector<std::string> openNames() const override;

    // True while the sound under the name is playing (it stops by itself at its end).
    bool isPlaying(const std::string& alias) const override;
    // True while the audio device is open (it closes once nothing plays any more).
    bool isAudioOpen() const override;
    // The decoded sounds held, including those of open names (for tests).
    std::size_t decodedCount() const;
    // Scales everything played, from the next buffer on: 0 (silent) to 100 percent;
    // values outside are brought into that range. Any thread.
    void setVolume(int percent) override;
    int volume() const override { return m_volume.load(std::memory_order_relaxed); }

private:
    struct Decoding;
    struct Sound {
        std::string file;
        std::shared_ptr<Decoding> pending;           // while decoded is still on its way
        std::shared_ptr<const DecodedSound> decoded; // dropped when the device is released
        _SDL_AudioStream* stream = nullptr;          // converts to the device's format
        std::size_t fed = 0;                         // bytes of decoded put into stream
        bool playing = false;                        // or waiting for its samples to play
        bool inMemory = false;                       // opened on samples, not a file
        std::vector<std::string> after;              // starts once none of these plays
    };
    // One file's decoding, finished or not.
    struct Decoding {
        SoundFileKey key;
        bool ownCopy = false; // kept for long: must not keep SDL loaded
        bool finished = false;
        DecodeResult result;
        std::vector<PrepareDone> waiting;
    };

    int runCommand(const std::string& command);
    int open(const std::string& file, const std::string& alias);
    int play(const std::string& alias, std::vector<std::string> after = {});
    // Lets sounds waiting for the name start; under the audio lock.
    void releaseWaiters(const std::string& alias);
    int stop(const std::string& alias);
    int close(const std::string& alias);
    bool ensureAudioDevice();
    void rewind(Sound& sound);
    void freeStream(Sound& sound);
    void lockAudio() const;
    void unlockAudio() const;
    static void mix(void* self, std::uint8_t* stream, int length);
    void mixOne(Sound& sound, std::uint8_t* out, int length);

    // The decoding of the file as it is now, started unless one is under way or done.
    // Caller holds m_decodeMutex.
    std::shared_ptr<Decoding> startDecoding(const SoundFileKey& key, bool ownCopy);
    void decode(const std::shared_ptr<Decoding>& decoding);
    enum class Load { kReady, kPending, kRefused };
    // Gives the sound its samples, decoding the file unless it is decoded already;
    // waits at most the open wait, and only when `wait` is set.
    Load load(Sound& sound, bool wait);
    // Hands finished decodings to the names waiting for them.
    void attachDecoded();
    // Forgets decoded sounds nobody needs; caller holds m_decodeMutex.
    void dropUnwantedDecodings();

    // Closes the audio device and drops what only playing needed, once nothing plays.
    void releaseWhenIdle();
    void joinFinishedDecoders();
    // Hands `task` to the housekeeper, unless the device is going.
    void keepHouse(work::Worker::Task task);

    const std::chrono::milliseconds m_openWait;

    // Serialises commands; the sounds are also guarded by the audio device's own
    // lock, which the mixing callback runs under.
    mutable std::mutex m_commandMutex;
    std::map<std::string, Sound> m_sounds;
    std::shared_ptr<const SdlApi> m_sdl; // held while the audio device is open
    std::uint32_t m_device = 0;
    std::vector<std::uint8_t> m_mixBuffer; // used by the callback only
    std::atomic<int> m_volume{100};        // percent; read once per callback
    bool m_endReported = false;            // under the audio lock

    mutable std::mutex m_decodeMutex;
    std::condition_variable m_decoded;
    std::map<std::string, std::shared_ptr<Decoding>> m_decodings;
    std::string m_preparedFile;
    std::list<std::pair<std::thread, std::shared_ptr<Decoding>>> m_decoders;

    // The housekeeper closes the device after the last sound ended and joins finished
    // decoders; nothing is handed to it once the device is going (under m_houseMutex).
    std::mutex m_houseMutex;
    bool m_stopping = false;
    // Started when the audio device opens, so the mixing callback never starts a thread.
    work::Worker m_housekeeper{"sdl housekeeper"};
};

} // namespace zorvane::alarm
