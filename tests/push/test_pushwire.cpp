#include "push/pushwire.h"

#include <gtest/gtest.h>

#include <string>

namespace push = zorvane::push;
namespace text = zorvane::text;

namespace {

TEST(PushWire, AlertsCrossWhole) {
    const push::AlertEvent events[] = {
        {push::AlertKind::LeadTime, 5, "火龙", "3线", "二区", 1900000000},
        {push::AlertKind::Spawn, 0, "a \"quoted\"\nboss", "", "", 0},
        {push::AlertKind::Unrecorded, 10, "黑龙", "", "", -5},
    };
    for (const push::AlertEvent& event : events) {
        const std::string line = push::alertLine(event);
        ASSERT_EQ(line.back(), '\n');
        EXPECT_EQ(line.find('\n'), line.size() - 1) << "one line per alert";
        const auto command = push::readCommand(line.substr(0, line.size() - 1));
        ASSERT_TRUE(command) << line;
        EXPECT_EQ(command->kind, push::HelperCommand::Kind::Alert);
        EXPECT_EQ(command->event.kind, event.kind);
        EXPECT_EQ(command->event.minutes, event.minutes);
        EXPECT_EQ(command->event.boss, event.boss);
        EXPECT_EQ(command->event.line, event.line);
        EXPECT_EQ(command->event.server, event.server);
        EXPECT_EQ(command->event.dueUtc, event.dueUtc);
    }
    const auto reload = push::readCommand(push::reloadLine());
    ASSERT_TRUE(reload);
    EXPECT_EQ(reload->kind, push::HelperCommand::Kind::Reload);
}

TEST(PushWire, StatusesCrossWithTheirReason) {
    push::TargetStatus status;
    status.targetId = "0123456789abcdef";
    status.name = "公会频道";
    status.shownUrl = "https://discord.com/…";
    status.delivered = 3;
    status.waiting = 1;
    status.failed = 2;
    status.dropped = 4;
    status.relayed = 5;
    status.ok = false;
    status.lastError = text::Message(
        text::MessageId::PushHttpStatusDetail,
        {text::Message::literal("404"), text::Message::literal("Unknown Webhook\nsecond line")});
    status.lastErrorUtc = 1700000000;
    status.lastDeliveredUtc = 1699999999;
    const auto report = push::readReport(push::statusLine(status));
    ASSERT_TRUE(report);
    ASSERT_EQ(report->kind, push::HelperReport::Kind::Status);
    const push::TargetStatus& got = report->status;
    EXPECT_EQ(got.targetId, status.targetId);
    EXPECT_EQ(got.name, status.name);
    EXPECT_EQ(got.shownUrl, status.shownUrl);
    EXPECT_EQ(got.delivered, 3);
    EXPECT_EQ(got.waiting, 1);
    EXPECT_EQ(got.failed, 2);
    EXPECT_EQ(got.dropped, 4);
    EXPECT_EQ(got.relayed, 5);
    EXPECT_FALSE(got.ok);
    EXPECT_EQ(got.lastError.id, text::MessageId::PushHttpStatusDetail);
    EXPECT_EQ(text::defaultText(got.lastError), "服务器回答 HTTP 404：Unknown Webhook second line");
    EXPECT_EQ(got.lastErrorUtc, 1700000000);
    EXPECT_EQ(got.lastDeliveredUtc, 1699999999);

    // A target that never failed.
    push::TargetStatus fine;
    fine.targetId = "t";
    fine.delivered = 1;
    const auto fineReport = push::readReport(push::statusLine(fine));
    ASSERT_TRUE(fineReport);
    EXPECT_TRUE(fineReport->status.ok);
    EXPECT_TRUE(fineReport->status.lastError.empty());
    EXPECT_EQ(fineReport->status.delivered, 1);

    const auto problem = push::readReport(push::problemLine(text::Message(
        text::MessageId::PushSettingsUnreadable, {text::Message::literal("push.json")})));
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->kind, push::HelperReport::Kind::Problem);
    EXPECT_EQ(text::defaultText(problem->problem), "无法读取推送设置 push.json");
}

