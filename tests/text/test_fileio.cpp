#include "text/fileio.h"

#include "tests/support/filelimit.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

#include <sys/mount.h>
#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace zorvane::text;
using zorvane::testing::FileSizeLimit;
using zorvane::testing::TempDir;
using zorvane::testing::writeBytes;

namespace {

void touch(const fs::path& file, fs::file_time_type when) {
    std::ofstream(file) << "partial";
    fs::last_write_time(file, when);
}

} // namespace

TEST(FileIo, ReplaceKeepsPermissionsAndReadsBackEveryByte) {
    TempDir dir;
    const fs::path file = dir.path() / "config.ini";
    const std::string bytes("a\0b\r\n\xB1\xB1", 7);
    ASSERT_TRUE(replaceFileAtomically(file, "old"));
    ::chmod(file.c_str(), 0600);
    ASSERT_TRUE(replaceFileAtomically(file, bytes));
    EXPECT_EQ(readWholeFile(file), bytes);
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_FALSE(readWholeFile(dir.path() / "missing.ini"));
    EXPECT_FALSE(readWholeFile(dir.path()));
}

// A file beside the program that is not a regular file is refused at once, with the
// system's reason: a pipe would hold the reader (and the start) for ever.
TEST(FileIo, OnlyRegularFilesAreReadAndARefusalSaysWhy) {
    TempDir dir;
    writeBytes(dir.path() / "plain.ini", "a=b");
    ASSERT_EQ(::mkfifo((dir.path() / "pipe.ini").c_str(), 0600), 0);
    fs::create_directory(dir.path() / "folder.ini");
    fs::create_symlink(dir.path() / "pipe.ini", dir.path() / "link.ini");
    struct Case {
        fs::path file;
        std::optional<std::string> content;
        const char* reason;
    };
    const Case cases[] = {
        {dir.path() / "plain.ini", "a=b", ""},
        {dir.path() / "missing.ini", std::nullopt, "missing.ini: No such file or directory"},
        {dir.path() / "folder.ini", std::nullopt, "folder.ini: Is a directory"},
        {dir.path() / "pipe.ini", std::nullopt, "pipe.ini: not a regular file"},
        {dir.path() / "link.ini", std::nullopt, "link.ini: not a regular file"},
        {"/dev/zero", std::nullopt, "/dev/zero: not a regular file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.string());
        std::string error;
        EXPECT_EQ(readWholeFile(c.file, &error), c.content);
        if (*c.reason == '\0') {
            EXPECT_EQ(error, "");
        } else {
            EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        }
    }
}

TEST(FileIo, AnOwnerOnlyFileIsNeverOpenToOthers) {
    TempDir dir;
    // A permissive umask would otherwise leave a new file readable by all.
    const mode_t umaskBefore = ::umask(0);
    const struct {
        const char* name;
        std::optional<mode_t> existing;
    } cases[] = {{"new.json", std::nullopt}, {"open.json", 0666}, {"group.json", 0640}};
    for (const auto& c : cases) {
        const fs::path file = dir.path() / c.name;
        if (c.existing) {
            ASSERT_TRUE(replaceFileAtomically(file, "old"));
            ::chmod(file.c_str(), *c.existing);
        }
        ASSERT_TRUE(replaceFileAtomically(file, "secret", nullptr, FileAccess::OwnerOnly));
        EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write)
            << c.name;
        EXPECT_EQ(readWholeFile(file), "secret");
    }
    ::umask(umaskBefore);
}

TEST(FileIo, LeftoversOfAKilledWriterAreRemovedButNotFreshOnes) {
    TempDir dir;
    const fs::path file = dir.path() / "config.ini";
    const auto now = fs::file_time_type::clock::now();
    const fs::path abandoned = dir.path() / ".config.ini.4242.0.tmp";
    const fs::path inProgress = dir.path() / ".config.ini.4243.0.tmp";
    const fs::path otherFile = dir.path() / ".confing.ini.4242.0.tmp";
    touch(abandoned, now - std::chrono::hours(2));
    touch(inProgress, now);
    touch(otherFile, now - std::chrono::hours(2));
    ASSERT_TRUE(replaceFileAtomically(file, "new"));
    EXPECT_FALSE(fs::exists(abandoned));
    EXPECT_TRUE(fs::exists(inProgress));
    EXPECT_TRUE(fs::exists(otherFile));
    EXPECT_EQ(readWholeFile(file), "new");
}

