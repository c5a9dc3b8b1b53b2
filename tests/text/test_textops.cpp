#include "text/textops.h"

#include <gtest/gtest.h>

using namespace zorvane::text;
using Pieces = std::vector<std::string>;

TEST(TextOps, FindFromPositionAndFolding) {
    EXPECT_EQ(find("abcabc", "bc"), 1);
    EXPECT_EQ(find("abcabc", "bc", 2), 4);
    EXPECT_EQ(find("abcabc", "bc", 5), -1);
    EXPECT_EQ(find("abc", "x"), -1);
    EXPECT_EQ(find("abc", "", 3), 3);
    EXPECT_EQ(find("abc", "", 4), -1);
    EXPECT_EQ(find("abc", "a", -5), 0);
    EXPECT_EQ(find("xABc", "ab"), -1);
    EXPECT_EQ(find("xABc", "ab", 0, true), 1);
    EXPECT_EQ(findLast("abcabc", "bc"), 4);
    EXPECT_EQ(findLast("abcABC", "bc", true), 4);
    EXPECT_EQ(findLast("abc", "x"), -1);
    EXPECT_TRUE(equals("Boss", "bOSS", true));
    EXPECT_FALSE(equals("Boss", "bOSS"));
    EXPECT_FALSE(equals("Boss", "Bos", true));
}

TEST(TextOps, NoMatchStartsInsideAMultiByteCharacter) {
    const std::string text = "\xE4\xB8\xAD\xE4\xB8"; // 中 then a truncated sequence
    // The continuation bytes of 中 are never a match start.
    EXPECT_EQ(find(text, "\xB8\xAD"), -1);
    EXPECT_EQ(findLast(text, "\xB8"), -1);
    EXPECT_EQ(find(text, "\xB8", 0, true), -1);
    // A stray continuation byte is a character of its own and can be found.
    EXPECT_EQ(find("a\xB8z", "\xB8"), 1);
    EXPECT_EQ(find("\xE4\xB8\xAD\xB8", "\xB8"), 3);
    EXPECT_EQ(findLast("\xB8\xE4\xB8\xAD", "\xB8"), 0);
    EXPECT_EQ(replaceAll("中中", "\xAD\xE4", "X"), "中中");
}

TEST(TextOps, SplitPieceRules) {
    EXPECT_EQ(split("", ","), Pieces{});
    EXPECT_EQ(split("a", ","), Pieces{"a"});
    EXPECT_EQ(split("a,b", ","), (Pieces{"a", "b"}));
    EXPECT_EQ(split(",a", ","), (Pieces{"", "a"}));
    EXPECT_EQ(split("a,,b", ","), (Pieces{"a", "", "b"}));
    EXPECT_EQ(split("a,", ","), Pieces{"a"});
    EXPECT_EQ(split("a,,", ","), (Pieces{"a", ""}));
    EXPECT_EQ(split(",", ","), Pieces{""});
    EXPECT_EQ(split("a::b::", "::"), (Pieces{"a", "b"}));
    EXPECT_EQ(split("北，京，", "，"), (Pieces{"北", "京"}));
    EXPECT_EQ(split("ab", ""), Pieces{"ab"});
}

// Split as a stream reading words would split them.
TEST(TextOps, WordsAreSeparatedByAsciiWhiteSpace) {
    using Views = std::vector<std::string_view>;
    EXPECT_EQ(words(""), Views{});
    EXPECT_EQ(words(" \t\r\n\v\f"), Views{});
    EXPECT_EQ(words("up 2026-12-10T01:02:03Z"), (Views{"up", "2026-12-10T01:02:03Z"}));
    EXPECT_EQ(words("\ta\r\nb  c\f"), (Views{"a", "b", "c"}));
    // Neither the ideographic space nor a NUL byte separates.
    EXPECT_EQ(words(std::string_view("北\u3000京 x\0y", 13)),
              (Views{"北\u3000京", std::string_view("x\0y", 3)}));
}

TEST(TextOps, ReplaceAllDoesNotRescan) {
    EXPECT_EQ(replaceAll("aaa", "a", "aa"), "aaaaaa");
    EXPECT_EQ(replaceAll("abab", "ab", "b"), "bb");
    EXPECT_EQ(replaceAll("aaaa", "aa", "a"), "aa");
    EXPECT_EQ(replaceAll("x\r\ny\r\n", "\r\n", "{$}"), "x{$}y{$}");
    EXPECT_EQ(replaceAll("AbAB", "ab", "-", true), "--");
    EXPECT_EQ(replaceAll("AbAB", "ab", "-"), "AbAB");
    EXPECT_EQ(replaceAll("abc", "", "-"), "abc");
    EXPECT_EQ(replaceAll("", "a", "-"), "");
}

TEST(TextOps, TrimOnlyBlankAndIdeographicSpace) {
    EXPECT_EQ(trim("  a b  "), "a b");
    EXPECT_EQ(trim("　 a　 "), "a");
    EXPECT_EQ(trim("\ta\n"), "\ta\n");
    EXPECT_EQ(trim("\xC2\xA0"
                   "a"),
              "\xC2\xA0"
              "a"); // no-break space stays
    EXPECT_EQ(trim("   "), "");
    EXPECT_EQ(trim("　"), "");
    EXPECT_EQ(trim(""), "");
    // A truncated ideographic space is not one.
    EXPECT_EQ(trim("a\xE3\x80"), "a\xE3\x80");
}

TEST(TextOps, CaseChangesOnlyAsciiLetters) {
    EXPECT_EQ(toUpperAscii("abz AZ 09 ä ｂ"), "ABZ AZ 09 ä ｂ");
    EXPECT_EQ(toLowerAscii("ABZ az Ä Ｂ Σ"), "abz az Ä Ｂ Σ");
    // Bytes of multi-byte characters that look like letters when masked must not change.
    const std::string bytes = "\xC3\x81\xE4\xB8\xAD";
    EXPECT_EQ(toLowerAscii(bytes), bytes);
    EXPECT_EQ(toUpperAscii(bytes), bytes);
    EXPECT_TRUE(equalsIgnoringAsciiCase("Key_1", "kEY_1"));
    EXPECT_FALSE(equalsIgnoringAsciiCase("Ä", "ä"));
    EXPECT_FALSE(equalsIgnoringAsciiCase("key", "key "));
}

TEST(TextOps, LeftRightCountCharacters) {
    EXPECT_EQ(leftChars("北京abc", 2), "北京");
    EXPECT_EQ(leftChars("北京abc", 3), "北京a");
    EXPECT_EQ(leftChars("北京", 10), "北京");
    EXPECT_EQ(leftChars("北京", 0), "");
    EXPECT_EQ(leftChars("北京", -1), "");
    EXPECT_EQ(rightChars("abc北京", 3), "c北京");
    EXPECT_EQ(rightChars("北京", 5), "北京");
    EXPECT_EQ(rightChars("北京", 0), "");
    EXPECT_EQ(rightChars("北京", -3), "");
    EXPECT_EQ(charCount("a北😀"), 3);
    EXPECT_EQ(charCount("\xE4\xB8z"), 2);
    EXPECT_EQ(charCount(""), 0);
}