TEST(PushWire, RelayLinesCrossBothWaysAndOnlyWhole) {
    using Kind = push::RelayLine::Kind;
    const push::RelayLine lines[] = {
        {Kind::Join, "iron wolves", std::string(32, 'a'), ""},
        {Kind::Presence, "", std::string(32, 'b'), R"({"v":1,"relay":"…"})"},
        {Kind::Presence, "", std::string(32, 'b'), ""},
        {Kind::Claim, "", "", "{\"v\":1}\n"},
        {Kind::Lost, "", "", ""},
    };
    for (const push::RelayLine& relay : lines) {
        const std::string line = push::relayLine(relay);
        ASSERT_EQ(line.find('\n'), line.size() - 1) << line;
        const auto command = push::readCommand(line);
        ASSERT_TRUE(command) << line;
        EXPECT_EQ(command->kind, push::HelperCommand::Kind::Relay);
        EXPECT_EQ(command->relay, relay) << line;
        const auto report = push::readReport(line);
        ASSERT_TRUE(report) << line;
        EXPECT_EQ(report->kind, push::HelperReport::Kind::Relay);
        EXPECT_EQ(report->relay, relay) << line;
    }
    for (const char* bad :
         {R"({"relay":{"kind":"join","room":"r","id":"a"}})",
          R"({"relay":{"kind":"leave","room":"","id":"","payload":""}})",
          R"({"relay":{"kind":"lost","room":1,"id":"","payload":""}})", R"({"relay":"lost"})"}) {
        EXPECT_FALSE(push::readCommand(bad)) << bad;
        EXPECT_FALSE(push::readReport(bad)) << bad;
    }
}

TEST(PushWire, LinesThatAreNoneAreRefused) {
    const std::string good =
        R"({"kind":"spawn","minutes":0,"boss":"b","line":"","server":"","due":1})";
    const struct {
        const char* what;
        std::string line;
    } commands[] = {
        {"empty", ""},
        {"not JSON", "alert spawn"},
        {"an array", "[1,2]"},
        {"no alert", R"({"other":1})"},
        {"alert not an object", R"({"alert":"spawn"})"},
        {"unknown kind",
         R"({"alert":{"kind":"party","minutes":0,"boss":"b","line":"","server":"","due":1}})"},
        {"minutes as text",
         R"({"alert":{"kind":"lead","minutes":"5","boss":"b","line":"","server":"","due":1}})"},
        {"no due", R"({"alert":{"kind":"lead","minutes":5,"boss":"b","line":"","server":""}})"},
        {"due as fraction",
         R"({"alert":{"kind":"lead","minutes":5,"boss":"b","line":"","server":"","due":1.5}})"},
        {"too long", R"({"alert":)" + good.substr(0, good.size() - 1) + R"(,"pad":")" +
                         std::string(push::kMaxWireLine, 'x') + "\"}}"},
    };
    for (const auto& c : commands) {
        EXPECT_FALSE(push::readCommand(c.line)) << c.what;
    }
    EXPECT_TRUE(push::readCommand(R"({"alert":)" + good + "}")) << "the table's good line";

    const struct {
        const char* what;
        std::string line;
    } reports[] = {
        {"empty", ""},
        {"a command", push::reloadLine()},
        {"problem not a message", R"({"problem":"plain words"})"},
        {"status without ok",
         R"({"status":{"target":"t","name":"n","url":"u","delivered":0,"waiting":0,"failed":0,"dropped":0,"relayed":0,"error":"","errorUtc":0,"deliveredUtc":0}})"},
    };
    for (const auto& c : reports) {
        EXPECT_FALSE(push::readReport(c.line)) << c.what;
    }
}

} // namespace
