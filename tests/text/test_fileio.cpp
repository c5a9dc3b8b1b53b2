#include "text/fileio.h"

#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace zorvane::text;
using zorvane::testing::TempDir;

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
