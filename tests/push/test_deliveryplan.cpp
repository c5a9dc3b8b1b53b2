#include "push/deliveryplan.h"

#include <gtest/gtest.h>

namespace zorvane::push {
namespace {

using namespace std::chrono_literals;
using TimePoint = DeliveryPlan::TimePoint;

constexpr std::int64_t kNowUtc = 1796637600;
const TimePoint kStart{};

PushTarget target(TargetKind kind, TargetScope scope = TargetScope::Player) {
    PushTarget t;
    t.id = std::string(targetKindName(kind)) + "-id";
    t.name = "目标";
    t.kind = kind;
    t.url = kind == TargetKind::Discord ? "https://discord.com/api/webhooks/1/tok"
                                        : "https://ntfy.sh/topic_one";
    t.scope = scope;
    return t;
}

AlertEvent spawnIn(std::int64_t seconds, int n = 0) {
    return AlertEvent{AlertKind::Spawn, 0, "boss" + std::to_string(n), "", "", kNowUtc + seconds};
}

DeliveryPlan planFor(std::vector<PushTarget> targets, DeliveryPolicy policy = {}) {
    DeliveryPlan plan(policy);
    plan.configure(targets, std::vector<text::Message>(targets.size()));
    return plan;
}

void add(DeliveryPlan& plan, const AlertEvent& event, TimePoint now = kStart,
         DeliveryPlan::RoomDelay delay = {}) {
    plan.add(event, eventId(event), now, kNowUtc, delay);
}

TEST(DeliveryPlan, theSameAlertIsQueuedAndPostedOnce) {
    DeliveryPlan plan = planFor({target(TargetKind::Ntfy)});
    add(plan, spawnIn(600));
    add(plan, spawnIn(600));
    auto attempt = std::get<DeliveryPlan::Attempt>(plan.next(kStart, kNowUtc));
    EXPECT_EQ(plan.statuses()[0].waiting, 1);
    plan.finish(attempt, {}, kStart, kNowUtc);
    add(plan, spawnIn(600)); // fired again after it was delivered
    EXPECT_TRUE(std::holds_alternative<DeliveryPlan::Idle>(plan.next(kStart, kNowUtc)));
    EXPECT_EQ(plan.statuses()[0].delivered, 1);
}

TEST(DeliveryPlan, outOfDateAlertsAreDroppedAndSaidSo) {
    DeliveryPlan plan = planFor({target(TargetKind::Ntfy)});
    AlertEvent lead = spawnIn(120);
    lead.kind = AlertKind::LeadTime;
    lead.minutes = 2;
    add(plan, lead);
    add(plan, spawnIn(120, 1));
    // Both wait (say, behind a failing server) until the spawn has come.
    const auto step = plan.next(kStart, kNowUtc + 120);
    ASSERT_TRUE(std::holds_alternative<DeliveryPlan::Attempt>(step));
    EXPECT_EQ(std::get<DeliveryPlan::Attempt>(step).events[0].kind, AlertKind::Spawn);
    const TargetStatus status = plan.statuses()[0];
    EXPECT_EQ(status.dropped, 1);
    EXPECT_EQ(text::defaultText(status.lastError), "1 条提醒已过时，未发送");
    EXPECT_FALSE(status.ok);
}

TEST(DeliveryPlan, aFullQueueDropsItsOldestAlert) {
    DeliveryPolicy policy;
    policy.queueLimit = 3;
    DeliveryPlan plan = planFor({target(TargetKind::Ntfy)}, policy);
    for (int n = 0; n < 5; ++n) {
        add(plan, spawnIn(600, n));
    }
    const TargetStatus status = plan.statuses()[0];
    EXPECT_EQ(status.waiting, 3);
    EXPECT_EQ(status.dropped, 2);
    EXPECT_EQ(text::defaultText(status.lastError), "待发送的提醒过多，已丢弃 2 条");
    EXPECT_EQ(std::get<DeliveryPlan::Attempt>(plan.next(kStart, kNowUtc)).events[0].boss, "boss2");
}

TEST(DeliveryPlan, waitsAfterFailuresDoubleAndHonourTheServerWithinLimits) {
    DeliveryPolicy policy;
    policy.maxAttempts = 10;
    const struct {
        std::optional<std::chrono::milliseconds> serverWish;
        std::vector<std::chrono::milliseconds> waits;
    } cases[] = {
        {std::nullopt, {2s, 4s, 8s, 16s, 32s, 64s, 120s, 120s}},
        {1s, {2s, 4s, 8s}},               // a shorter wish does not shorten the back-off
        {30s, {30s, 30s, 30s, 30s, 32s}}, // a longer one is honoured
        {1h, {10min, 10min}},             // but not beyond ten minutes
    };
    for (const auto& c : cases) {
        DeliveryPlan plan = planFor({target(TargetKind::Json)}, policy);
        add(plan, spawnIn(24 * 3600));
        TimePoint now = kStart;
        for (const auto expected : c.waits) {
            auto attempt = std::get<DeliveryPlan::Attempt>(plan.next(now, kNowUtc));
            plan.finish(
                attempt,
                {AttemptResult::Outcome::Retry, text::Message::literal("down"), c.serverWish}, now,
                kNowUtc);
            const auto step = plan.next(now, kNowUtc);
            ASSERT_TRUE(std::holds_alternative<TimePoint>(step));
            EXPECT_EQ(std::get<TimePoint>(step) - now, expected);
            now = std::get<TimePoint>(step);
        }
    }
}

} // namespace
} // namespace zorvane::push
