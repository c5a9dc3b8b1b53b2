#pragma once
// Makes every file write of this process fail beyond `bytes`, as on a full disk: the
// system refuses to grow a file past the limit with EFBIG ("File too large"), for root
// too. The limit and the signal's disposition are put back on destruction.

#include <csignal>

#include <sys/resource.h>

namespace zorvane::testing {

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        // Without this the write would kill the process instead of failing.
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limited = m_old;
        limited.rlim_cur = bytes;
        m_active = ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool active() const { return m_active; }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
    bool m_active = false;
};

} // namespace zorvane::testing
