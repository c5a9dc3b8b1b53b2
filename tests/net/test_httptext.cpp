#include "net/httptext.h"

#include <gtest/gtest.h>

using namespace zorvane::net;

TEST(TextBetween, CutsAfterFirstLeftAndBeforeNextRight) {
    EXPECT_EQ(textBetween("x【abc】y", "【", "】"), "abc");
    EXPECT_EQ(textBetween("x【abc】y【def】", "【", "】"), "abc");
    EXPECT_EQ(textBetween("x【abc", "【", "】"), "");
    EXPECT_EQ(textBetween("x】a【b", "【", "】"), "");
    EXPECT_EQ(textBetween("no markers", "【", "】"), "");
    EXPECT_EQ(textBetween("【】", "【", "】"), "");
    // The quote marker stands for a double quote in both markers.
    EXPECT_EQ(textBetween("<a id=\"k9\" x>", "id=#引号", "#引号"), "k9");
    EXPECT_EQ(textBetween("id=#引号k9#引号", "id=#引号", "#引号"), "");
}

TEST(TextAfterColonAndBefore, SplitAtFirstOccurrence) {
    EXPECT_EQ(textAfterColon("User-Agent:  X: y  "), "X: y");
    EXPECT_EQ(textAfterColon("no colon"), "");
    EXPECT_EQ(textAfterColon("a:"), "");
    EXPECT_EQ(textBefore("Set-Cookie: a=1: b", ": "), "Set-Cookie");
    EXPECT_EQ(textBefore("HTTP/1.1 200 OK", ": "), "");
    EXPECT_EQ(textBefore(": x", ": "), "");
}

TEST(NormalizeHeaderNames, CapitalisesNamesAndDropsLinesWithoutColon) {
    EXPECT_EQ(normalizeHeaderNames("user-agent: X\r\ngarbage\r\nx-requested-with:1"),
              "User-Agent: X\r\nX-Requested-With:1");
    // Nothing is lower-cased and the value keeps its form.
    EXPECT_EQ(normalizeHeaderNames("content-TYPE:  a-b: c"), "Content-TYPE:  a-b: c");
    EXPECT_EQ(normalizeHeaderNames("a--b:1\r\n\r\nx-:2"), "A--B:1\r\nX-:2");
    EXPECT_EQ(normalizeHeaderNames("ä-b: 1"), "ä-B: 1");
    EXPECT_EQ(normalizeHeaderNames("no colon here"), "");
    EXPECT_EQ(normalizeHeaderNames(""), "");
    EXPECT_EQ(capitalizeFirst("abc"), "Abc");
    EXPECT_EQ(capitalizeFirst("北京"), "北京");
    EXPECT_EQ(capitalizeFirst(""), "");
    EXPECT_EQ(capitalizeFirst("1a"), "1a");
}

TEST(UrlParts, HostPortAndPath) {
    EXPECT_EQ(urlHost("HTTPS://Example.COM:8443/a"), "example.com");
    EXPECT_EQ(urlHost("HTTPS://Example.COM:8443/a", true), "example.com:8443");
    EXPECT_EQ(urlPort("HTTPS://Example.COM:8443/a"), 8443);
    EXPECT_EQ(urlPort("https://example.com/a"), 443);
    EXPECT_EQ(urlPort("http://example.com"), 80);
    EXPECT_EQ(urlPort("example.com:81"), 81);
    EXPECT_EQ(urlPort("http://example.com:/x"), 0);
    EXPECT_EQ(urlPort("http://example.com:99999/x"), 65536);
    EXPECT_EQ(urlHost("example.com/a"), "example.com");
    EXPECT_EQ(urlHost("http://example.com"), "example.com");
    // Only a leading scheme counts.
    EXPECT_EQ(urlHost("example.com/?u=http://other/"), "example.com");
    EXPECT_EQ(urlPath("http://example.com"), "/");
    EXPECT_EQ(urlPath("http://example.com/a/b?c=1#f"), "/a/b?c=1#f");
    EXPECT_EQ(urlPath("HTTP://EXAMPLE.com:8080/X?Y"), "/X?Y");
    EXPECT_EQ(urlPath("example.com/a"), "/a");
    // A host that also occurs inside the scheme is looked for after it.
    EXPECT_EQ(urlPath("http://t/x"), "/x");
    EXPECT_EQ(urlPath("https://s:8/y"), "/y");
}

TEST(MergeCookieTexts, NewWinOldStayDeletedGo) {
    std::string oldCookies = "a=1; b=2";
    std::string newCookies = "b=3; c=4";
    EXPECT_EQ(mergeCookieTexts(oldCookies, newCookies), "b=3; c=4; a=1");
    EXPECT_EQ(oldCookies, "b=3; c=4; a=1");

    oldCookies = "a=1; b=2";
    newCookies = "b=deleted";
    EXPECT_EQ(mergeCookieTexts(oldCookies, newCookies), "a=1");

    oldCookies = "a=1;";
    newCookies = "";
    EXPECT_EQ(mergeCookieTexts(oldCookies, newCookies), "a=1");

    oldCookies = "";
    newCookies = "";
    EXPECT_EQ(mergeCookieTexts(oldCookies, newCookies), "");
    EXPECT_EQ(oldCookies, "");

    // Both variables are trimmed in place; exact repeats collapse.
    oldCookies = "  x=1; x=1  ";
    newCookies = " y=2; ";
    EXPECT_EQ(mergeCookieTexts(oldCookies, newCookies), "y=2; x=1");
    EXPECT_EQ(newCookies, "y=2; ");

    // Names compare trimmed and byte for byte.
    oldCookies = "A=1; k =old";
    newCookies = "a=2; k=new";
    EXPECT_EQ(mergeCookieTexts(oldCookies, newCookies), "a=2; k=new; A=1");
}

TEST(CookieItems, NamesAndLookups) {
    EXPECT_EQ(cookieName(" sid = abc "), "sid");
    EXPECT_EQ(cookieName(" flag "), "flag");
    EXPECT_EQ(cookieName("=v"), "");
    EXPECT_TRUE(hasCookieName({"a=1", "b=2"}, "b"));
    EXPECT_FALSE(hasCookieName({"a=1", "b=2"}, "B"));
    EXPECT_FALSE(hasCookieName({}, ""));
    EXPECT_EQ(removeDuplicateItems("a=1; a=2; a=1; b", "; "), "a=1; a=2; b");
    EXPECT_EQ(removeDuplicateItems("", "; "), "");
    EXPECT_EQ(removeDuplicateItems(",x,,x,", ","), ",x");
    EXPECT_EQ(indexOfItem({"a", "b", "a"}, "a"), 0);
    EXPECT_EQ(indexOfItem({"a", "b"}, "b"), 1);
    EXPECT_EQ(indexOfItem({"a", "b"}, "A"), -1);
}

TEST(Utf8ToText, RepairsAndStopsAtZero) {
    EXPECT_EQ(utf8ToText("北京"), "北京");
    EXPECT_EQ(utf8ToText(""), "");
    EXPECT_EQ(utf8ToText("a\xFF"
                         "b"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(utf8ToText(std::string("ab\0cd", 5)), "ab");
    // A truncated sequence at the end becomes one replacement character.
    EXPECT_EQ(utf8ToText("x\xE5\x8C"), "x\xEF\xBF\xBD");
}
