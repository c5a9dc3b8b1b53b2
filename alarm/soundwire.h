#pragma once
// The messages between the window's process and the sound helper (zorvane-sound): frames of
// a 4-byte length and a body, whose first byte says what it is. Both ends run on the same
// machine from the same build, so numbers travel in the machine's own byte order.
//
// Requests (window -> helper), each answered by one reply in order:
//   'C' command text              -> 'R' code of the command
//   'V' percent                   -> 'R' 0
//   'P' id, file                  -> 'R' 0; later the event 'D' id, refusal ("" when playable)
//   'S' alias, format, channels, rate, after names, samples  -> 'R' code of playSamples
//   'Q' alias                     -> 'R' 1 while it plays, else 0
//   'N'                           -> 'L' the open names
//   'A'                           -> 'R' 1 while the audio device is open, else 0
// The helper ends by itself once it has been idle (nothing playing, nothing being
// prepared, no request) for a while, and at once when its input ends.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zorvane::alarm::wire {

inline constexpr char kCommand = 'C';
inline constexpr char kVolume = 'V';
inline constexpr char kPrepare = 'P';
inline constexpr char kSamples = 'S';
inline constexpr char kIsPlaying = 'Q';
inline constexpr char kNames = 'N';
inline constexpr char kAudioOpen = 'A';
inline constexpr char kReply = 'R';
inline constexpr char kList = 'L';
inline constexpr char kPrepared = 'D';

// Builds a body.
class Writer {
public:
    explicit Writer(char kind) { m_body.push_back(kind); }
    Writer& u32(std::uint32_t value);
    Writer& i32(std::int32_t value) { return u32(static_cast<std::uint32_t>(value)); }
    Writer& text(const std::string& value);
    Writer& bytes(const void* data, std::size_t size);
    Writer& names(const std::vector<std::string>& values);
    const std::string& body() const { return m_body; }

private:
    std::string m_body;
};

// Reads a body; every read of a truncated body fails and leaves ok() false.
class Reader {
public:
    explicit Reader(const std::string& body) : m_body(body), m_at(body.empty() ? 0 : 1) {}
    char kind() const { return m_body.empty() ? '\0' : m_body[0]; }
    std::uint32_t u32();
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
    std::string text();
    std::vector<std::string> names();
    bool ok() const { return m_ok; }

private:
    const std::string& m_body;
    std::size_t m_at;
    bool m_ok = true;
};

// Frames larger than this are refused by readFrame: samples of speech are a few hundred KB.
inline constexpr std::size_t kMaxFrameBytes = 64u << 20;

// Writes one frame whole; false when the other end is gone (never raises SIGPIPE).
bool writeFrame(int fd, const std::string& body);
// Reads one frame; false at the end of the stream, on an error or an oversized frame.
bool readFrame(int fd, std::string& body, std::size_t maxBytes = kMaxFrameBytes);

} // namespace zorvane::alarm::wire
