#include "alarm/soundhelperdevice.h"

#ifndef _WIN32

#include "alarm/soundcommand.h"
#include "alarm/soundfile.h"
#include "alarm/soundwire.h"
#include "work/helperprocess.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace zorvane::alarm {
namespace {

namespace wire = alarm::wire;
using alarm::SdlSoundDevice;

// How long a helper whose input was closed may take to end before it is killed.
constexpr std::chrono::seconds kEndWait{1};
// Helpers in a row that end without answering anything before sound moves in here.
constexpr int kSilentEndsBeforeInProcess = 2;

text::Message endText(int status) {
    using text::Message;
    using text::MessageId;
    if (WIFSIGNALED(status)) {
        const char* name = ::strsignal(WTERMSIG(status));
        return {MessageId::SoundHelperEndedBy, {Message::literal(name ? name : "signal")}};
    }
    return {MessageId::SoundHelperExitCode,
            {Message::literal(std::to_string(WEXITSTATUS(status)))}};
}

text::Message cannotStart(const std::string& program, int error) {
    return {text::MessageId::SoundHelperCannotStartBecause,
            {text::Message::literal(program), text::Message::literal(std::strerror(error))}};
}

bool endedWell(int status) {
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int replyCode(const std::string& body) {
    wire::Reader in(body);
    const int value = in.i32();
    return in.ok() && in.kind() == wire::kReply ? value : SdlSoundDevice::kNoAudioDevice;
}

} // namespace

struct HelperSoundDevice::Helper {
    int pid = -1;
    int fd = -1; // our end of the socket the helper reads and writes
    // Under m_stateMutex:
    std::deque<std::string> replies;
    std::vector<std::uint32_t> prepares; // acknowledged, not yet answered
    bool ended = false;
    bool answered = false;
    bool closing = false; // ended by us
    int status = 0;
};

HelperSoundDevice::HelperSoundDevice(std::string program, std::vector<std::string> arguments,
                                     TroubleSink trouble)
    : m_program(std::move(program)), m_arguments(std::move(arguments)),
      m_trouble(std::move(trouble)) {}

HelperSoundDevice::~HelperSoundDevice() {
    const std::lock_guard call(m_callMutex);
    if (!m_helper) {
        return;
    }
    const std::shared_ptr<Helper> helper = m_helper;
    {
        std::unique_lock lock(m_stateMutex);
        helper->closing = true;
        ::shutdown(helper->fd, SHUT_WR);
        if (!m_stateChanged.wait_for(lock, kEndWait, [&] { return helper->ended; })) {
            ::kill(helper->pid, SIGKILL);
        }
    }
    m_reader.stop();
    ::close(helper->fd);
    m_helper.reset();
}

void HelperSoundDevice::report(const text::Message& reason) const {
    if (m_trouble) {
        m_trouble(reason);
    }
}

bool HelperSoundDevice::startHelper() const {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        switchToInProcess(cannotStart(m_program, errno));
        return false;
    }
    int error = 0;
    // Whichever thread asks first starts the helper and may end long before it (the tick's
    // worker is restarted with the countdowns): the helper ends when its socket closes with
    // this process, not with that thread.
    const int pid =
        work::startProcess(m_program, m_arguments, ends[1], ends[1], STDERR_FILENO, &error, false);
    ::close(ends[1]);
    if (pid < 0) {
        ::close(ends[0]);
        switchToInProcess(cannotStart(m_program, error));
        return false;
    }
    auto helper = std::make_shared<Helper>();
    helper->pid = pid;
    helper->fd = ends[0];
    m_reader.post([this, helper] { readLoop(helper); });
    m_helper = helper;
    // A new helper knows nothing: it gets the volume and the names opened on files. Should
    // it end meanwhile, the request that started it finds out.
    std::vector<std::string> setup{wire::Writer(wire::kVolume).i32(m_volume).body()};
    for (const auto& [alias, command] : m_opened) {
        setup.push_back(wire::Writer(wire::kCommand).text(command).body());
    }
    for (const std::string& body : setup) {
        if (!wire::writeFrame(helper->fd, body)) {
            break;
        }
        std::unique_lock lock(m_stateMutex);
        m_stateChanged.wait(lock, [&] { return !helper->replies.empty() || helper->ended; });
        if (helper->replies.empty()) {
            break;
        }
        helper->replies.pop_front();
    }
    return true;
}

