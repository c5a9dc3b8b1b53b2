#include "alarm/playback.h"

#include "alarm/embeddedsound.h"
#include "text/fileio.h"

#include <exception>
#include <filesystem>
#include <mutex>
#include <set>
#include <system_error>

namespace zorvane::alarm {
namespace {

namespace fs = std::filesystem;

std::mutex& writtenMutex() {
    static std::mutex mutex;
    return mutex;
}

// Working sound files written by this process; guarded by writtenMutex().
std::set<std::string>& writtenFiles() {
    static std::set<std::string> files;
    return files;
}

bool hasEmbeddedSize(const fs::path& path) {
    std::error_code error;
    const auto size = fs::file_size(path, error);
    return !error && size == kEmbeddedSoundSize;
}

} // namespace

std::string workingSoundPath(const std::string& programDir) {
    return text::utf8FromPath(text::pathFromUtf8(programDir) / "1.wav");
}

bool playSound(SoundDevice& device, const std::string& file, const std::string& alias) {
    device.sendCommand("close " + alias);
    device.sendCommand("open \"" + file + "\" alias " + alias);
    return device.sendCommand("play " + alias) == 0;
}

bool ensureWorkingSoundFile(const std::string& programDir, std::string* error) {
    const std::string path = workingSoundPath(programDir);
    const std::lock_guard lock(writtenMutex());
    const bool writtenBefore = writtenFiles().count(path) != 0;
    if (writtenBefore && hasEmbeddedSize(text::pathFromUtf8(path))) {
        return true;
    }
    if (!text::replaceFileAtomically(text::pathFromUtf8(path), embeddedAlarmSound(), error)) {
        return false;
    }
    writtenFiles().insert(path);
    return true;
}

void soundAlarm(SoundDevice& device, const std::string& soundPathText,
                const std::string& programDir, schedule::WriteStatusSink* status,
                const SilenceSink& silence) {
    const auto silent = [&](const text::Message& reason) {
        if (silence) {
            silence(reason);
        } else if (status) {
            status->soundFailed(workingSoundPath(programDir), reason);
        }
    };
    try {
        if (!soundPathText.empty()) {
            const std::string alias = kAlarmAlias;
            device.sendCommand("close " + alias);
            if (device.sendCommand("open \"" + soundPathText + "\" alias " + alias) == 0) {
                device.sendCommand("play " + alias);
                return;
            }
        }
        // The built-in sound, also in place of a chosen file the device cannot open. A
        // failed write leaves an earlier copy in place, which holds the same sound.
        std::string error;
        const bool written = ensureWorkingSoundFile(programDir, &error);
        if (status && written) {
            status->writeSucceeded(workingSoundPath(programDir));
        } else if (status) {
            status->writeFailed(workingSoundPath(programDir), error);
        }
        if (!playSound(device, workingSoundPath(programDir), kAlarmAlias) && written) {
            silent(text::Message(text::MessageId::AlarmSilent));
        }
    } catch (const std::exception& error) {
        // The tick that called it must go on, and the user learns why this alarm was silent
        // (out of memory, no thread for the decoding).
        silent(text::Message(text::MessageId::AlarmSilentBecause,
                             {text::Message::literal(error.what())}));
    }
}

bool stopAllSounds(SoundDevice& device) {
    return device.sendCommand("stop all") == 0;
}

} // namespace zorvane::alarm
