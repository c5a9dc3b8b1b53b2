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

TEST(MessageLine, ReadsBackWhatItWrote) {
    const Message cases[] = {
        Message(MessageId::AnnouncementCancelled),
        Message(MessageId::ReasonsJoined,
                {Message(MessageId::AnnouncementDownloadFailed,
                         {Message::literal("Couldn't connect: 127.0.0.1:1")}),
                 Message(MessageId::CannotWrite, {Message::literal("/目录/1.htm")})}),
        Message(MessageId::LeadNotWhole, {Message::literal("")}),
    };
    for (const Message& message : cases) {
        const std::string line = messageLine(message);
        EXPECT_EQ(line.find('\n'), std::string::npos);
        EXPECT_EQ(readMessage(line), message) << line;
    }
    // A line break inside a value would end the line: it becomes a space.
    EXPECT_EQ(readMessage(messageLine(Message::literal("a\nb"))), Message::literal("a b"));
}

TEST(MessageLine, RefusesWhatItDidNotWrite) {
    const std::string good = messageLine(Message(MessageId::CannotWrite, {Message::literal("/x")}));
    const std::string cases[] = {
        "",
        "download failed: timeout",
        good.substr(0, good.size() - 1), // cut short
        good + "x",                      // more than one message
        "zorvane-message:M0,0:",         // no message
        "zorvane-message:M99999,0:",     // no such identifier
        "zorvane-message:M3,1:L99:x",    // a value longer than the line
        "zorvane-message:M3,10:",        // too many values
        "zorvane-message:L",             // no length
    };
    for (const std::string& line : cases) {
        EXPECT_FALSE(readMessage(line).has_value()) << line;
    }
}

} // namespace
