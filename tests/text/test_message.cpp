#include "text/message.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace zorvane::text;

namespace {

TEST(FillTemplate, FillsEachMarkerOnceAndLeavesTheRest) {
    const struct {
        const char* pattern;
        std::vector<std::string> values;
        const char* expected;
    } cases[] = {
        {"%1时%2分%3秒", {"01", "02", "03"}, "01时02分03秒"},
        {"%2 before %1", {"a", "b"}, "b before a"},
        // A value that looks like a marker is not filled in again.
        {"“%1”和%2", {"%2", "x"}, "“%2”和x"},
        // A marker without a value, a lone percent sign and %0 stay as written.
        {"%1 %2", {"only"}, "only %2"},
        {"100% 满 %1", {"!"}, "100% 满 !"},
        {"%0%", {"x"}, "%0%"},
        {"", {"x"}, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fillTemplate(c.pattern, c.values), c.expected) << c.pattern;
    }
}

TEST(DefaultText, WordsNestedMessagesInChinese) {
    const struct {
        Message message;
        const char* expected;
    } cases[] = {
        {Message(), ""},
        {Message::literal("原样 %1"), "原样 %1"},
        {Message(MessageId::NoTyping), "禁止输入"},
        {Message(MessageId::LeadOutOfRange, {Message::literal("0"), Message::literal("10080")}),
         "“0”不在 1 到 10080 分钟之间"},
        {Message(MessageId::SoundUnplayable,
                 {Message::literal("/a/b.wav"), Message(MessageId::SoundNotWav)}),
         "无法播放所选的声音文件：/a/b.wav\n原因：这不是可以播放的 WAV "
         "文件\n预警时将播放内置声音。"},
        {Message(MessageId::HistoryDamagedStuck,
                 {Message::literal("h.sqlite"), Message::literal("file is not a database"),
                  Message::literal("Permission denied")}),
         "历史记录数据库已损坏且无法移开，击杀暂不记入历史：h.sqlite（file is not a "
         "database；Permission denied）"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(defaultText(c.message), c.expected);
    }
}

TEST(MessageTemplate, EveryMessageHasAWording) {
    EXPECT_EQ(messageTemplate(MessageId::None), "");
    EXPECT_EQ(messageTemplate(MessageId::Literal), "%1");
    for (int i = static_cast<int>(MessageId::Literal) + 1; i < static_cast<int>(MessageId::Count);
         ++i) {
        EXPECT_FALSE(messageTemplate(static_cast<MessageId>(i)).empty()) << i;
    }
    EXPECT_EQ(messageTemplate(MessageId::Count), "");
}

} // namespace
