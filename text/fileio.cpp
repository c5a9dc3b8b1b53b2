#include "text/fileio.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <cstdio>
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

fs::path directoryOf(const fs::path& file) {
    const fs::path dir = file.parent_path();
    return dir.empty() ? fs::path(".") : dir;
}

fs::path temporaryFor(const fs::path& file) {
    static std::atomic<unsigned> counter{0};
    return directoryOf(file) / (temporaryPrefix(file) + std::to_string(processId()) + "." +
                                std::to_string(counter.fetch_add(1)) + ".tmp");
}

// Moves `temp` to `file` unless `file` exists; `temp` is left where it was on failure.
CreateResult moveIntoFreeName(const fs::path& temp, const fs::path& file) {
#ifdef _WIN32
    if (::MoveFileExW(temp.c_str(), file.c_str(), MOVEFILE_WRITE_THROUGH)) {
        return CreateResult::Created;
    }
    const DWORD error = ::GetLastError();
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? CreateResult::AlreadyExists
                                                                       : CreateResult::Failed;
#else
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, file.c_str(), RENAME_NOREPLACE) == 0) {
        return CreateResult::Created;
    }
    if (errno == EEXIST) {
        return CreateResult::AlreadyExists;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        return CreateResult::Failed;
    }
    // The file system cannot rename without replacing; a hard link never replaces either.
    if (::link(temp.c_str(), file.c_str()) != 0) {
        return errno == EEXIST ? CreateResult::AlreadyExists : CreateResult::Failed;
    }
    ::unlink(temp.c_str());
    return CreateResult::Created;
#endif
}

} // namespace

CreateResult createFileAtomically(const fs::path& file, std::string_view bytes) {
    std::error_code ec;
    if (fs::exists(fs::symlink_status(file, ec))) {
        return CreateResult::AlreadyExists;
    }
    const fs::path temp = temporaryFor(file);
    if (!writeTemporary(temp, file, bytes)) {
        fs::remove(temp, ec);
        return CreateResult::Failed;
    }
    const CreateResult result = moveIntoFreeName(temp, file);
    if (result != CreateResult::Created) {
        fs::remove(temp, ec);
    }
    return result;
}

bool replaceFileAtomically(const fs::path& file, std::string_view bytes) {
    const fs::path dir = directoryOf(file);
    const fs::path temp = temporaryFor(file);
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