TEST(FileIo, Utf8PathsRoundTripAndReachTheirFiles) {
    TempDir dir;
    const std::string name = "首领表.ini";
    const fs::path file = dir.path() / pathFromUtf8(name);
    ASSERT_TRUE(replaceFileAtomically(file, "x"));
    EXPECT_EQ(utf8FromPath(file.filename()), name);
    EXPECT_EQ(readWholeFile(pathFromUtf8(utf8FromPath(dir.path()) + "/" + name)), "x");
}

TEST(FileIo, CreateWritesANewFileWholeAndNeverReplacesAnything) {
    TempDir dir;
    const fs::path file = dir.path() / "config.ini";
    const std::string bytes = "[set]\r\n\xD4\xA4\xBE\xAF=5\r\n";
    EXPECT_EQ(createFileAtomically(file, bytes), CreateResult::Created);
    EXPECT_EQ(readWholeFile(file), bytes);

    // Whatever already holds the name stays as it was: a file, a folder, a dangling link.
    EXPECT_EQ(createFileAtomically(file, "other"), CreateResult::AlreadyExists);
    EXPECT_EQ(readWholeFile(file), bytes);
    fs::create_directory(dir.path() / "folder");
    EXPECT_EQ(createFileAtomically(dir.path() / "folder", "x"), CreateResult::AlreadyExists);
    fs::create_symlink(dir.path() / "nowhere", dir.path() / "link");
    EXPECT_EQ(createFileAtomically(dir.path() / "link", "x"), CreateResult::AlreadyExists);
    EXPECT_FALSE(fs::exists(dir.path() / "nowhere"));

    EXPECT_EQ(createFileAtomically(dir.path() / "missing" / "config.ini", "x"),
              CreateResult::Failed);
    // No temporary is left behind by any of these.
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 3u);
}

namespace {

bool hasTemporaries(const fs::path& dir) {
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().extension() == ".tmp") {
            return true;
        }
    }
    return false;
}

struct FailedWrite {
    const char* what;
    // Prepares the directory and returns the file to write.
    fs::path (*prepare)(const fs::path& dir);
    const char* reason;
    rlim_t sizeLimit; // 0: none
};

} // namespace

TEST(FileIo, AFailedReplacementKeepsTheOldFileAndSaysWhy) {
    const FailedWrite cases[] = {
        {"parent is a regular file",
         [](const fs::path& dir) {
             writeBytes(dir / "plain", "x");
             return dir / "plain" / "config.ini";
         },
         "Not a directory", 0},
        {"missing directory", [](const fs::path& dir) { return dir / "gone" / "config.ini"; },
         "No such file or directory", 0},
        {"read-only file",
         [](const fs::path& dir) {
             writeBytes(dir / "config.ini", "old");
             ::chmod((dir / "config.ini").c_str(), 0444);
             return dir / "config.ini";
         },
         "read-only", 0},
        {"read-only file behind a link",
         [](const fs::path& dir) {
             writeBytes(dir / "target.ini", "old");
             ::chmod((dir / "target.ini").c_str(), 0444);
             fs::create_symlink("target.ini", dir / "config.ini");
             return dir / "config.ini";
         },
         "read-only", 0},
        {"a directory in the way",
         [](const fs::path& dir) {
             fs::create_directory(dir / "config.ini");
             return dir / "config.ini";
         },
         "Is a directory", 0},
        {"links in a loop",
         [](const fs::path& dir) {
             fs::create_symlink("b.ini", dir / "config.ini");
             fs::create_symlink("config.ini", dir / "b.ini");
             return dir / "config.ini";
         },
         "Too many levels of symbolic links", 0},
        {"no room for the new content",
         [](const fs::path& dir) {
             writeBytes(dir / "config.ini", "old");
             return dir / "config.ini";
         },
         "File too large", 100},
    };
    for (const FailedWrite& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const fs::path file = c.prepare(dir.path());
        const std::optional<std::string> before = readWholeFile(file);
        std::string error;
        bool written = true;
        {
            std::optional<FileSizeLimit> limit;
            if (c.sizeLimit != 0) {
                limit.emplace(c.sizeLimit);
                ASSERT_TRUE(limit->active());
            }
            written = replaceFileAtomically(file, std::string(1000, 'n'), &error);
        }
        EXPECT_FALSE(written);
        EXPECT_TRUE(error.starts_with(utf8FromPath(file) + ": ")) << error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        EXPECT_EQ(readWholeFile(file), before);
        EXPECT_FALSE(hasTemporaries(dir.path()));
    }
}

