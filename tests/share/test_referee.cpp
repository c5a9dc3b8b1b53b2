// The decisions on received kills and retractions, without a broker.

#include "share/referee.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace zorvane::share;

namespace {

constexpr std::int64_t kNoon = 1796817600; // 2026-12-09 12:00:00 UTC
constexpr std::int64_t kMinute = 60;

std::string idOf(int n) {
    std::string id = std::to_string(n);
    return std::string(32 - id.size(), '0') + id;
}

struct Kill {
    std::string boss = "Dragon";
    std::int64_t at = kNoon;
    std::string member = "alice";
    Standing standing = Standing::Member;
    int id = 1;
    std::int64_t sentDelay = 0; // seconds between the kill and its sending
    int period = 60;
    int client = 0; // tells apart clients of one shared account
};

KillEvent event(const Kill& k) {
    KillEvent e;
    e.boss = k.boss;
    e.periodMinutes = k.period;
    e.killUtcSeconds = k.at;
    e.nickname = k.member.empty() ? "legacy" : k.member;
    e.senderId = idOf(1000 + static_cast<int>(k.member.size()) + 100 * k.client);
    e.sentUtcMillis = (k.at + k.sentDelay) * 1000;
    e.eventId = idOf(k.id);
    e.member = k.member;
    e.standing = k.standing;
    return e;
}

struct Step {
    const char* what;
    Kill kill;
    std::int64_t now; // seconds
    Verdict verdict;
    std::optional<Refusal> refusal = std::nullopt;
    bool retained = false;
};

struct Scenario {
    const char* name;
    std::vector<Step> steps;
};

} // namespace

TEST(Referee, RefusesFutureEarlyAndFloodingKillsAndAppliesTheRest) {
    const std::int64_t later = kNoon + 3600;
    const Scenario scenarios[] = {
        {"times",
         {
             {"ten years ahead",
              {.at = kNoon + 10 * 365 * 86400, .id = 1, .sentDelay = -10 * 365 * 86400},
              kNoon,
              Verdict::Refused,
              Refusal::InFuture},
             {"one minute ahead is within the tolerance",
              {.at = kNoon + 60, .id = 2, .sentDelay = -60},
              kNoon,
              Verdict::Apply},
             {"61 s ahead is not",
              {.at = kNoon + 121, .id = 3, .sentDelay = -121},
              kNoon + 60,
              Verdict::Refused,
              Refusal::InFuture},
             {"a kill after its own sending",
              {.at = kNoon + 200, .id = 4, .sentDelay = -100},
              kNoon + 3000,
              Verdict::Refused,
              Refusal::InFuture},
             {"a kept old kill is fine",
              {.at = kNoon - 86400, .id = 5},
              kNoon,
              Verdict::Older,
              std::nullopt,
              true},
         }},
        {"re-kills",
         {
             {"alice's kill", {.at = kNoon, .member = "alice", .id = 1}, later, Verdict::Apply},
             {"bob 20 min later",
              {.at = kNoon + 20 * kMinute, .member = "bob", .id = 2},
              later,
              Verdict::Refused,
              Refusal::TooEarly},
             {"bob 53 min later (the rule less 6 min is 54)",
              {.at = kNoon + 53 * kMinute, .member = "bob", .id = 3},
              later,
              Verdict::Refused,
              Refusal::TooEarly},
             {"bob 54 min later",
              {.at = kNoon + 54 * kMinute, .member = "bob", .id = 4},
              later,
              Verdict::Apply},
         }},
        {"who may re-kill early",
         {
             {"alice's kill", {.at = kNoon, .member = "alice", .id = 1}, later, Verdict::Apply},
             {"alice corrects her own",
              {.at = kNoon + 10 * kMinute, .member = "alice", .id = 2},
              later,
              Verdict::Apply},
             {"an officer",
              {.at = kNoon + 20 * kMinute,
               .member = "olga",
               .standing = Standing::Officer,
               .id = 3},
              later,
              Verdict::Apply},
             {"the same kill told again 50 s later",
              {.at = kNoon + 20 * kMinute + 50, .member = "bob", .id = 4},
              later,
              Verdict::Apply},
             {"and 40 s earlier",
              {.at = kNoon + 20 * kMinute + 10, .member = "carol", .id = 5},
              later,
              Verdict::Older},
             {"the same event again",
              {.at = kNoon + 30 * kMinute, .member = "carol", .id = 5},
              later,
              Verdict::Duplicate},
         }},
        {"members of earlier versions",
         {
             {"a kill of an earlier version",
              {.at = kNoon, .member = "", .standing = Standing::Legacy, .id = 1},
              later,
              Verdict::Apply},
             {"guards nothing",
              {.at = kNoon + 5 * kMinute, .member = "bob", .id = 2},
              later,
              Verdict::Apply},
             {"but cannot reset a member's kill",
              {.at = kNoon + 10 * kMinute, .member = "", .standing = Standing::Legacy, .id = 3},
              later,
              Verdict::Refused,
              Refusal::TooEarly},
         }},
        {"clients sharing one account",
         {
             {"one client's kill",
              {.at = kNoon, .member = "guild", .standing = Standing::Unmanaged, .id = 1},
              later,
              Verdict::Apply},
             {"another client, too early",
              {.at = kNoon + 20 * kMinute,
               .member = "guild",
               .standing = Standing::Unmanaged,
               .id = 2,
               .client = 1},
              later,
              Verdict::Refused,
              Refusal::TooEarly},
             {"the first client corrects its own",
              {.at = kNoon + 10 * kMinute,
               .member = "guild",
               .standing = Standing::Unmanaged,
               .id = 3},
              later,
              Verdict::Apply},
         }},
        {"two members overrule a held row",
         {
             {"mallory's kill", {.at = kNoon, .member = "mallory", .id = 1}, later, Verdict::Apply},
             {"bob, too early",
              {.at = kNoon + 20 * kMinute, .member = "bob", .id = 2},
              later,
              Verdict::Refused,
              Refusal::TooEarly},
             {"bob again is still one member",
              {.at = kNoon + 21 * kMinute, .member = "bob", .id = 3},
              later,
              Verdict::Refused,
              Refusal::TooEarly},
             {"carol makes two",
              {.at = kNoon + 21 * kMinute + 30, .member = "carol", .id = 4},
              later,
              Verdict::Apply},
         }},
    };
    for (const Scenario& scenario : scenarios) {
        Referee referee;
        for (const Step& step : scenario.steps) {
            const Judgement judgement =
                referee.judgeKill(event(step.kill), step.now * 1000, step.retained);
            EXPECT_EQ(judgement.verdict, step.verdict) << scenario.name << ": " << step.what;
            EXPECT_EQ(judgement.refusal, step.refusal) << scenario.name << ": " << step.what;
            EXPECT_EQ(judgement.reason.empty(), !step.refusal.has_value())
                << scenario.name << ": " << step.what;
        }
    }
}

