// Notes per boss in notes.json beside config.ini: what is kept comes back, and a file that
// is not a list of notes is refused with its reason and left as it is.

#include "config/bossnotes.h"
#include "text/fileio.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace zorvane::config;

namespace {

std::filesystem::path freshDir(const char* name) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("zorvane-notes-" + std::to_string(::getpid()) + name);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

} // namespace

TEST(BossNotes, NotesComeBackAsTheyWereKeptAndEmptyOnesAreLeftOut) {
    const BossNotes notes = {
        {"黑龙", {"龙之谷 (120, 45)", "龙鳞, 屠龙刀", "三线人少\n带解毒药"}},
        {"Golem", {"", "", "only text"}},
        {"Empty", {}},
        {"Quote \"x\"", {"a\tb", "", ""}},
        {"Grouped", {"", "", "", "野外"}},
        {"Both", {"cave", "", "", "世界"}},
    };
    const std::string text = encodeBossNotes(notes);
    std::string error;
    const std::optional<BossNotes> back = decodeBossNotes(text, error);
    ASSERT_TRUE(back) << error;
    BossNotes expected = notes;
    expected.erase("Empty");
    EXPECT_EQ(*back, expected);
    EXPECT_EQ(text.find("Empty"), std::string::npos);
    EXPECT_EQ(encodeBossNotes({}), "{\n  \"notes\": {},\n  \"version\": 1\n}\n");
}

TEST(BossNotes, AFileThatIsNoListOfNotesIsRefusedWithItsReason) {
    const std::string longText(kMaxNoteFieldBytes + 1, 'x');
    struct Case {
        std::string text;
        const char* reason; // a part of the reason
    };
    const Case cases[] = {
        {"", "not a JSON object"},
        {"[1, 2]", "not a JSON object"},
        {"{\"version\": 1, \"notes\": {\"a\": {}}", "not a JSON object"},
        {"{\"version\": 1, \"notes\": {\"\xff\": {}}}", "not a JSON object"},
        {"{\"notes\": {}}", "not version 1"},
        {"{\"version\": 2, \"notes\": {}}", "not version 1"},
        {"{\"version\": \"1\", \"notes\": {}}", "not version 1"},
        {"{\"version\": 1}", "\"notes\" is missing"},
        {"{\"version\": 1, \"notes\": []}", "\"notes\" is missing or not an object"},
        {"{\"version\": 1, \"notes\": {\"a\": \"text\"}}", "the note of 'a' is not an object"},
        {"{\"version\": 1, \"notes\": {\"a\": {\"drops\": 3}}}", "the drops of 'a' is not a text"},
        {"{\"version\": 1, \"notes\": {\" a\": {}}}", "blanks around it"},
        {"{\"version\": 1, \"notes\": {\"\": {}}}", "is empty"},
        {"{\"version\": 1, \"notes\": {\"a\": {\"text\": \"" + longText + "\"}}}",
         "longer than 4000 bytes"},
        {"{\"version\": 1, \"notes\": {\"a\": {\"group\": 1}}}", "the group of 'a' is not a text"},
        {"{\"version\": 1, \"notes\": {\"a\": {\"group\": \"x\\ny\"}}}", "not one line"},
        {"{\"version\": 1, \"notes\": {\"a\": {\"group\": \" x\"}}}", "blanks around it"},
        {"{\"version\": 1, \"notes\": {\"a\": {\"group\": \"" + std::string(201, 'g') + "\"}}}",
         "longer than 200 bytes"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(decodeBossNotes(c.text, error)) << c.text.substr(0, 80);
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.text.substr(0, 80) << ": " << error;
    }
    // Fields this version does not know are passed over, as later versions may add some.
    std::string error;
    const auto later = decodeBossNotes(
        "{\"version\": 1, \"notes\": {\"a\": {\"text\": \"t\", \"colour\": \"red\"}}}", error);
    ASSERT_TRUE(later) << error;
    EXPECT_EQ(later->at("a").text, "t");
}

TEST(BossNotes, TheFileBesideTheTableIsReadWrittenAndABadOneIsLeftAlone) {
    const std::filesystem::path dir = freshDir("file");
    std::string error;
    // None yet: no notes, no error.
    const auto none = readBossNotes(dir, error);
    ASSERT_TRUE(none) << error;
    EXPECT_TRUE(none->empty());

    const BossNotes notes = {{"黑龙", {"北山", "", ""}}};
    ASSERT_TRUE(writeBossNotes(dir, notes, error)) << error;
    const auto back = readBossNotes(dir, error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(*back, notes);

    { std::ofstream(dir / kNotesFileName) << "{\"version\": 9}"; }
    EXPECT_FALSE(readBossNotes(dir, error));
    EXPECT_NE(error.find("notes.json: not version 1"), std::string::npos) << error;
    std::filesystem::remove_all(dir);
}
