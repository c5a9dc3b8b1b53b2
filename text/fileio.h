#pragma once
// Whole-file reads and writes of byte texts. Every file the program writes goes
// through replaceFileAtomically, so a crash, a kill or a full disk never leaves a
// half-written or missing file behind.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace zorvane::text {

// Replaces the file with `bytes`: a temporary file in the same directory is written,
// flushed to disk and renamed over the target, keeping the target's permissions.
// A symbolic link is followed: the file it names is replaced and the link stays.
// A file without write permission is left alone, as the user asked for it by making
// it read-only. False, with the old file untouched and no temporary left, on any
// failure; `error` then receives the file's path and the system's reason, for example
// "/home/a/config.ini: No space left on device".
// Temporaries that an earlier, killed process left for the same file are removed.
// With FileAccess::OwnerOnly the new file is readable and writable by its owner alone,
// from the moment its temporary exists, whatever the old file's permissions were: for
// files that hold secrets.
enum class FileAccess { KeepPermissions, OwnerOnly };
[[nodiscard]] bool replaceFileAtomically(const std::filesystem::path& file, std::string_view bytes,
                                         std::string* error = nullptr,
                                         FileAccess access = FileAccess::KeepPermissions);

// Whether new files can be made in `dir`: a probe file is created and removed again.
// False with the directory's path and the system's reason in `error` otherwise.
[[nodiscard]] bool canCreateFilesIn(const std::filesystem::path& dir, std::string* error = nullptr);

// How createFileAtomically ended.
enum class [[nodiscard]] CreateResult{Created, AlreadyExists, Failed};

// Creates `file` with `bytes` unless something of that name exists. The bytes go to a
// temporary in the same directory, flushed to disk, which is moved into place only while
// the name is still free: the file appears whole or not at all, and an existing file is
// never replaced, even one that appears while the bytes are being written.
CreateResult createFileAtomically(const std::filesystem::path& file, std::string_view bytes);

// The whole content of a regular file; nullopt when it does not exist, is not a regular
// file or cannot be read, with the file's path and the reason in `error`. A pipe, a
// device or a directory in the file's place is refused without waiting on it: it is
// opened without blocking and looked at before anything is read.
[[nodiscard]] std::optional<std::string> readWholeFile(const std::filesystem::path& file,
                                                       std::string* error = nullptr);

// Paths to and from UTF-8 texts. A plain std::string would be read in the system's
// code page on Windows, which garbles a directory with Chinese characters in it.
std::filesystem::path pathFromUtf8(std::string_view text);
std::string utf8FromPath(const std::filesystem::path& path);

} // namespace zorvane::text
