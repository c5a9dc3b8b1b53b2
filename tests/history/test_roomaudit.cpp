#include "history/roomaudit.h"

#include "history/killhistory.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace zorvane;
using history::AuditEntry;
using history::AuditKind;
using history::AuditTally;
using history::RoomAuditLog;
using zorvane::testing::TempDir;

namespace {

AuditEntry entry(std::int64_t at, AuditKind kind, std::string member, std::string boss,
                 std::string reason = {}) {
    AuditEntry e;
    e.atUtcMillis = at;
    e.room = "guild";
    e.kind = kind;
    e.member = member;
    e.nickname = member + "-nick";
    e.officer = member == "olga";
    e.boss = std::move(boss);
    e.killUtcSeconds = at / 1000 - 60;
    e.eventId = std::string(31, 'e') + std::to_string(at % 10);
    e.reason = std::move(reason);
    return e;
}

} // namespace

// Who recorded, retracted and was refused what, kept beside the kill history and read back
// per room, per boss and per member.
TEST(RoomAudit, TheTrailKeepsWhoDidWhatBesideTheKillHistory) {
    TempDir dir;
    const std::filesystem::path file = dir.path() / "history.sqlite";
    history::SqliteKillLog kills(file);
    kills.recordKill({"Dragon", 1796000000, 60, 0, schedule::KillSource::Remote, "rita-nick"});
    AuditEntry retraction = entry(4000, AuditKind::Retracted, "olga", "Dragon");
    retraction.targetEventId = std::string(31, 'e') + "1";
    retraction.targetMember = "rita";
    const std::vector<AuditEntry> entries = {
        entry(1001, AuditKind::Accepted, "rita", "Dragon"),
        entry(2002, AuditKind::Refused, "rita", "Hydra", "too-early"),
        entry(3003, AuditKind::Refused, "rita", "Golem", "in-future"),
        retraction,
        entry(5005, AuditKind::Recorded, "", "Dragon"),
        entry(6006, AuditKind::Refused, "rita", "Dragon", "too-early"),
    };
    {
        RoomAuditLog audit(file);
        for (const AuditEntry& e : entries) {
            audit.record(e);
        }
        AuditEntry elsewhere = entries[0];
        elsewhere.room = "other";
        audit.record(elsewhere);
        ASSERT_TRUE(audit.flush()) << text::defaultText(audit.notice());
    }
    // Read back by a new log, as after a restart; the kill history is untouched.
    RoomAuditLog audit(file);
    const std::vector<AuditEntry> recent = audit.recent("guild", 10);
    ASSERT_EQ(recent.size(), entries.size());
    EXPECT_EQ(recent.front(), entries.back());
    EXPECT_EQ(recent[2], retraction);
    EXPECT_EQ(audit.recent("guild", 2).size(), 2U);
    const std::vector<AuditEntry> dragon = audit.ofBoss("guild", "Dragon", 10);
    ASSERT_EQ(dragon.size(), 4U);
    EXPECT_EQ(dragon.back(), entries[0]);

    const std::vector<AuditTally> tallies = audit.tallies("guild");
    ASSERT_EQ(tallies.size(), 3U);
    EXPECT_EQ(tallies[0], (AuditTally{"", "-nick", 1, 0, {}}));
    EXPECT_EQ(tallies[1], (AuditTally{"olga", "olga-nick", 0, 1, {}}));
    EXPECT_EQ(tallies[2],
              (AuditTally{"rita", "rita-nick", 1, 0, {{"in-future", 1}, {"too-early", 2}}}));
    EXPECT_EQ(kills.recentKills("Dragon", 5).size(), 1U);
}

TEST(RoomAudit, ADatabaseThatCannotBeOpenedIsToldAndTriedAgain) {
    TempDir dir;
    const std::filesystem::path file = dir.path() / "history.sqlite";
    std::filesystem::create_directory(file);
    RoomAuditLog audit(file);
    audit.record(entry(1001, AuditKind::Accepted, "rita", "Dragon"));
    EXPECT_FALSE(audit.flush());
    EXPECT_EQ(audit.notice().id, text::MessageId::RoomAuditCannotWrite);
    EXPECT_TRUE(audit.recent("guild", 5).empty());
    // Mended while running: what waited is kept with the next entries, each once.
    std::filesystem::remove(file);
    audit.record(entry(2002, AuditKind::Accepted, "rita", "Dragon"));
    EXPECT_TRUE(audit.flush());
    EXPECT_TRUE(audit.notice().empty());
    const std::vector<AuditEntry> kept = audit.recent("guild", 5);
    ASSERT_EQ(kept.size(), 2U);
    EXPECT_EQ(kept[0].atUtcMillis, 2002);
    EXPECT_EQ(kept[1].atUtcMillis, 1001);
    EXPECT_TRUE(audit.flush());
    EXPECT_EQ(audit.recent("guild", 5).size(), 2U);
}
