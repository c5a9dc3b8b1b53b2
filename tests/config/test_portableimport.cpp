#include "config/portableimport.h"

#include "tests/support/tempdir.h"
#include "text/fileio.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace fs = std::filesystem;
using zorvane::config::importPortableFiles;
using zorvane::testing::TempDir;
using zorvane::text::readWholeFile;
using zorvane::text::replaceFileAtomically;

namespace {

using Files = std::map<std::string, std::string>;

const std::string kTable = "[\xD0\xF2\xBA\xC5]\r\n1=1\r\n[set]\r\n\xD4\xA4\xBE\xAF=3\r\n";
const std::string kSound = "[m]\r\nm=C:\\sounds\\boss.wav\r\n";

void writeFiles(const fs::path& dir, const Files& files) {
    fs::create_directories(dir);
    for (const auto& [name, bytes] : files) {
        ASSERT_TRUE(replaceFileAtomically(dir / name, bytes));
    }
}

Files readFiles(const fs::path& dir) {
    Files files;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        files[it->path().filename().string()] = readWholeFile(it->path()).value_or("<unreadable>");
    }
    return files;
}

struct ImportCase {
    const char* name;
    Files source;
    Files targetBefore;
    bool ok;
    const char* errorPart; // a piece of the message when the import is refused
    Files targetAfter;
};

} // namespace

TEST(PortableImport, CopiesAllOrNothingAndNeverOverwrites) {
    const ImportCase cases[] = {
        {"both files into a new folder",
         {{"config.ini", kTable}, {"confing.ini", kSound}},
         {},
         true,
         "",
         {{"config.ini", kTable}, {"confing.ini", kSound}}},
        {"only the table; other files stay behind",
         {{"config.ini", kTable}, {"1.htm", "<p>old</p>"}, {"1.wav", "RIFF"}},
         {},
         true,
         "",
         {{"config.ini", kTable}}},
        {"the sound file beside an unrelated file",
         {{"confing.ini", kSound}},
         {{"notes.txt", "x"}},
         true,
         "",
         {{"confing.ini", kSound}, {"notes.txt", "x"}}},
        {"an existing table blocks both",
         {{"config.ini", kTable}, {"confing.ini", kSound}},
         {{"config.ini", "mine"}},
         false,
         "config.ini\" already exists",
         {{"config.ini", "mine"}}},
        {"an existing sound file blocks both",
         {{"config.ini", kTable}, {"confing.ini", kSound}},
         {{"confing.ini", ""}},
         false,
         "confing.ini\" already exists",
         {{"confing.ini", ""}}},
        {"a folder without the files", {{"1.htm", "x"}}, {}, false, "Neither config.ini", {}},
    };
    for (const ImportCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const fs::path source = dir.path() / "portable";
        const fs::path target = dir.path() / "data" / "Zorvane";
        writeFiles(source, c.source);
        if (!c.targetBefore.empty()) {
            writeFiles(target, c.targetBefore);
        }

        const auto result = importPortableFiles(source, target);

        EXPECT_EQ(result.ok, c.ok) << result.error;
        EXPECT_NE(result.error.find(c.errorPart), std::string::npos) << result.error;
        EXPECT_EQ(result.ok, result.error.empty());
        EXPECT_EQ(result.copied.size(), c.ok ? c.targetAfter.size() - c.targetBefore.size() : 0u);
        EXPECT_EQ(readFiles(target), c.targetAfter);
        EXPECT_EQ(readFiles(source), c.source) << "the portable folder must stay as it was";
    }
}

TEST(PortableImport, RefusesWhatIsNotAPortableFolder) {
    TempDir dir;
    const fs::path data = dir.path() / "data";
    writeFiles(data, {{"config.ini", kTable}});
    ASSERT_TRUE(replaceFileAtomically(dir.path() / "plain-file", "x"));
    fs::create_directories(dir.path() / "odd" / "config.ini");

    const struct {
        fs::path source;
        fs::path target;
        const char* errorPart;
    } cases[] = {
        {dir.path() / "missing", data, "is not a folder"},
        {dir.path() / "plain-file", data, "is not a folder"},
        {data, data, "already the folder"},
        {dir.path() / "odd", dir.path() / "fresh", "is not a file"},
        // The target folder cannot be made below a plain file.
        {data, dir.path() / "plain-file" / "Zorvane", "cannot be created"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source.string() + " -> " + c.target.string());
        const auto result = importPortableFiles(c.source, c.target);
        EXPECT_FALSE(result.ok);
        EXPECT_TRUE(result.copied.empty());
        EXPECT_NE(result.error.find(c.errorPart), std::string::npos) << result.error;
    }
    EXPECT_EQ(readFiles(data), (Files{{"config.ini", kTable}}));
    EXPECT_FALSE(fs::exists(dir.path() / "fresh"));
}