TEST(Referee, AMemberMaySendAFewKillsAMinuteOfficersAndOldMembersMore) {
    struct Case {
        const char* what;
        std::string member;
        Standing standing;
        int kills;
        std::int64_t spacing; // seconds between sendings
        bool retained;
        int refused;
    };
    const Case cases[] = {
        {"six a minute", "alice", Standing::Member, 6, 5, false, 0},
        {"the seventh and on are refused", "alice", Standing::Member, 9, 5, false, 3},
        {"spread over minutes", "alice", Standing::Member, 12, 11, false, 0},
        {"an officer", "olga", Standing::Officer, 12, 1, false, 0},
        {"earlier versions", "", Standing::Legacy, 12, 1, false, 0},
        {"kept kills by their own sending", "alice", Standing::Member, 12, 11, true, 0},
        {"kept kills sent together", "alice", Standing::Member, 8, 1, true, 2},
    };
    for (const Case& c : cases) {
        Referee referee;
        const std::int64_t now = kNoon + 7200;
        int refused = 0;
        for (int i = 0; i < c.kills; ++i) {
            // Each a different boss: no re-kills here.
            Kill k{.boss = "Boss " + std::to_string(i),
                   .at = kNoon + i * c.spacing,
                   .member = c.member,
                   .standing = c.standing,
                   .id = i + 1};
            const std::int64_t arrival = c.retained ? now : kNoon + i * c.spacing;
            const Judgement judgement = referee.judgeKill(event(k), arrival * 1000, c.retained);
            if (judgement.verdict == Verdict::Refused) {
                EXPECT_EQ(judgement.refusal, std::optional(Refusal::TooMany)) << c.what;
                ++refused;
            }
        }
        EXPECT_EQ(refused, c.refused) << c.what;
        const auto record = referee.member(c.member, c.standing);
        ASSERT_TRUE(record) << c.what;
        EXPECT_EQ(record->refused[static_cast<std::size_t>(Refusal::TooMany)],
                  static_cast<std::uint64_t>(c.refused))
            << c.what;
        EXPECT_EQ(record->accepted, static_cast<std::uint64_t>(c.kills - c.refused)) << c.what;
    }
}