void HelperSoundDevice::readLoop(const std::shared_ptr<Helper>& helper) const {
    std::string body;
    while (wire::readFrame(helper->fd, body)) {
        wire::Reader in(body);
        if (in.kind() != wire::kPrepared) {
            const std::lock_guard lock(m_stateMutex);
            helper->replies.push_back(std::move(body));
            helper->answered = true;
            m_stateChanged.notify_all();
            continue;
        }
        const std::uint32_t id = in.u32();
        const std::string line = in.text();
        // "" when the file can be played.
        const text::Message refusal =
            line.empty() ? text::Message()
                         : text::readMessage(line).value_or(text::Message::literal(line));
        PrepareDone done;
        {
            const std::lock_guard lock(m_stateMutex);
            if (const auto it = m_prepares.find(id); it != m_prepares.end()) {
                done = std::move(it->second);
                m_prepares.erase(it);
            }
        }
        if (done) {
            done(refusal);
        }
    }
    int status = 0;
    while (::waitpid(helper->pid, &status, 0) < 0 && errno == EINTR) {
    }
    std::vector<PrepareDone> orphans;
    bool closing = false;
    {
        const std::lock_guard lock(m_stateMutex);
        helper->ended = true;
        helper->status = status;
        closing = helper->closing;
        for (const std::uint32_t id : helper->prepares) {
            if (const auto it = m_prepares.find(id); it != m_prepares.end()) {
                orphans.push_back(std::move(it->second));
                m_prepares.erase(it);
            }
        }
        helper->prepares.clear();
        m_stateChanged.notify_all();
    }
    if (closing) {
        return;
    }
    if (!endedWell(status)) {
        report(endText(status));
    }
    // A file whose reading ended the helper is not one to play.
    for (const PrepareDone& done : orphans) {
        done(endText(status));
    }
}

void HelperSoundDevice::reapHelper() const {
    if (!m_helper) {
        return;
    }
    {
        const std::lock_guard lock(m_stateMutex);
        if (!m_helper->ended) {
            return;
        }
        m_silentEnds = m_helper->answered ? 0 : m_silentEnds + 1;
    }
    m_reader.stop();
    ::close(m_helper->fd);
    m_helper.reset();
    if (m_silentEnds >= kSilentEndsBeforeInProcess) {
        switchToInProcess(
            {text::MessageId::SoundHelperSilent, {text::Message::literal(m_program)}});
    }
}

std::optional<std::string> HelperSoundDevice::request(const std::string& body, bool start) const {
    if (body.size() > wire::kMaxFrameBytes) {
        return std::nullopt;
    }
    // A helper that ends between our look and its reading of the request (it was idle)
    // never saw it: the request goes to a new helper.
    for (int attempt = 0; attempt <= kSilentEndsBeforeInProcess; ++attempt) {
        reapHelper();
        if (m_inProcess) {
            return std::nullopt;
        }
        if (!m_helper && (!start || !startHelper())) {
            return std::nullopt;
        }
        const std::shared_ptr<Helper> helper = m_helper;
        const bool sent = wire::writeFrame(helper->fd, body);
        std::unique_lock lock(m_stateMutex);
        // An unsent request leaves nothing to answer; the helper is ending then.
        m_stateChanged.wait(lock,
                            [&] { return (sent && !helper->replies.empty()) || helper->ended; });
        if (sent && !helper->replies.empty()) {
            std::string reply = std::move(helper->replies.front());
            helper->replies.pop_front();
            return reply;
        }
    }
    return std::nullopt;
}

void HelperSoundDevice::switchToInProcess(const text::Message& reason) const {
    m_inProcess = std::make_unique<SdlSoundDevice>();
    m_inProcess->setVolume(m_volume);
    for (const auto& [alias, command] : m_opened) {
        m_inProcess->sendCommand(command);
    }
    report({text::MessageId::SoundPlayingHere, {reason}});
}

void HelperSoundDevice::remember(const std::string& command, int result) const {
    const std::optional<alarm::SoundCommand> parsed = alarm::parseSoundCommand(command);
    if (!parsed) {
        return;
    }
    if (parsed->verb == "open" && (result == 0 || result == SdlSoundDevice::kNotReady)) {
        m_opened[parsed->alias] = command;
    } else if (parsed->verb == "close" && result == 0) {
        if (parsed->alias == "all") {
            m_opened.clear();
        } else {
            m_opened.erase(parsed->alias);
        }
    }
}

int HelperSoundDevice::sendCommand(const std::string& command) {
    const std::optional<alarm::SoundCommand> parsed = alarm::parseSoundCommand(command);
    if (!parsed) {
        return SdlSoundDevice::kUnrecognizedCommand;
    }
    const std::lock_guard call(m_callMutex);
    int result = SdlSoundDevice::kNoAudioDevice;
    if (m_inProcess) {
        result = m_inProcess->sendCommand(command);
    } else {
        // Only sound needs the helper: stopping and closing while none runs is done here.
        const bool needsSound = parsed->verb == "open" || parsed->verb == "play";
        if (const auto reply =
                request(wire::Writer(wire::kCommand).text(command).body(), needsSound)) {
            result = replyCode(*reply);
        } else if (m_inProcess) {
            result = m_inProcess->sendCommand(command);
        } else if (!needsSound) {
            const bool known = parsed->alias == "all" || m_opened.count(parsed->alias) != 0;
            result = known ? 0 : SdlSoundDevice::kUnknownAlias;
        }
    }
    remember(command, result);
    return result;
}

