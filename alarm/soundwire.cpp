#include "alarm/soundwire.h"

#include <cerrno>
#include <cstring>

#ifndef _WIN32
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace zorvane::alarm::wire {

Writer& Writer::u32(std::uint32_t value) {
    char raw[sizeof value];
    std::memcpy(raw, &value, sizeof value);
    m_body.append(raw, sizeof raw);
    return *this;
}

Writer& Writer::text(const std::string& value) {
    return bytes(value.data(), value.size());
}

Writer& Writer::bytes(const void* data, std::size_t size) {
    u32(static_cast<std::uint32_t>(size));
    m_body.append(static_cast<const char*>(data), size);
    return *this;
}

Writer& Writer::names(const std::vector<std::string>& values) {
    u32(static_cast<std::uint32_t>(values.size()));
    for (const std::string& value : values) {
        text(value);
    }
    return *this;
}

std::uint32_t Reader::u32() {
    std::uint32_t value = 0;
    if (!m_ok || m_body.size() - m_at < sizeof value) {
        m_ok = false;
        return 0;
    }
    std::memcpy(&value, m_body.data() + m_at, sizeof value);
    m_at += sizeof value;
    return value;
}

std::string Reader::text() {
    const std::uint32_t size = u32();
    if (!m_ok || m_body.size() - m_at < size) {
        m_ok = false;
        return {};
    }
    std::string value = m_body.substr(m_at, size);
    m_at += size;
    return value;
}

std::vector<std::string> Reader::names() {
    const std::uint32_t count = u32();
    std::vector<std::string> values;
    // Each name takes at least its length word, so a forged count cannot reserve much.
    for (std::uint32_t i = 0; m_ok && i < count; ++i) {
        values.push_back(text());
    }
    if (!m_ok) {
        values.clear();
    }
    return values;
}

#ifndef _WIN32

namespace {

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        // A socket is written without SIGPIPE, so a helper that died only fails the write;
        // anything else (a pipe, when run by hand) the plain way.
        ssize_t done = ::send(fd, data, size, MSG_NOSIGNAL);
        if (done < 0 && errno == ENOTSOCK) {
            done = ::write(fd, data, size);
        }
        if (done < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += done;
        size -= static_cast<std::size_t>(done);
    }
    return true;
}

bool readAll(int fd, char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t got = ::read(fd, data, size);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        data += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

} // namespace

bool writeFrame(int fd, const std::string& body) {
    const auto size = static_cast<std::uint32_t>(body.size());
    char header[sizeof size];
    std::memcpy(header, &size, sizeof size);
    return body.size() <= kMaxFrameBytes && writeAll(fd, header, sizeof header) &&
           writeAll(fd, body.data(), body.size());
}

bool readFrame(int fd, std::string& body, std::size_t maxBytes) {
    std::uint32_t size = 0;
    char header[sizeof size];
    if (!readAll(fd, header, sizeof header)) {
        return false;
    }
    std::memcpy(&size, header, sizeof size);
    if (size > maxBytes) {
        return false;
    }
    body.resize(size);
    return readAll(fd, body.data(), size);
}

#endif

} // namespace zorvane::alarm::wire
