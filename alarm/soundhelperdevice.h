#pragma once
// The sound device of the window on Linux: plays through the helper program zorvane-sound
// (soundmain.cpp), so that SDL2 and the audio server's libraries, which stay mapped once
// loaded, never enter the window's process.
//
// The helper is started by the first request that needs sound (open, play, prepare,
// speech) and ends by itself shortly after the last sound; requests that need no sound
// (stop, close, questions) are answered here while no helper runs. The names opened on
// files and the volume are remembered and given to every new helper, so a name opened
// before the helper ended can still be played. A request the helper ended without
// answering is sent again to a new one. When the helper cannot be started, or two in a row
// end without answering anything, the device plays in this process instead
// (SdlSoundDevice), and the trouble sink is told in words for the user; so is a helper that
// crashes.

#include "alarm/sdlsounddevice.h"
#include "alarm/soundplayer.h"
#include "work/worker.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zorvane::alarm {

class HelperSoundDevice final : public alarm::SoundPlayer {
public:
    // Told why sound is not played as planned; called on any thread, never under a lock of ours.
    using TroubleSink = std::function<void(const text::Message& reason)>;

    // `program` is the helper's path; `arguments` are passed to it. Nothing is started here.
    explicit HelperSoundDevice(std::string program, std::vector<std::string> arguments = {},
                               TroubleSink trouble = {});
    // Ends the helper (its input closes; killed when it does not end within a second).
    ~HelperSoundDevice() override;
    HelperSoundDevice(const HelperSoundDevice&) = delete;
    HelperSoundDevice& operator=(const HelperSoundDevice&) = delete;

    int sendCommand(const std::string& command) override;
    void prepare(const std::string& file, PrepareDone done = {}) override;
    int playSamples(const std::string& alias, std::shared_ptr<const alarm::DecodedSound> sound,
                    std::vector<std::string> after = {}) override;
    std::vector<std::string> openNames() const override;
    bool isPlaying(const std::string& alias) const override;
    bool isAudioOpen() const override;
    // Starts a helper unless one runs: it loads SDL while the caller writes the chime.
    void warmUp() override;
    void setVolume(int percent) override;
    int volume() const override;

    // The running helper's process id, 0 when none runs (for tests and measurements).
    int helperPid() const;
    // True once sound plays in this process instead.
    bool playsInProcess() const;

private:
    struct Helper;
    // Sends the request and returns the reply; nullopt when no helper answered (none runs
    // and `start` is false, or it could not be started or ended twice without answering).
    // Caller holds m_callMutex.
    std::optional<std::string> request(const std::string& body, bool start) const;
    bool startHelper() const;
    // Forgets a helper that has ended; caller holds m_callMutex.
    void reapHelper() const;
    void readLoop(const std::shared_ptr<Helper>& helper) const;
    void switchToInProcess(const text::Message& reason) const;
    void report(const text::Message& reason) const;
    void remember(const std::string& command, int result) const;

    const std::string m_program;
    const std::vector<std::string> m_arguments;
    const TroubleSink m_trouble;

    // Serialises requests; everything below it is used under it, except where noted.
    mutable std::mutex m_callMutex;
    mutable std::shared_ptr<Helper> m_helper;
    mutable std::unique_ptr<alarm::SdlSoundDevice> m_inProcess;
    mutable std::map<std::string, std::string> m_opened; // alias -> its open command
    mutable int m_volume = 100;
    mutable int m_silentEnds = 0; // helpers in a row that ended without answering
    mutable std::uint32_t m_nextPrepare = 0;

    // Shared with the helpers' reader threads.
    mutable std::mutex m_stateMutex;
    mutable std::condition_variable m_stateChanged;
    mutable std::map<std::uint32_t, PrepareDone> m_prepares;

    // Reads the running helper's replies until it ends, then reaps it; a helper's end stops
    // it, and the next helper starts it again. Last, so it ends before what it uses goes.
    mutable work::Worker m_reader{"sound reader"};
};

} // namespace zorvane::alarm
