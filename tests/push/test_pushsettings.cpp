#include "push/pushsettings.h"

#include "tests/support/tempdir.h"
#include "text/fileio.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace zorvane::push {
namespace {

namespace fs = std::filesystem;

PushSettings twoTargets() {
    PushSettings settings;
    PushTarget discord;
    discord.id = "0123456789abcdef";
    discord.name = "公会频道";
    discord.kind = TargetKind::Discord;
    discord.url = "https://discord.com/api/webhooks/1/token";
    discord.scope = TargetScope::Room;
    discord.events = KindSet();
    discord.events.insert(AlertKind::Spawn);
    discord.events.insert(AlertKind::Unrecorded);
    PushTarget phone;
    phone.id = "fedcba9876543210";
    phone.name = "手机";
    phone.kind = TargetKind::Ntfy;
    phone.url = "https://ntfy.sh/my_topic";
    phone.enabled = false;
    settings.targets = {discord, phone};
    return settings;
}

unsigned modeOf(const fs::path& file) {
    struct stat info {};
    ::stat(file.c_str(), &info);
    return info.st_mode & 0777u;
}

TEST(PushSettings, writtenOwnerOnlyAndReadBack) {
    const testing::TempDir dir;
    const fs::path file = dir.path() / "push.json";
    // Even over a file others could read.
    ASSERT_TRUE(text::replaceFileAtomically(file, "{}"));
    ::chmod(file.c_str(), 0644);
    std::string error;
    ASSERT_TRUE(writePushSettings(file, twoTargets(), &error)) << error;
    EXPECT_EQ(modeOf(file), 0600u);
    const PushSettingsRead read = readPushSettings(file);
    EXPECT_TRUE(read.problems.empty());
    EXPECT_EQ(read.settings, twoTargets());
}

TEST(PushSettings, readingMakesTheFileOwnerOnly) {
    const testing::TempDir dir;
    const fs::path file = dir.path() / "push.json";
    ASSERT_TRUE(text::replaceFileAtomically(file, encodePushSettings(twoTargets())));
    ::chmod(file.c_str(), 0664);
    EXPECT_EQ(readPushSettings(file).settings, twoTargets());
    EXPECT_EQ(modeOf(file), 0600u);
}

TEST(PushSettings, badFilesAreReportedWithoutTheirContent) {
    const struct {
        const char* json;
        text::MessageId problem;
        std::size_t targets;
    } cases[] = {
        {R"({"v":1,"targets":[{"kind":"ntfy","url":"https://ntfy.sh/s3cret_topic"}, oops]})",
         text::MessageId::PushSettingsNotJson, 0},
        {R"(["https://ntfy.sh/s3cret_topic"])", text::MessageId::PushSettingsNotJson, 0},
        {R"({"targets":{"kind":"ntfy"}})", text::MessageId::PushSettingsNotJson, 0},
        {R"({"targets":[{"kind":"telegram","url":"https://t.me/s3cret_topic"},
                        {"kind":"ntfy","url":"https://ntfy.sh/s3cret_topic"}]})",
         text::MessageId::PushSettingsEntry, 1},
        {R"({"v":1})", text::MessageId::None, 0},
    };
    for (const auto& c : cases) {
        const PushSettingsRead read = decodePushSettings(c.json, "/home/p/push.json");
        EXPECT_EQ(read.settings.targets.size(), c.targets) << c.json;
        if (c.problem == text::MessageId::None) {
            EXPECT_TRUE(read.problems.empty()) << c.json;
            continue;
        }
        ASSERT_EQ(read.problems.size(), 1u) << c.json;
        EXPECT_EQ(read.problems[0].id, c.problem);
        const std::string said = text::defaultText(read.problems[0]);
        EXPECT_NE(said.find("/home/p/push.json"), std::string::npos) << said;
        EXPECT_EQ(said.find("s3cret"), std::string::npos) << said;
    }
}

TEST(PushSettings, missingFieldsTakeTheirDefaults) {
    const PushSettingsRead read =
        decodePushSettings(R"({"targets":[{"kind":"json","url":"https://e.org/h",
                                           "events":["spawn","later-kind"]},
                                          {"kind":"ntfy","id":"0000000000000001"},
                                          {"kind":"ntfy","id":"0000000000000001"}]})",
                           "push.json");
    ASSERT_EQ(read.settings.targets.size(), 3u);
    // An entry copied by hand gets an id of its own.
    EXPECT_EQ(read.settings.targets[1].id, "0000000000000001");
    EXPECT_NE(read.settings.targets[2].id, "0000000000000001");
    const PushTarget& target = read.settings.targets[0];
    EXPECT_EQ(target.id.size(), 16u);
    EXPECT_EQ(target.scope, TargetScope::Player);
    EXPECT_TRUE(target.enabled);
    EXPECT_TRUE(target.events.contains(AlertKind::Spawn));
    EXPECT_FALSE(target.events.contains(AlertKind::LeadTime));
}

TEST(PushSettings, targetsOfUnknownKindsSurviveAWrite) {
    const testing::TempDir dir;
    const fs::path file = dir.path() / "push.json";
    const std::string later = R"({"kind":"telegram","url":"https://t.me/x","chat":42})";
    ASSERT_TRUE(text::replaceFileAtomically(
        file, R"({"v":1,"targets":[)" + later +
                  R"(,{"kind":"ntfy","id":"fedcba9876543210","url":"https://ntfy.sh/t"}]})"));
    PushSettingsRead read = readPushSettings(file);
    ASSERT_EQ(read.settings.keptAside.size(), 1u);
    read.settings.targets[0].name = "手机";
    ASSERT_TRUE(writePushSettings(file, read.settings));
    const PushSettingsRead again = readPushSettings(file);
    EXPECT_EQ(again.settings, read.settings);
    EXPECT_NE(text::readWholeFile(file)->find("\"chat\": 42"), std::string::npos);
}

TEST(PushSettings, aFileThatIsNotJsonIsMovedAsideBeforeAWrite) {
    const testing::TempDir dir;
    const fs::path file = dir.path() / "push.json";
    ASSERT_TRUE(text::replaceFileAtomically(file, "{ hand edited, broken"));
    ASSERT_TRUE(writePushSettings(file, twoTargets()));
    EXPECT_EQ(text::readWholeFile(dir.path() / "push.json.broken"), "{ hand edited, broken");
    EXPECT_EQ(readPushSettings(file).settings, twoTargets());
}

} // namespace
} // namespace zorvane::push
