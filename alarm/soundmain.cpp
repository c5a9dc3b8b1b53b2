// zorvane-sound [--linger MILLISECONDS]
//
// Plays the alarm for the window in a short-lived process of its own, so that SDL2 and
// the audio server's client libraries (which cannot be unloaded once loaded) never map
// into the window's process. It reads requests on standard input and answers on standard
// output (alarm/soundwire.h), plays through SdlSoundDevice, and ends once nothing has
// played, been prepared or asked for during the linger time (2 s unless given), or at once
// when its input ends, which is also how it learns that the window's process has died. SDL's
// audio driver is chosen by the environment it inherits.

#include "alarm/sdlapi.h"
#include "alarm/sdlsounddevice.h"
#include "alarm/soundfile.h"
#include "alarm/soundwire.h"
#include "text/message.h"
#include "work/worker.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <poll.h>
#include <unistd.h>

namespace {

using namespace zorvane::alarm;
using Clock = std::chrono::steady_clock;

constexpr int kIn = 0;
constexpr int kOut = 1;
constexpr int kDefaultLingerMs = 2000;
constexpr int kPollMs = 50;

class Server {
public:
    // False when the window is gone (or sent nonsense) and the helper should end.
    bool handle(const std::string& body);
    bool idle() const { return !m_device.isAudioOpen() && m_preparing.load() == 0; }

private:
    bool reply(const wire::Writer& answer) {
        const std::lock_guard lock(m_writeMutex);
        return wire::writeFrame(kOut, answer.body());
    }
    bool code(int value) { return reply(wire::Writer(wire::kReply).i32(value)); }

    // Written by the request loop and by the device's decoders (prepare's answers).
    std::mutex m_writeMutex;
    std::atomic<int> m_preparing{0};
    SdlSoundDevice m_device; // last: its threads may still answer while it is destroyed
};

bool Server::handle(const std::string& body) {
    wire::Reader in(body);
    switch (in.kind()) {
    case wire::kCommand: {
        const std::string command = in.text();
        return in.ok() && code(m_device.sendCommand(command));
    }
    case wire::kVolume: {
        const int percent = in.i32();
        if (!in.ok()) {
            return false;
        }
        m_device.setVolume(percent);
        return code(0);
    }
    case wire::kPrepare: {
        const std::uint32_t id = in.u32();
        const std::string file = in.text();
        if (!in.ok() || !code(0)) {
            return false;
        }
        m_preparing.fetch_add(1);
        m_device.prepare(file, [this, id](const zorvane::text::Message& refusal) {
            reply(wire::Writer(wire::kPrepared)
                      .u32(id)
                      .text(refusal.empty() ? std::string() : zorvane::text::messageLine(refusal)));
            m_preparing.fetch_sub(1);
        });
        return true;
    }
    case wire::kSamples: {
        const std::string alias = in.text();
        const std::uint32_t format = in.u32();
        const std::uint32_t channels = in.u32();
        const std::int32_t rate = in.i32();
        std::vector<std::string> after = in.names();
        const std::string samples = in.text();
        if (!in.ok() || channels == 0 || channels > 255 || rate <= 0) {
            return false;
        }
        auto sound = std::make_shared<DecodedSound>(
            static_cast<std::uint16_t>(format), static_cast<std::uint8_t>(channels), rate,
            std::vector<std::uint8_t>(samples.begin(), samples.end()));
        return code(m_device.playSamples(alias, std::move(sound), std::move(after)));
    }
    case wire::kIsPlaying: {
        const std::string alias = in.text();
        return in.ok() && code(m_device.isPlaying(alias) ? 1 : 0);
    }
    case wire::kNames:
        return reply(wire::Writer(wire::kList).names(m_device.openNames()));
    case wire::kAudioOpen:
        return code(m_device.isAudioOpen() ? 1 : 0);
    default:
        return false;
    }
}

} // namespace

int main(int argc, char* argv[]) {
    int lingerMs = kDefaultLingerMs;
    if (argc == 3 && std::strcmp(argv[1], "--linger") == 0) {
        lingerMs = std::atoi(argv[2]);
    } else if (argc != 1) {
        std::fputs("usage: zorvane-sound [--linger MILLISECONDS]\n", stderr);
        return 2;
    }
    // SDL is loaded at once, while the window still writes the chime or sends the first
    // request, and stays loaded for the helper's short life.
    std::shared_ptr<const SdlApi> sdl;
    std::thread loader([&sdl] {
        zorvane::work::nameThisThread("sdl loader");
        sdl = loadSdl();
    });
    Server server;
    auto idleSince = Clock::now();
    for (;;) {
        pollfd input{kIn, POLLIN, 0};
        const int ready = ::poll(&input, 1, kPollMs);
        if (ready > 0) {
            std::string body;
            if (!wire::readFrame(kIn, body) || !server.handle(body)) {
                break;
            }
            idleSince = Clock::now();
            continue;
        }
        // A request that arrives after this look stays unread: the window sees the helper
        // end without an answer and sends it again to a new one.
        if (!server.idle()) {
            idleSince = Clock::now();
        } else if (Clock::now() - idleSince >= std::chrono::milliseconds(lingerMs)) {
            break;
        }
    }
    loader.join();
    return 0;
}
