#include "push/sentfile.h"

#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <fstream>

namespace zorvane::push {
namespace {

constexpr std::int64_t kNow = 1796637600;

TEST(SentFile, readsBackWhatIsStillCurrent) {
    const testing::TempDir dir;
    const auto file = sentFileFor(dir.path() / "push.json");
    EXPECT_EQ(file, dir.path() / "push-sent.json");
    const std::vector<SentRecord> records = {
        {"phone", std::string(32, 'a'), kNow + 60},
        {"guild", std::string(32, 'a'), kNow + 900},
        {"phone", std::string(32, 'b'), kNow}, // stops mattering now
    };
    ASSERT_TRUE(writeSentFile(file, records));
    EXPECT_EQ(readSentFile(file, kNow),
              std::vector<SentRecord>(records.begin(), records.begin() + 2));
    EXPECT_TRUE(readSentFile(file, kNow + 900).empty());
}

// It only guards against repeats: whatever cannot be read counts as nothing sent.
TEST(SentFile, anythingUnreadableCountsAsEmptyOrIsSkipped) {
    const std::string good = R"({"target":"phone","event":"e1","until":1796640000})";
    const struct {
        const char* content;
        std::size_t records;
    } cases[] = {
        {"", 0},
        {"not json", 0},
        {"[]", 0},
        {R"({"sent":[)"
         "X"
         "]})",
         0},
        {R"({"v":2,"sent":[]})", 0},
        {R"({"v":1,"sent":{}})", 0},
        {R"({"v":1})", 0},
        {R"({"v":1,"sent":[7,{"target":"phone"},{"target":"","event":"e","until":1796640000}]})",
         0},
        {R"({"v":1,"sent":[{"target":"phone","event":"e","until":"1796640000"}]})", 0},
        {R"({"v":1,"sent":[{"target":7,"event":"e","until":1796640000}]})", 0},
    };
    const testing::TempDir dir;
    const auto file = dir.path() / "push-sent.json";
    for (const auto& c : cases) {
        std::string content = c.content;
        if (content.find('X') != std::string::npos) {
            content.replace(content.find('X'), 1, good);
        }
        std::ofstream(file, std::ios::trunc) << content;
        EXPECT_EQ(readSentFile(file, kNow).size(), c.records) << content;
    }
    // Good records beside bad ones are kept.
    std::ofstream(file, std::ios::trunc) << R"({"v":1,"sent":[7,)" << good << "]}";
    EXPECT_EQ(readSentFile(file, kNow).size(), 1u);
    EXPECT_TRUE(readSentFile(dir.path() / "missing.json", kNow).empty());
    EXPECT_TRUE(readSentFile(dir.path(), kNow).empty()); // a directory in its place
}

} // namespace
} // namespace zorvane::push
