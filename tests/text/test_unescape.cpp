#include "text/unescape.h"

#include <gtest/gtest.h>

using namespace zorvane::text;
using namespace std::string_literals;

TEST(Unescape, PlainTextAndEmpty) {
    EXPECT_EQ(unescapeText(""), "");
    const std::string plain = "Boss 北京 12:00 <b class=\"x\">hi</b>";
    EXPECT_EQ(unescapeText(plain), plain);
}

TEST(Unescape, LineBreaksAndMarkers) {
    EXPECT_EQ(unescapeText("a\r\nb\r\n"), "a\r\nb\r\n");
    EXPECT_EQ(unescapeText("x{$}y"), "x\r\ny");
    EXPECT_EQ(unescapeText("\rabc"), "abc");
    EXPECT_EQ(unescapeText("\r\r\nabc"), "\r\nabc");
    // A lone line break anywhere passes through.
    EXPECT_EQ(unescapeText("a\rb"), "a\rb");
    EXPECT_EQ(unescapeText("a\nb\n"), "a\nb\n");
    EXPECT_EQ(unescapeText("\n"), "\n");
    EXPECT_EQ(unescapeText("a\\nb\\r\\t"), "a\nb\r\t");
}

TEST(Unescape, Apostrophes) {
    EXPECT_EQ(unescapeText("it's 'x'"), "it's 'x'");
    EXPECT_EQ(unescapeText("it’s"), "it's");
    EXPECT_EQ(unescapeText("\\'"), "'");
}

TEST(Unescape, BackslashEscapes) {
    EXPECT_EQ(unescapeText("\\u4e2d\\u6587"), "中文");
    EXPECT_EQ(unescapeText("\\U4e2d"), "U4e2d");
    EXPECT_EQ(unescapeText("\\x41\\x4A"), "AJ");
    // Malformed \x and \u give the letter itself.
    EXPECT_EQ(unescapeText("\\x4"), "x4");
    EXPECT_EQ(unescapeText("\\xg1"), "xg1");
    EXPECT_EQ(unescapeText("\\u12"), "%u12");
    EXPECT_EQ(unescapeText("\\q\\\"\\\\"), "q\"\\");
    EXPECT_EQ(unescapeText("\\b\\f\\v"), "\b\f\v");
    EXPECT_EQ(unescapeText("\\101\\60\\0"), "A0\0"s);
    EXPECT_EQ(unescapeText("\\08"), "\0"
                                    "8"s);
    EXPECT_EQ(unescapeText("\\377"), "ÿ");
    EXPECT_EQ(unescapeText("\\400"), " 0");
    EXPECT_EQ(unescapeText("\\8\\9"), "89");
    EXPECT_EQ(unescapeText("\\中"), "中");
}

TEST(Unescape, TrailingBackslashIsKept) {
    EXPECT_EQ(unescapeText("abc\\"), "abc\\");
    EXPECT_EQ(unescapeText("\\"), "\\");
    EXPECT_EQ(unescapeText("a\\\\\\"), "a\\\\");
}

TEST(Unescape, PercentEscapes) {
    EXPECT_EQ(unescapeText("%u4E2D%41%e9"), "中Aé");
    EXPECT_EQ(unescapeText("%zz%4%u12%"), "%zz%4%u12%");
    EXPECT_EQ(unescapeText("100%"), "100%");
    EXPECT_EQ(unescapeText("%0D%0A"), "\r\n");
    // Surrogate halves pair up; a lone one becomes U+FFFD.
    EXPECT_EQ(unescapeText("%uD83D%uDE00"), "😀");
    EXPECT_EQ(unescapeText("%uD83Dx"), "\xEF\xBF\xBDx");
    EXPECT_EQ(unescapeText("%uDE00"), "\xEF\xBF\xBD");
    // The restore step turns a produced U+2019 into an apostrophe too.
    EXPECT_EQ(unescapeText("%u2019"), "'");
    // Escapes apply in order: the literal first, then unescape.
    EXPECT_EQ(unescapeText("\\x25u0041"), "A");
}

TEST(Unescape, InvalidUtf8IsReplaced) {
    EXPECT_EQ(unescapeText("a\xFF"
                           "b"),
              "a\xEF\xBF\xBD"
              "b");
}

TEST(Unescape, BytesAsUtf16Text) {
    EXPECT_EQ(bytesAsUtf16Text("h\0i\0"s), "hi");
    EXPECT_EQ(bytesAsUtf16Text("h\0i"s), "h");
    EXPECT_EQ(bytesAsUtf16Text(""), "");
}
