#include "text/regexobject.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace zorvane::text;

namespace {

std::vector<std::string> allMatches(const RegexObject& re) {
    std::vector<std::string> out;
    for (int i = 1; i <= re.matchCount(); ++i) {
        out.push_back(re.matchText(i));
    }
    return out;
}

using Texts = std::vector<std::string>;

} // namespace

TEST(RegexObject, DefaultsAreCaseInsensitiveMultilineGlobal) {
    RegexObject re;
    ASSERT_TRUE(re.create("^b\\w", "Bx\nby\nab"));
    EXPECT_EQ(allMatches(re), (Texts{"Bx", "by"}));

    ASSERT_TRUE(re.create("^b\\w", "Bx\nby", true));
    EXPECT_EQ(allMatches(re), Texts{"by"});

    ASSERT_TRUE(re.create("^b\\w", "Bx\nby", false, false));
    EXPECT_EQ(allMatches(re), Texts{"Bx"});

    ASSERT_TRUE(re.create("\\d", "a1b2c3", false, true, false));
    EXPECT_EQ(allMatches(re), Texts{"1"});

    // The dot does not cross a line break.
    ASSERT_TRUE(re.create("a.b", "a\nb"));
    EXPECT_EQ(re.matchCount(), 0);

    ASSERT_TRUE(re.create("x", ""));
    EXPECT_EQ(re.matchCount(), 0);
}

TEST(RegexObject, CaseFoldingCoversNonAsciiLetters) {
    RegexObject re;
    ASSERT_TRUE(re.create("ä", "Ä"));
    EXPECT_EQ(re.matchCount(), 1);
    ASSERT_TRUE(re.create("ä", "Ä", true));
    EXPECT_EQ(re.matchCount(), 0);
}

TEST(RegexObject, HexAndUnicodeEscapesOfTheScriptDialect) {
    RegexObject re;
    ASSERT_TRUE(re.create("[^\\x20-\\x7f]", "a中b\tc"));
    EXPECT_EQ(allMatches(re), (Texts{"中", "\t"}));

    ASSERT_TRUE(re.create("[\\u4e00-\\u9fa5]+", "ab北京12"));
    EXPECT_EQ(allMatches(re), Texts{"北京"});

    // \x takes exactly two digits: \x411 is "A" then "1".
    ASSERT_TRUE(re.create("\\x411", "A1 A"));
    EXPECT_EQ(allMatches(re), Texts{"A1"});

    // \u takes exactly four digits: \u00411 is "A" then "1".
    ASSERT_TRUE(re.create("\\u00411", "1A1"));
    EXPECT_EQ(allMatches(re), Texts{"A1"});

    // Too few digits: the letter itself.
    ASSERT_TRUE(re.create("\\u12", "u12", true));
    EXPECT_EQ(allMatches(re), Texts{"u12"});
    ASSERT_TRUE(re.create("\\xg", "xg", true));
    EXPECT_EQ(allMatches(re), Texts{"xg"});

    // No brace form: \x{41} is not "A".
    ASSERT_TRUE(re.create("\\x{41}", "A", true));
    EXPECT_EQ(re.matchCount(), 0);
}

TEST(RegexObject, EmptyMatchesAdvanceByACharacter) {
    RegexObject re;
    ASSERT_TRUE(re.create("x*", "中x文"));
    // Empty at 0, "x" at 3, empty at 4 (after the x, before 文), empty at the end.
    ASSERT_EQ(re.matchCount(), 4);
    long pos = -2;
    EXPECT_EQ(re.matchText(1, &pos), "");
    EXPECT_EQ(pos, 0);
    EXPECT_EQ(re.matchText(2, &pos), "x");
    EXPECT_EQ(pos, 3);
    EXPECT_EQ(re.matchText(3, &pos), "");
    EXPECT_EQ(pos, 4);
    EXPECT_EQ(re.matchText(4, &pos), "");
    EXPECT_EQ(pos, 7);

    // A lookahead that matches empty later than the search start is counted once.
    ASSERT_TRUE(re.create("(?=b)", "abab"));
    EXPECT_EQ(re.matchCount(), 2);

    ASSERT_TRUE(re.create("", "中文"));
    EXPECT_EQ(re.matchCount(), 3);
    EXPECT_EQ(re.replace("-"), "-中-文-");
}