// Two members who record the same boss within a second end with the same newest kill,
// whatever order the kills reach each of them in.
TEST(Referee, SimultaneousKillsEndTheSameOnEveryMember) {
    struct Case {
        const char* what;
        std::int64_t aliceAt;
        int aliceId;
        std::int64_t bobAt;
        int bobId;
        int winner; // event id number that stands
    };
    const Case cases[] = {
        {"same second, bob's id greater", kNoon, 7, kNoon, 9, 9},
        {"same second, alice's id greater", kNoon, 9, kNoon, 7, 9},
        {"a second apart, the later one", kNoon + 1, 3, kNoon, 9, 3},
    };
    for (const Case& c : cases) {
        const KillEvent aliceKill = event({.at = c.aliceAt, .member = "alice", .id = c.aliceId});
        const KillEvent bobKill = event({.at = c.bobAt, .member = "bob", .id = c.bobId});
        Referee alice;
        Referee bob;
        alice.noteOwnKill(aliceKill);
        bob.noteOwnKill(bobKill);
        alice.judgeKill(bobKill, (kNoon + 5) * 1000, false);
        bob.judgeKill(aliceKill, (kNoon + 5) * 1000, false);
        const KillKey key{"", "Dragon", ""};
        ASSERT_TRUE(alice.newest(key) && bob.newest(key)) << c.what;
        EXPECT_EQ(alice.newest(key)->eventId, idOf(c.winner)) << c.what;
        EXPECT_EQ(bob.newest(key)->eventId, idOf(c.winner)) << c.what;
        // A third member hearing both, in either order, agrees.
        for (const bool aliceFirst : {true, false}) {
            Referee carol;
            carol.judgeKill(aliceFirst ? aliceKill : bobKill, (kNoon + 5) * 1000, false);
            carol.judgeKill(aliceFirst ? bobKill : aliceKill, (kNoon + 5) * 1000, false);
            EXPECT_EQ(carol.newest(key)->eventId, idOf(c.winner)) << c.what << aliceFirst;
        }
    }
}

TEST(Referee, RetractionsPutTheRowBackAndOnlyOfficersTakeBackOthersKills) {
    const std::int64_t later = kNoon + 86400;
    const KillKey key{"", "Dragon", ""};
    const auto retraction = [&](int target, const std::string& of, int id) {
        Retraction r;
        r.targetEventId = idOf(target);
        r.targetMember = of;
        r.key = key;
        r.killUtcSeconds = kNoon;
        r.nickname = "n";
        r.senderId = idOf(5000);
        r.sentUtcMillis = later * 1000;
        r.eventId = idOf(id);
        return r;
    };
    Referee referee;
    ASSERT_EQ(
        referee.judgeKill(event({.at = kNoon, .member = "alice", .id = 1}), later * 1000, false)
            .verdict,
        Verdict::Apply);
    ASSERT_EQ(referee
                  .judgeKill(event({.at = kNoon + 3600, .member = "mallory", .id = 2}),
                             later * 1000, false)
                  .verdict,
              Verdict::Apply);

    // Bob may not take back Mallory's kill, even claiming it is his.
    RetractionJudgement judgement =
        referee.judgeRetraction(retraction(2, "bob", 100), "bob", Standing::Member);
    EXPECT_EQ(judgement.verdict, Verdict::Refused);
    EXPECT_EQ(judgement.refusal, std::optional(Refusal::NotTheirs));
    EXPECT_EQ(referee.newest(key)->eventId, idOf(2));

    // An officer may: the row goes back to Alice's kill.
    judgement = referee.judgeRetraction(retraction(2, "mallory", 101), "olga", Standing::Officer);
    EXPECT_EQ(judgement.verdict, Verdict::Apply);
    ASSERT_TRUE(judgement.target && judgement.restored);
    EXPECT_EQ(judgement.target->member, "mallory");
    EXPECT_TRUE(judgement.wasNewest);
    EXPECT_EQ(judgement.restored->eventId, idOf(1));
    EXPECT_EQ(referee.newest(key)->eventId, idOf(1));
    EXPECT_EQ(
        referee.judgeRetraction(retraction(2, "mallory", 101), "olga", Standing::Officer).verdict,
        Verdict::Duplicate);
    // The retracted kill told again changes nothing.
    EXPECT_EQ(referee
                  .judgeKill(event({.at = kNoon + 3600, .member = "mallory", .id = 2}),
                             later * 1000, true)
                  .verdict,
              Verdict::Duplicate);

    // Alice takes back her own: nothing is left.
    judgement = referee.judgeRetraction(retraction(1, "alice", 102), "alice", Standing::Member);
    EXPECT_EQ(judgement.verdict, Verdict::Apply);
    EXPECT_TRUE(judgement.wasNewest);
    EXPECT_FALSE(judgement.restored);
    EXPECT_FALSE(referee.newest(key));

    // A retraction that comes before its kill (a member catching up): the kill never shows.
    EXPECT_EQ(referee.judgeRetraction(retraction(3, "bob", 103), "bob", Standing::Member).verdict,
              Verdict::Apply);
    EXPECT_EQ(
        referee.judgeKill(event({.at = kNoon + 7200, .member = "bob", .id = 3}), later * 1000, true)
            .verdict,
        Verdict::Retracted);
    // One that claimed a kill of another member's: the kill stands, and the claim is counted.
    EXPECT_EQ(referee.judgeRetraction(retraction(4, "bob", 104), "bob", Standing::Member).verdict,
              Verdict::Apply);
    EXPECT_EQ(
        referee
            .judgeKill(event({.at = kNoon + 7200, .member = "carol", .id = 4}), later * 1000, true)
            .verdict,
        Verdict::Apply);

    const auto bob = referee.member("bob", Standing::Member);
    ASSERT_TRUE(bob);
    EXPECT_EQ(bob->refused[static_cast<std::size_t>(Refusal::NotTheirs)], 2U);
    EXPECT_EQ(bob->retractions, 2U);
    EXPECT_EQ(referee.member("olga", Standing::Officer)->retractions, 1U);
    EXPECT_EQ(referee.member("olga", Standing::Officer)->standing, Standing::Officer);
}

