#include "push/alertevent.h"

#include <gtest/gtest.h>

#include <set>

namespace zorvane::push {
namespace {

constexpr std::int64_t kDue = 1796638500; // 2026-12-07 10:15:00 UTC

AlertEvent blackDragon() {
    return AlertEvent{AlertKind::LeadTime, 5, "黑龙", "3线", "二区", kDue};
}

TEST(AlertEvent, idDependsOnEveryFieldThatNamesTheEventAndNothingElse) {
    const std::string base = eventId(blackDragon());
    EXPECT_EQ(base.size(), 32u);
    // Blanks around the names do not count.
    EXPECT_EQ(base, eventId(AlertEvent{AlertKind::LeadTime, 5, " 黑龙 ", "3线 ", " 二区", kDue}));

    std::set<std::string> ids{base};
    const std::vector<AlertEvent> variants = {
        {AlertKind::Spawn, 5, "黑龙", "3线", "二区", kDue},
        {AlertKind::LeadTime, 10, "黑龙", "3线", "二区", kDue},
        {AlertKind::LeadTime, 5, "火龙", "3线", "二区", kDue},
        {AlertKind::LeadTime, 5, "黑龙", "4线", "二区", kDue},
        {AlertKind::LeadTime, 5, "黑龙", "3线", "一区", kDue},
        {AlertKind::LeadTime, 5, "黑龙", "3线", "二区", kDue + 1},
        // Fields that run into each other must not collide.
        {AlertKind::LeadTime, 5, "黑龙 3线", "", "二区", kDue},
        {AlertKind::LeadTime, 5, "黑龙", "", "3线二区", kDue},
    };
    for (const AlertEvent& variant : variants) {
        EXPECT_TRUE(ids.insert(eventId(variant)).second) << variant.boss << variant.line;
    }
}

// Members running different versions must keep deriving the same id for the same event.
TEST(AlertEvent, idIsStableAcrossVersions) {
    EXPECT_EQ(eventId(blackDragon()), "8c5ef008408c6854247ba11f95e706bd");
}

TEST(AlertEvent, labelNamesLineAndServerWhenThereAreAny) {
    const struct {
        const char* line;
        const char* server;
        const char* label;
    } cases[] = {
        {"3线", "二区", "黑龙 3线 @ 二区"},
        {"", "二区", "黑龙 @ 二区"},
        {"3线", "", "黑龙 3线"},
        {" ", "", "黑龙"},
    };
    for (const auto& c : cases) {
        AlertEvent event = blackDragon();
        event.line = c.line;
        event.server = c.server;
        EXPECT_EQ(bossLabel(event), c.label);
    }
}

TEST(AlertEvent, titleSaysTheTrueTimeAtSending) {
    const struct {
        AlertKind kind;
        int minutes;
        std::int64_t now; // seconds relative to the due instant
        const char* title;
    } cases[] = {
        {AlertKind::LeadTime, 5, -300, "黑龙 3线 @ 二区 5 分钟后刷新"},
        // Sent late after retries: what is left, not what it fired with.
        {AlertKind::LeadTime, 5, -130, "黑龙 3线 @ 二区 2 分钟后刷新"},
        {AlertKind::LeadTime, 5, -59, "黑龙 3线 @ 二区 59 秒后刷新"},
        {AlertKind::WindowOpen, 0, 0, "黑龙 3线 @ 二区 刷新窗口已开启"},
        {AlertKind::Spawn, 0, 0, "黑龙 3线 @ 二区 现在刷新"},
        {AlertKind::Unrecorded, 10, 11 * 60 + 5, "黑龙 3线 @ 二区 已刷新 11 分钟，仍未记录击杀"},
    };
    for (const auto& c : cases) {
        AlertEvent event = blackDragon();
        event.kind = c.kind;
        event.minutes = c.minutes;
        EXPECT_EQ(text::defaultText(eventTitle(event, kDue + c.now)), c.title);
    }
}

TEST(AlertEvent, expiresWhenNoLongerWorthSending) {
    const struct {
        AlertKind kind;
        int minutes;
        std::int64_t expiresAfterDue;
    } cases[] = {
        {AlertKind::LeadTime, 5, 0},
        {AlertKind::Spawn, 0, 15 * 60},
        {AlertKind::WindowOpen, 0, 30 * 60},
        {AlertKind::Unrecorded, 10, 40 * 60},
    };
    for (const auto& c : cases) {
        AlertEvent event = blackDragon();
        event.kind = c.kind;
        event.minutes = c.minutes;
        EXPECT_EQ(expiresUtc(event) - kDue, c.expiresAfterDue) << kindName(c.kind);
    }
}

TEST(AlertEvent, kindNamesReadBack) {
    for (const AlertKind kind : kAlertKinds) {
        EXPECT_EQ(kindFromName(kindName(kind)), kind);
    }
    EXPECT_EQ(kindFromName("Spawn"), std::nullopt);
    EXPECT_EQ(kindFromName(""), std::nullopt);
}

} // namespace
} // namespace zorvane::push