TEST(RegexObject, RejectedPatternGivesNothing) {
    RegexObject re;
    ASSERT_TRUE(re.create("(a)", "a"));
    EXPECT_FALSE(re.create("(unclosed", "unclosed"));
    EXPECT_EQ(re.matchCount(), 0);
    EXPECT_EQ(re.subMatchCount(), 0);
    long pos = 5;
    EXPECT_EQ(re.matchText(1, &pos), "");
    EXPECT_EQ(pos, -1);
    EXPECT_EQ(re.subMatchText(1, 1), "");
    EXPECT_EQ(re.replace("x"), "");
    EXPECT_EQ(re.getPattern(), "(unclosed");

    EXPECT_FALSE(re.create("a\xFF", "a"));
    EXPECT_EQ(re.matchCount(), 0);

    RegexObject fresh;
    EXPECT_EQ(fresh.matchCount(), 0);
    EXPECT_EQ(fresh.matchText(1), "");
    EXPECT_EQ(fresh.getPattern(), "");
    EXPECT_EQ(fresh.replace(), "");
}

TEST(RegexObject, InvalidUtf8SubjectIsRepaired) {
    RegexObject re;
    ASSERT_TRUE(re.create(".", "a\xFF\xE4\xB8"));
    EXPECT_EQ(allMatches(re), (Texts{"a", "\xEF\xBF\xBD", "\xEF\xBF\xBD"}));
    ASSERT_TRUE(re.create("z", "\xC0z"));
    long pos = 0;
    EXPECT_EQ(re.matchText(1, &pos), "z");
    EXPECT_EQ(pos, 3);
}

TEST(RegexObject, GroupsAndOutOfRangeIndices) {
    RegexObject re;
    ASSERT_TRUE(re.create("(\\d+):(\\d+)(:(\\d+))?", "at 07:05 and 23:40:09"));
    ASSERT_EQ(re.matchCount(), 2);
    EXPECT_EQ(re.subMatchCount(), 4);
    EXPECT_EQ(re.subMatchText(1, 1), "07");
    EXPECT_EQ(re.subMatchText(1, 2), "05");
    long pos = 0;
    EXPECT_EQ(re.subMatchText(1, 4, &pos), ""); // the optional group did not take part
    EXPECT_EQ(pos, -1);
    EXPECT_EQ(re.subMatchText(2, 4, &pos), "09");
    EXPECT_EQ(pos, 19);
    EXPECT_EQ(re.matchText(2, &pos), "23:40:09");
    EXPECT_EQ(pos, 13);
    EXPECT_EQ(re.matchText(0), "");
    EXPECT_EQ(re.matchText(3), "");
    EXPECT_EQ(re.matchText(-1), "");
    EXPECT_EQ(re.subMatchText(1, 0), "");
    EXPECT_EQ(re.subMatchText(1, 5), "");
    EXPECT_EQ(re.subMatchText(9, 1), "");

    ASSERT_TRUE(re.create("(a)", "bbb"));
    EXPECT_EQ(re.subMatchCount(), 0);
}

TEST(RegexObject, Replace) {
    RegexObject re;
    ASSERT_TRUE(re.create("\\s", " a b\tc "));
    EXPECT_EQ(re.replace(), "abc");
    ASSERT_TRUE(re.create("(\\w)(\\d)", "a1 b2", false, true, false));
    EXPECT_EQ(re.replace("[$2$1]"), "[1a] b2");
    ASSERT_TRUE(re.create("(\\w)(\\d)", "a1 b2"));
    EXPECT_EQ(re.replace("[$2$1]"), "[1a] [2b]");
    EXPECT_EQ(re.replace("$&$&"), "a1a1 b2b2");
    EXPECT_EQ(re.replace("$$1"), "$1 $1");
    // "$3" names no group and "$0" is not special: both stay literal; "$10" falls back to
    // group 1 followed by "0"; a dollar at the end stays.
    EXPECT_EQ(re.replace("$3$0$10$"), "$3$0a0$ $3$0b0$");
    EXPECT_EQ(re.replace("<$`|$'>"), "<| b2> <a1 |>");
    ASSERT_TRUE(re.create("(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)", "abcdefghijk"));
    EXPECT_EQ(re.replace("$11$10$01"), "kja");
}

TEST(RegexObject, QuoteMarker) {
    RegexObject re;
    ASSERT_TRUE(re.create("#引号(\\w+)#引号", "say \"hi\"", false, true, true, true));
    EXPECT_EQ(re.getPattern(), "\"(\\w+)\"");
    EXPECT_EQ(re.subMatchText(1, 1), "hi");
    ASSERT_TRUE(re.create("#引号", "\"#引号", false, true, true, false));
    EXPECT_EQ(re.getPattern(), "#引号");
    EXPECT_EQ(allMatches(re), Texts{"#引号"});
}

TEST(RegexObject, CatastrophicPatternEndsWithoutHanging) {
    RegexObject re;
    const std::string subject(40, 'a');
    ASSERT_TRUE(re.create("(a+)+$", subject + "!"));
    EXPECT_EQ(re.matchCount(), 0);
}
