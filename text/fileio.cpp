#include "text/fileio.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zorvane::text {
namespace {

namespace fs = std::filesystem;

// Temporaries are named ".<file>.<pid>.<n>.tmp" beside their target.
std::string temporaryPrefix(const fs::path& file) {
    return "." + file.filename().string() + ".";
}

long processId() {
#ifdef _WIN32
    return static_cast<long>(_getpid());
#else
    return static_cast<long>(::getpid());
#endif
}

// A write takes milliseconds: a temporary this old belongs to a process that died.
void removeAbandonedTemporaries(const fs::path& dir, const fs::path& file) {
    const std::string prefix = temporaryPrefix(file);
    const auto cutoff = fs::file_time_type::clock::now() - std::chrono::minutes(1);
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() > prefix.size() + 4 && name.compare(0, prefix.size(), prefix) == 0 &&
            name.compare(name.size() - 4, 4, ".tmp") == 0) {
            std::error_code timeError;
            const auto written = it->last_write_time(timeError);
            if (!timeError && written < cutoff) {
                std::error_code ignored;
                fs::remove(it->path(), ignored);
            }
        }
    }
}

bool writeTemporary(const fs::path& temp, const fs::path& target, std::string_view bytes) {
#ifdef _WIN32
    (void)target;
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    return static_cast<bool>(out);
#else
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        return false;
    }
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0) {
        // Keep the permissions the user gave the file.
        ::fchmod(fd, old.st_mode & 07777);
    }
    bool ok = true;
    while (ok && !bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        ok = n > 0;
        if (ok) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
    }
    ok = ok && ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
#endif
}

} // namespace

bool replaceFileAtomically(const fs::path& file, std::string_view bytes) {
    static std::atomic<unsigned> counter{0};
    fs::path dir = file.parent_path();
    if (dir.empty()) {
        dir = ".";
    }
    const fs::path temp = dir / (temporaryPrefix(file) + std::to_string(processId()) + "." +
                                 std::to_string(counter.fetch_add(1)) + ".tmp");
    std::error_code ec;
    if (!writeTemporary(temp, file, bytes)) {
        fs::remove(temp, ec);
        return false;
    }
    fs::rename(temp, file, ec);
    if (ec) {
        fs::remove(temp, ec);
        return false;
    }
    removeAbandonedTemporaries(dir, file);
    return true;
}

fs::path pathFromUtf8(std::string_view text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

std::string utf8FromPath(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::optional<std::string> readWholeFile(const fs::path& file) {
    std::error_code ec;
    if (fs::status(file, ec).type() != fs::file_type::regular) {
        return std::nullopt;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string content;
    char buffer[16384];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        content.append(buffer, static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) {
        return std::nullopt;
    }
    return content;
}

} // namespace zorvane::text