TEST(FileIo, AFullDiskIsReportedAndTheNextWriteWorksOnceThereIsRoom) {
    TempDir dir;
    const fs::path mountPoint = dir.path() / "small";
    fs::create_directory(mountPoint);
    if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "cannot mount a small tmpfs here (" << std::strerror(errno)
                     << "); the size-limit case covers the failure path";
    }
    struct Unmount {
        fs::path point;
        ~Unmount() { ::umount(point.c_str()); }
    } unmount{mountPoint};

    const fs::path file = mountPoint / "config.ini";
    ASSERT_TRUE(replaceFileAtomically(file, "old"));
    std::string error;
    EXPECT_FALSE(replaceFileAtomically(file, std::string(256 * 1024, 'n'), &error));
    EXPECT_EQ(error, utf8FromPath(file) + ": No space left on device");
    EXPECT_EQ(readWholeFile(file), "old");
    EXPECT_FALSE(hasTemporaries(mountPoint));
    EXPECT_TRUE(replaceFileAtomically(file, "new", &error));
    EXPECT_EQ(readWholeFile(file), "new");
}

TEST(FileIo, ALinkedFileIsReplacedAndTheLinkStays) {
    struct Link {
        const char* what;
        // Makes "config.ini" in the first directory a link; returns the file it reaches.
        fs::path (*make)(const fs::path& home, const fs::path& elsewhere);
    };
    const Link links[] = {
        {"absolute",
         [](const fs::path& home, const fs::path& elsewhere) {
             writeBytes(elsewhere / "real.ini", "old");
             fs::create_symlink(elsewhere / "real.ini", home / "config.ini");
             return elsewhere / "real.ini";
         }},
        {"relative, into another directory",
         [](const fs::path& home, const fs::path& elsewhere) {
             writeBytes(elsewhere / "real.ini", "old");
             fs::create_symlink(fs::relative(elsewhere / "real.ini", home), home / "config.ini");
             return elsewhere / "real.ini";
         }},
        {"a chain of two links",
         [](const fs::path& home, const fs::path& elsewhere) {
             writeBytes(elsewhere / "real.ini", "old");
             fs::create_symlink("real.ini", elsewhere / "hop.ini");
             fs::create_symlink(elsewhere / "hop.ini", home / "config.ini");
             return elsewhere / "real.ini";
         }},
        {"a link to a file not made yet",
         [](const fs::path& home, const fs::path& elsewhere) {
             fs::create_symlink(elsewhere / "new.ini", home / "config.ini");
             return elsewhere / "new.ini";
         }},
    };
    for (const Link& link : links) {
        SCOPED_TRACE(link.what);
        TempDir home;
        TempDir elsewhere;
        const fs::path file = home.path() / "config.ini";
        const fs::path target = link.make(home.path(), elsewhere.path());
        const fs::path linkText = fs::read_symlink(file);
        std::string error;
        ASSERT_TRUE(replaceFileAtomically(file, "new", &error)) << error;
        EXPECT_TRUE(fs::is_symlink(file));
        EXPECT_EQ(fs::read_symlink(file), linkText);
        EXPECT_EQ(readWholeFile(target), "new");
        EXPECT_FALSE(hasTemporaries(home.path()));
        EXPECT_FALSE(hasTemporaries(elsewhere.path()));
    }
}

TEST(FileIo, ProbingADirectoryForNewFiles) {
    TempDir dir;
    std::string error;
    EXPECT_TRUE(canCreateFilesIn(dir.path(), &error));
    EXPECT_TRUE(fs::is_empty(dir.path()));

    writeBytes(dir.path() / "plain", "x");
    EXPECT_FALSE(canCreateFilesIn(dir.path() / "plain", &error));
    EXPECT_EQ(error, utf8FromPath(dir.path() / "plain") + ": Not a directory");
    EXPECT_FALSE(canCreateFilesIn(dir.path() / "gone", &error));
    EXPECT_EQ(error, utf8FromPath(dir.path() / "gone") + ": No such file or directory");
}