void HelperSoundDevice::prepare(const std::string& file, PrepareDone done) {
    text::Message refusal;
    {
        const std::lock_guard call(m_callMutex);
        reapHelper();
        if (m_inProcess) {
            m_inProcess->prepare(file, std::move(done));
            return;
        }
        // Nothing to read and nothing kept by a helper: no helper is needed to say so.
        if (!file.empty() || m_helper) {
            const std::uint32_t id = ++m_nextPrepare;
            if (done) {
                const std::lock_guard lock(m_stateMutex);
                m_prepares[id] = done;
            }
            const auto reply =
                request(wire::Writer(wire::kPrepare).u32(id).text(file).body(), true);
            std::optional<int> endStatus;
            {
                const std::lock_guard lock(m_stateMutex);
                const auto it = m_prepares.find(id);
                const bool waiting = it != m_prepares.end();
                if (reply && waiting && m_helper && !m_helper->ended) {
                    m_helper->prepares.push_back(id);
                    return;
                }
                if (waiting) {
                    m_prepares.erase(it);
                }
                if (reply && waiting) {
                    endStatus = m_helper ? m_helper->status : 0;
                } else if (reply || !done) {
                    return; // answered already, or nobody asks
                }
            }
            if (endStatus) {
                refusal = endText(*endStatus);
            } else if (m_inProcess) {
                m_inProcess->prepare(file, std::move(done));
                return;
            } else {
                refusal = {text::MessageId::SoundHelperCannotStart,
                           {text::Message::literal(m_program)}};
            }
        }
    }
    if (done) {
        done(refusal);
    }
}

int HelperSoundDevice::playSamples(const std::string& alias,
                                   std::shared_ptr<const alarm::DecodedSound> sound,
                                   std::vector<std::string> after) {
    const std::lock_guard call(m_callMutex);
    if (!m_inProcess && sound) {
        const std::string body = wire::Writer(wire::kSamples)
                                     .text(alias)
                                     .u32(sound->format())
                                     .u32(sound->channels())
                                     .i32(sound->rate())
                                     .names(after)
                                     .bytes(sound->data(), sound->size())
                                     .body();
        if (const auto reply = request(body, true)) {
            return replyCode(*reply);
        }
    }
    if (m_inProcess) {
        return m_inProcess->playSamples(alias, std::move(sound), std::move(after));
    }
    return SdlSoundDevice::kNoAudioDevice;
}

std::vector<std::string> HelperSoundDevice::openNames() const {
    const std::lock_guard call(m_callMutex);
    if (m_inProcess) {
        return m_inProcess->openNames();
    }
    if (const auto reply = request(wire::Writer(wire::kNames).body(), false)) {
        wire::Reader in(*reply);
        return in.names();
    }
    std::vector<std::string> names;
    for (const auto& [alias, command] : m_opened) {
        names.push_back(alias);
    }
    return names;
}

bool HelperSoundDevice::isPlaying(const std::string& alias) const {
    const std::lock_guard call(m_callMutex);
    if (m_inProcess) {
        return m_inProcess->isPlaying(alias);
    }
    const auto reply = request(wire::Writer(wire::kIsPlaying).text(alias).body(), false);
    return reply && replyCode(*reply) == 1;
}

bool HelperSoundDevice::isAudioOpen() const {
    const std::lock_guard call(m_callMutex);
    if (m_inProcess) {
        return m_inProcess->isAudioOpen();
    }
    const auto reply = request(wire::Writer(wire::kAudioOpen).body(), false);
    return reply && replyCode(*reply) == 1;
}

void HelperSoundDevice::warmUp() {
    const std::lock_guard call(m_callMutex);
    reapHelper();
    if (!m_inProcess && !m_helper) {
        startHelper();
    }
}

void HelperSoundDevice::setVolume(int percent) {
    const std::lock_guard call(m_callMutex);
    m_volume = std::clamp(percent, 0, 100);
    if (m_inProcess) {
        m_inProcess->setVolume(m_volume);
    } else {
        request(wire::Writer(wire::kVolume).i32(m_volume).body(), false);
    }
}

int HelperSoundDevice::volume() const {
    const std::lock_guard call(m_callMutex);
    return m_volume;
}

int HelperSoundDevice::helperPid() const {
    const std::lock_guard call(m_callMutex);
    const std::lock_guard lock(m_stateMutex);
    return m_helper && !m_helper->ended ? m_helper->pid : 0;
}

bool HelperSoundDevice::playsInProcess() const {
    const std::lock_guard call(m_callMutex);
    return m_inProcess != nullptr;
}

} // namespace zorvane::alarm

#endif