TEST(Referee, ABossNotInTheTableIsJudgedByTheShorterRuleOfTheTwoKills) {
    struct Case {
        std::optional<int> tableRule;
        int anchorPeriod;
        int newPeriod;
        std::int64_t gapMinutes;
        Verdict verdict;
    };
    const Case cases[] = {
        {std::nullopt, 600, 600, 120, Verdict::Refused},
        // Claiming a long rule does not let a member hold the row...
        {std::nullopt, 100000, 60, 120, Verdict::Apply},
        // A short claim moves the offer of a boss the table lacks; rows go by the table.
        {std::nullopt, 600, 1, 120, Verdict::Apply},
        // The table's own rule wins over both.
        {600, 1, 1, 120, Verdict::Refused},
        {60, 600, 600, 120, Verdict::Apply},
    };
    for (const Case& c : cases) {
        Referee referee;
        if (c.tableRule) {
            referee.setRules({{"Dragon", *c.tableRule}});
        }
        const std::int64_t now = (kNoon + 86400) * 1000;
        referee.judgeKill(
            event({.at = kNoon, .member = "alice", .id = 1, .period = c.anchorPeriod}), now, false);
        const Judgement judgement = referee.judgeKill(event({.at = kNoon + c.gapMinutes * kMinute,
                                                             .member = "bob",
                                                             .id = 2,
                                                             .period = c.newPeriod}),
                                                      now, false);
        EXPECT_EQ(judgement.verdict, c.verdict)
            << c.tableRule.value_or(-1) << " " << c.anchorPeriod << " " << c.newPeriod;
    }
}

// A kill that arrives after a newer one changes nothing, but a retraction of the newer one
// goes back to it: arrival order does not decide what a row returns to.
TEST(Referee, ARetractionGoesBackToAnOlderKillThatCameLater) {
    Referee referee;
    const std::int64_t later = (kNoon + 86400) * 1000;
    referee.noteOwnKill(event({.at = kNoon + 7200, .member = "rita", .id = 2}));
    ASSERT_EQ(
        referee.judgeKill(event({.at = kNoon, .member = "rudi", .id = 1}), later, false).verdict,
        Verdict::Older);
    Retraction r;
    r.targetEventId = idOf(2);
    r.targetMember = "rita";
    r.key = {"", "Dragon", ""};
    r.killUtcSeconds = kNoon + 7200;
    r.nickname = "olga";
    r.senderId = idOf(9000);
    r.sentUtcMillis = later;
    r.eventId = idOf(3);
    const RetractionJudgement judgement = referee.judgeRetraction(r, "olga", Standing::Officer);
    ASSERT_TRUE(judgement.restored);
    EXPECT_EQ(judgement.restored->eventId, idOf(1));
}
