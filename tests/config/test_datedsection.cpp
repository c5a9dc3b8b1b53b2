// The dated last times in config.ini and the last-seen moment in session.ini.

#include "config/configfiles.h"
#include "config/inifile.h"
#include "config/sessionfile.h"
#include "schedule/away.h"
#include "schedule/cycle.h"
#include "schedule/serverzone.h"
#include "schedule/spawnrule.h"
#include "tests/support/tempdir.h"
#include "text/codec.h"

#include "tests/support/timezone.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

using namespace zorvane::config;
using namespace zorvane::schedule;
using zorvane::testing::readBytes;
using zorvane::testing::TempDir;
using zorvane::testing::writeBytes;
using zorvane::text::gb18030ToUtf8;
using zorvane::text::utf8ToGb18030;

namespace {

UtcSeconds utc(DateTimeParts local) {
    return toUtc(makeDateTime(local));
}

std::string tableFile(std::string_view lastTime, std::string_view dated) {
    std::string text =
        "[set]\r\n预警=5\r\n[序号]\r\n1=1\r\n[使用]\r\n1=真\r\n[BOSS事件]\r\n1=火龙\r\n"
        "[周期]\r\n1=90\r\n[延迟]\r\n1=\r\n[上次时间]\r\n1=";
    text += lastTime;
    text += "\r\n[下次时间]\r\n1=11:30:00\r\n";
    if (!dated.empty()) {
        text += "[LastKillUtc]\r\n1=";
        text += dated;
        text += "\r\n";
    }
    return utf8ToGb18030(text);
}

TEST(DatedSection, AStoredInstantCountsOnlyWhenItAgreesWithTheText) {
    const UtcSeconds twoDaysAgo = utc({2026, 12, 5, 10, 0, 0});
    const UtcSeconds nineFive = utc({2026, 12, 6, 9, 5, 0});
    struct Case {
        const char* name;
        std::string last;
        std::string dated; // "" leaves the section out
        std::optional<UtcSeconds> expected;
    };
    const Case cases[] = {
        {"older file without the section", "10:00:00", "", std::nullopt},
        {"agrees", "10:00:00", utcText(twoDaysAgo), twoDaysAgo},
        {"agrees with a loosely typed time", "9:5:0", utcText(nineFive), nineFive},
        {"text edited by hand since", "11:00:00", utcText(twoDaysAgo), std::nullopt},
        {"not a date", "10:00:00", "yesterday", std::nullopt},
        {"no such day", "10:00:00", "2026-02-30T10:00:00Z", std::nullopt},
        {"no time in the text", "soon", utcText(twoDaysAgo), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        writeBytes(tableFilePath(dir.path()), tableFile(c.last, c.dated));
        BossTable table;
        loadTable(table, dir.path());
        ASSERT_EQ(table.rowCount(), 2);
        // The texts load exactly as stored, whatever the dated section says.
        EXPECT_EQ(table.cellText(1, kLastTimeColumn), c.last);
        EXPECT_EQ(table.cellText(1, kNextTimeColumn), "11:30:00");
        EXPECT_TRUE(table.checkState(1));
        EXPECT_EQ(table.timing(1)->periodMinutes, 90);
        EXPECT_EQ(table.timing(1)->lastUtc, c.expected);
    }
}

TEST(DatedSection, OlderFilesTakeTheirDateFromTheTimeOfDay) {
    TempDir dir;
    writeBytes(tableFilePath(dir.path()), tableFile("23:00:00", ""));
    BossTable table;
    loadTable(table, dir.path());
    dateUndatedRows(table, utc({2026, 12, 8, 0, 10, 0}));
    EXPECT_EQ(table.timing(1)->lastUtc, utc({2026, 12, 7, 23, 0, 0}));
}

TEST(DatedSection, SavedInTheSameWriteAndReadBack) {
    TempDir dir;
    writeBytes(tableFilePath(dir.path()), tableFile("10:00:00", ""));
    BossTable table;
    loadTable(table, dir.path());
    const UtcSeconds killed = utc({2026, 12, 5, 10, 0, 0});
    table.setLastInstantIf(table.rowId(1), "10:00:00", killed);
    const int undated = table.appendRow();
    table.setCellTexts(table.rowId(undated), {{kPeriodColumn, "30"}, {kLastTimeColumn, "abc"}});
    ASSERT_TRUE(saveTable(table, dir.path()));

    const std::string text = gb18030ToUtf8(readBytes(tableFilePath(dir.path())));
    // The older sections come first and hold what they always held.
    EXPECT_TRUE(
        text.starts_with("[set]\r\n预警=5\r\n[序号]\r\n1=1\r\n2=2\r\n[使用]\r\n1=真\r\n2=假\r\n"));
    EXPECT_NE(text.find("[上次时间]\r\n1=10:00:00\r\n2=abc\r\n"), std::string::npos);
    EXPECT_NE(text.find("[LastKillUtc]\r\n1=" + utcText(killed) + "\r\n2=\r\n"), std::string::npos);
    // Beside each instant, the offset its clock-time text was written at.
    EXPECT_TRUE(text.ends_with(
        "[LastKillOffset]\r\n1=" + std::to_string(ServerZone::local().offsetAt(killed)) +
        "\r\n2=\r\n"));
    EXPECT_EQ(readIniValue(tableFilePath(dir.path()), "LastKillUtc", "1"), utcText(killed));

    BossTable reloaded;
    loadTable(reloaded, dir.path());
    EXPECT_EQ(reloaded.timing(1)->lastUtc, killed);
    EXPECT_FALSE(reloaded.timing(2)->lastUtc.has_value());

    // Deleting the first row renumbers the dated keys with the others.
    ConfigTableStore store(dir.path());
    reloaded.deleteRow(1);
    reloaded.setCellText(1, kNumberColumn, "1");
    store.rewriteTable(reloaded);
    EXPECT_EQ(readSectionKeys(tableFilePath(dir.path()), "LastKillUtc"),
              (std::vector<std::string>{"1"}));
    EXPECT_EQ(readIniValue(tableFilePath(dir.path()), "LastKillUtc", "1"), "");
}

TEST(LeadTimesSection, OwnListsRoundTripAndLeaveTheOtherSectionsAlone) {
    TempDir dir;
    writeBytes(tableFilePath(dir.path()), tableFile("10:00:00", ""));
    BossTable table;
    loadTable(table, dir.path());
    table.appendRow();
    table.appendRow();
    table.appendRow();
    ASSERT_TRUE(saveTable(table, dir.path()));
    const std::string before = gb18030ToUtf8(readBytes(tableFilePath(dir.path())));
    EXPECT_EQ(before.find("LeadTimes"), std::string::npos) << "no own list, no section";

    table.setLeadMinutes(table.rowId(1), std::vector<int>{10, 1});
    table.setLeadMinutes(table.rowId(2), std::vector<int>{});
    ASSERT_TRUE(saveTable(table, dir.path()));
    const std::string after = gb18030ToUtf8(readBytes(tableFilePath(dir.path())));
    EXPECT_EQ(after, before + "[LeadTimes]\r\n1=10, 1\r\n2=-\r\n3=\r\n4=\r\n");

    // What a hand edit left unreadable follows the preferences.
    const std::string lastKey = "4=\r\n";
    ASSERT_TRUE(after.ends_with(lastKey));
    writeBytes(tableFilePath(dir.path()),
               utf8ToGb18030(after.substr(0, after.size() - lastKey.size()) + "4=abc\r\n"));
    BossTable reloaded;
    loadTable(reloaded, dir.path());
    struct Case {
        int row;
        std::optional<std::vector<int>> own;
    };
    for (const Case& c : {Case{1, std::vector<int>{10, 1}}, Case{2, std::vector<int>{}},
                          Case{3, std::nullopt}, Case{4, std::nullopt}}) {
        SCOPED_TRACE(c.row);
        EXPECT_EQ(reloaded.timing(c.row)->leadMinutes, c.own);
    }

    // Deleting the first row renumbers the lists with the rows.
    reloaded.deleteRow(1);
    ConfigTableStore store(dir.path());
    store.rewriteTable(reloaded);
    EXPECT_EQ(readIniValue(tableFilePath(dir.path()), "LeadTimes", "1"), "-");
    EXPECT_EQ(readIniValue(tableFilePath(dir.path()), "LeadTimes", "4"), "");
}

TEST(SessionFile, LastSeenRoundTripsAndBadValuesReadAsUnknown) {
    TempDir dir;
    EXPECT_FALSE(readLastSeen(dir.path()).has_value());
    const UtcSeconds seen = utc({2026, 12, 7, 23, 59, 59});
    ASSERT_TRUE(writeLastSeen(dir.path(), seen));
    EXPECT_EQ(readLastSeen(dir.path()), seen);
    for (const char* bad : {"", "2026-12-07 23:59:59", "2026-13-01T00:00:00Z", "junk"}) {
        SCOPED_TRACE(bad);
        ASSERT_TRUE(writeIniValue(sessionFilePath(dir.path()), "session", "lastSeenUtc", bad));
        EXPECT_FALSE(readLastSeen(dir.path()).has_value());
    }
}

} // namespace

// The same files read on a computer whose zone changed: every boss keeps its instant and
// its texts are made again on the new clock; a text another program changed still loses
// its date; and the way back gives the first file byte for byte.
TEST(DatedSection, AChangedZoneMovesNoBoss) {
    const UtcSeconds killed = *parseUtcText("2026-12-08T09:00:00Z");
    const UtcSeconds nextKilled = *parseUtcText("2026-12-08T11:00:00Z");
    TempDir dir;
    std::string written;
    {
        const zorvane::testing::ScopedTimeZone berlin("Europe/Berlin");
        writeBytes(tableFilePath(dir.path()), tableFile("10:00:00", ""));
        BossTable table;
        loadTable(table, dir.path());
        table.setDatedCellTextsIf(table.rowId(1), {},
                                  {{kLastTimeColumn, "10:00:00"}, {kNextTimeColumn, "11:30:00"}},
                                  killed);
        const int second = table.appendRow();
        table.setDatedCellTextsIf(
            table.rowId(second), {},
            {{kPeriodColumn, "60"}, {kLastTimeColumn, "12:00:00"}, {kNextTimeColumn, "13:00:00"}},
            nextKilled);
        ASSERT_TRUE(saveTable(table, dir.path()));
        written = readBytes(tableFilePath(dir.path()));
    }
    struct Case {
        const char* zone;
        const char* last;
        const char* next;
    };
    const Case cases[] = {
        {"Asia/Shanghai", "17:00:00", "18:30:00"},
        {"America/New_York", "04:00:00", "05:30:00"},
        {"UTC", "09:00:00", "10:30:00"},
        {"Europe/Berlin", "10:00:00", "11:30:00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.zone);
        const zorvane::testing::ScopedTimeZone tz(c.zone);
        writeBytes(tableFilePath(dir.path()), written);
        BossTable table;
        loadTable(table, dir.path());
        ASSERT_EQ(table.rowCount(), 3);
        EXPECT_EQ(table.timing(1)->lastUtc, killed);
        EXPECT_EQ(table.timing(2)->lastUtc, nextKilled);
        EXPECT_EQ(table.cellText(1, kLastTimeColumn), c.last);
        EXPECT_EQ(table.cellText(1, kNextTimeColumn), c.next);
        // Dated again from its text, a row would stand for another instant in this zone.
        dateUndatedRows(table, killed + 3600);
        EXPECT_EQ(table.timing(1)->lastUtc, killed);
        // Saved here and read back in Berlin, nothing has moved either.
        ASSERT_TRUE(saveTable(table, dir.path()));
        const zorvane::testing::ScopedTimeZone back("Europe/Berlin");
        BossTable again;
        loadTable(again, dir.path());
        EXPECT_EQ(again.timing(1)->lastUtc, killed);
        ASSERT_TRUE(saveTable(again, dir.path()));
        EXPECT_EQ(readBytes(tableFilePath(dir.path())), written);
    }
    // A text changed by a program that keeps neither section loses the date, in any zone.
    const zorvane::testing::ScopedTimeZone tokyo("Asia/Tokyo");
    std::string edited = gb18030ToUtf8(written);
    edited.replace(edited.find("1=10:00:00"), 10, "1=10:05:00");
    writeBytes(tableFilePath(dir.path()), utf8ToGb18030(edited));
    BossTable table;
    loadTable(table, dir.path());
    EXPECT_FALSE(table.timing(1)->lastUtc.has_value());
    EXPECT_EQ(table.cellText(1, kLastTimeColumn), "10:05:00");
    EXPECT_EQ(table.timing(2)->lastUtc, nextKilled);
}

// Rules, zones and marks round-trip in their own sections, written only once a row has a
// rule of its own; an unreadable rule is kept as stored.
TEST(SpawnRuleSections, RoundTripAndLeaveRulelessFilesAlone) {
    TempDir dir;
    writeBytes(tableFilePath(dir.path()), tableFile("10:00:00", ""));
    BossTable table;
    loadTable(table, dir.path());
    table.appendRow();
    table.appendRow();
    ASSERT_TRUE(saveTable(table, dir.path()));
    const std::string ruleless = readBytes(tableFilePath(dir.path()));
    EXPECT_EQ(gb18030ToUtf8(ruleless).find("Spawn"), std::string::npos);
    // An old file loads with the default rule everywhere.
    for (int row = 1; row < table.rowCount(); ++row) {
        EXPECT_TRUE(table.timing(row)->spawn.isDefault());
    }

    struct Case {
        const char* rule;
        const char* zone;
        const char* marks;
    };
    const Case cases[] = {
        {"at 12:00 20:00 restart kill", "Asia/Shanghai", ""},
        {"at 21:00 on 6", "UTC+09:00", "missed 2026-12-12T20:05:00Z"},
        {"after restart spawn 30", "", "up 2026-12-08T11:00:00Z"},
    };
    for (int i = 0; i < 3; ++i) {
        SpawnRule rule = *parseSpawnRule(cases[i].rule);
        rule.zone = *ServerZone::fromText(cases[i].zone);
        table.setSpawnRule(table.rowId(i + 1), rule);
    }
    table.setSpawnMarks(table.rowId(2), std::nullopt, parseUtcText("2026-12-12T20:05:00Z"));
    table.setSpawnMarks(table.rowId(3), parseUtcText("2026-12-08T11:00:00Z"), std::nullopt);
    ASSERT_TRUE(saveTable(table, dir.path()));
    const std::string withRules = readBytes(tableFilePath(dir.path()));
    // Every byte of the ruleless file stays; the rules follow it.
    EXPECT_EQ(withRules.substr(0, ruleless.size()), ruleless);

    BossTable reloaded;
    loadTable(reloaded, dir.path());
    for (int i = 0; i < 3; ++i) {
        const RowTiming timing = *reloaded.timing(i + 1);
        EXPECT_EQ(spawnRuleText(timing.spawn), cases[i].rule);
        EXPECT_EQ(timing.spawn.zone.text(), cases[i].zone);
        std::string marks;
        if (timing.upSince) {
            marks = "up " + utcText(*timing.upSince);
        }
        if (timing.missedAt) {
            marks = "missed " + utcText(*timing.missedAt);
        }
        EXPECT_EQ(marks, cases[i].marks);
    }
    ASSERT_TRUE(saveTable(reloaded, dir.path()));
    EXPECT_EQ(readBytes(tableFilePath(dir.path())), withRules);

    // A zone this system does not know, or a rule edited into nonsense: the row runs on
    // the default rule, and the stored texts stay for a system that can read them.
    std::string edited = gb18030ToUtf8(withRules);
    edited.replace(edited.find("Asia/Shanghai"), 13, "Mars/Olympus");
    edited.replace(edited.find("at 21:00 on 6"), 13, "at 25:00 on 6");
    writeBytes(tableFilePath(dir.path()), utf8ToGb18030(edited));
    const std::optional<StoredTable> stored = readTable(dir.path());
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->unreadRules, (std::vector<int>{1, 2}));
    EXPECT_TRUE(stored->rows[0].timing.spawn.isDefault());
    BossTable unread;
    loadTable(unread, dir.path());
    ASSERT_TRUE(saveTable(unread, dir.path()));
    EXPECT_EQ(gb18030ToUtf8(readBytes(tableFilePath(dir.path()))), edited);
}

// A spawn nobody recorded stays marked across a restart on the default rule too; the
// file then holds the marks and nothing of rules, and loses them once they are gone.
TEST(SpawnRuleSections, MarksOfDefaultRowsAreKept) {
    struct Case {
        const char* name;
        std::optional<UtcSeconds> upSince;
        std::optional<UtcSeconds> missedAt;
        const char* stored; // the SpawnMarks line; "" when the file has no such section
    };
    const Case cases[] = {
        {"no marks", std::nullopt, std::nullopt, ""},
        {"up", parseUtcText("2026-12-08T11:00:00Z"), std::nullopt, "1=up 2026-12-08T11:00:00Z"},
        {"taken by others", parseUtcText("2026-12-08T11:00:00Z"),
         parseUtcText("2026-12-08T11:05:00Z"),
         "1=up 2026-12-08T11:00:00Z missed 2026-12-08T11:05:00Z"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        writeBytes(tableFilePath(dir.path()), tableFile("10:00:00", ""));
        BossTable table;
        loadTable(table, dir.path());
        table.setSpawnMarks(table.rowId(1), c.upSince, c.missedAt);
        ASSERT_TRUE(saveTable(table, dir.path()));
        const std::string saved = gb18030ToUtf8(readBytes(tableFilePath(dir.path())));
        EXPECT_EQ(saved.find("SpawnRule"), std::string::npos);
        const std::size_t marks = saved.find("[SpawnMarks]\r\n");
        EXPECT_EQ(marks != std::string::npos, *c.stored != '\0');
        if (marks != std::string::npos) {
            EXPECT_EQ(saved.substr(marks + 14, std::string_view(c.stored).size()), c.stored);
        }
        BossTable reloaded;
        loadTable(reloaded, dir.path());
        EXPECT_EQ(reloaded.timing(1)->upSince, c.upSince);
        EXPECT_EQ(reloaded.timing(1)->missedAt, c.missedAt);
        // Marks taken away are taken from the file too.
        reloaded.setSpawnMarks(reloaded.rowId(1), std::nullopt, std::nullopt);
        ASSERT_TRUE(saveTable(reloaded, dir.path()));
        BossTable again;
        loadTable(again, dir.path());
        EXPECT_FALSE(again.timing(1)->upSince);
        EXPECT_FALSE(again.timing(1)->missedAt);
    }
}
