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

constexpr const char* kNotRegular = "not a regular file";

// The system's text for an error number, as the user's reason.
std::string reasonText(int errorNumber) {
    return std::generic_category().message(errorNumber);
}

void setError(std::string* error, const fs::path& file, const std::string& reason) {
    if (error) {
        *error = utf8FromPath(file) + ": " + reason;
    }
}

// The file a write must replace: `file` itself or, at the end of a chain of symbolic
// links, the file they name (which need not exist yet). False on a loop or a link that
// cannot be read, with the reason in `ec`.
bool followLinks(fs::path& file, std::error_code& ec) {
    constexpr int kMaxLinks = 40; // as many as the system follows when it opens a path
    for (int hop = 0; hop < kMaxLinks; ++hop) {
        const fs::file_status status = fs::symlink_status(file, ec);
        if (status.type() == fs::file_type::not_found) {
            ec.clear();
            return true;
        }
        if (ec) {
            return false;
        }
        if (status.type() != fs::file_type::symlink) {
            return true;
        }
        const fs::path target = fs::read_symlink(file, ec);
        if (ec) {
            return false;
        }
        file = target.is_absolute() ? target : file.parent_path() / target;
    }
    ec = std::make_error_code(std::errc::too_many_symbolic_link_levels);
    return false;
}

// Empty when an existing target may be replaced, otherwise why not. The rename would
// replace a file the user cannot write (and root can write anything), so the permission
// is checked here.
std::string refusalToReplace(const fs::path& target) {
    std::error_code ec;
    const fs::file_status status = fs::status(target, ec);
    if (ec || status.type() != fs::file_type::regular) {
        return {};
    }
    constexpr fs::perms writable =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    if ((status.permissions() & writable) == fs::perms::none) {
        return "the file is read-only";
    }
#ifndef _WIN32
    if (::access(target.c_str(), W_OK) != 0) {
        return reasonText(errno);
    }
#endif
    return {};
}

// Writes the temporary and, when `durable`, makes it reach the disk; 0 or the error number
// of the failed step.
int writeTemporary(const fs::path& temp, const fs::path& target, std::string_view bytes,
                   FileAccess access = FileAccess::KeepPermissions, bool durable = true) {
#ifdef _WIN32
    (void)target;
    (void)access;
    (void)durable;
    errno = 0;
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    return out ? 0 : (errno != 0 ? errno : EIO);
#else
    const bool ownerOnly = access == FileAccess::OwnerOnly;
    const int fd =
        ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, ownerOnly ? 0600 : 0666);
    if (fd < 0) {
        return errno;
    }
    struct stat old {};
    if (ownerOnly) {
        // A umask may have taken rights away but never adds any; this only makes sure.
        ::fchmod(fd, 0600);
    } else if (::stat(target.c_str(), &old) == 0) {
        // Keep the permissions the user gave the file.
        ::fchmod(fd, old.st_mode & 07777);
    }
    int failure = 0;
    while (failure == 0 && !bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            failure = n < 0 ? errno : EIO;
        } else {
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
    }
    if (failure == 0 && durable && ::fsync(fd) != 0) {
        failure = errno;
    }
    // A network file system may report a full disk only when the file is closed.
    if (::close(fd) != 0 && failure == 0) {
        failure = errno;
    }
    return failure;
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
    if (writeTemporary(temp, file, bytes) != 0) {
        fs::remove(temp, ec);
        return CreateResult::Failed;
    }
    const CreateResult result = moveIntoFreeName(temp, file);
    if (result != CreateResult::Created) {
        fs::remove(temp, ec);
    }
    return result;
}

bool replaceFileAtomically(const fs::path& file, std::string_view bytes, std::string* error,
                           FileAccess access) {
    fs::path target = file;
    std::error_code ec;
    if (!followLinks(target, ec)) {
        setError(error, file, ec.message());
        return false;
    }
    if (const std::string refusal = refusalToReplace(target); !refusal.empty()) {
        setError(error, file, refusal);
        return false;
    }
    const fs::path dir = directoryOf(target);
    const fs::path temp = temporaryFor(target);
    if (const int failure = writeTemporary(temp, target, bytes, access); failure != 0) {
        fs::remove(temp, ec);
        setError(error, file, reasonText(failure));
        return false;
    }
    fs::rename(temp, target, ec);
    if (ec) {
        setError(error, file, ec.message());
        fs::remove(temp, ec);
        return false;
    }
    removeAbandonedTemporaries(dir, target);
    return true;
}

bool canCreateFilesIn(const fs::path& dir, std::string* error) {
    const fs::path probe = temporaryFor(dir / ".probe");
    // A probe that is removed at once need not reach the disk: no fsync, which would make
    // the window's start wait for the disk.
    if (const int failure = writeTemporary(probe, probe, {}, FileAccess::KeepPermissions, false);
        failure != 0) {
        setError(error, dir, reasonText(failure));
        return false;
    }
    std::error_code ec;
    fs::remove(probe, ec);
    return true;
}

fs::path pathFromUtf8(std::string_view text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

std::string utf8FromPath(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::optional<std::string> readWholeFile(const fs::path& file, std::string* error) {
#ifdef _WIN32
    std::error_code ec;
    const fs::file_status status = fs::status(file, ec);
    if (ec) {
        setError(error, file, ec.message());
        return std::nullopt;
    }
    if (status.type() != fs::file_type::regular) {
        setError(error, file, kNotRegular);
        return std::nullopt;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        setError(error, file, reasonText(errno != 0 ? errno : EIO));
        return std::nullopt;
    }
    std::string content;
    char buffer[16384];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        content.append(buffer, static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) {
        setError(error, file, reasonText(EIO));
        return std::nullopt;
    }
    return content;
#else
    // Without blocking: a pipe put in the file's place would wait for a writer for ever.
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        setError(error, file, reasonText(errno));
        return std::nullopt;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        setError(error, file, S_ISDIR(info.st_mode) ? reasonText(EISDIR) : kNotRegular);
        ::close(fd);
        return std::nullopt;
    }
    std::string content;
    content.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            setError(error, file, reasonText(errno));
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        content.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return content;
#endif
}

} // namespace zorvane::text
