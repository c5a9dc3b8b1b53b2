#include "text/cleaning.h"

#include <gtest/gtest.h>

using namespace zorvane::text;

TEST(Cleaning, HanziRangesAtTheirEdges) {
    // B0 A1 and F7 FE: the corners of the main block.
    EXPECT_EQ(extractHanziBytes("啊x齄"), "啊齄");
    // F8 A1 (user-defined area) and F7 40 (trail below A1) lie outside every range.
    EXPECT_EQ(extractHanziBytes("\xEE\x88\xB4鰼"), "");
    // Lead 81..A0: trail 40..7E and 80..A1 taken, A2 and above not.
    EXPECT_EQ(extractHanziBytes("丂亊亐仭仮燖牎牏"), "丂亊亐仭燖牎");
    // Lead AA..B0: trail 40..7E and 80..A1 taken (even the user-defined AA A1), AA A2 not.
    EXPECT_EQ(extractHanziBytes("狜\xEE\x80\x81癅皛\xEE\x80\x80"), "狜癅皛\xEE\x80\x80");
    // Lead A1..A9: punctuation, symbols and box drawing never taken.
    EXPECT_EQ(extractHanziBytes("、─€，"), "");
    EXPECT_EQ(extractHanziBytes("12:30"), "");
    EXPECT_EQ(extractHanziBytes(""), "");
}

TEST(Cleaning, HanziScanSkipsPairsWithoutResynchronising) {
    // A3 AC then B0 A1: reading from the comma's second byte would take AC B0.
    EXPECT_EQ(extractHanziBytes("，啊"), "啊");
    // 81 A2 is skipped as a pair; its trail byte never starts a new pair.
    EXPECT_EQ(extractHanziBytes("仮啊"), "啊");
    // A trailing lone byte (here invalid input) is never a lead byte.
    EXPECT_EQ(extractHanziBytes("啊\xB0"), "啊");
    // Four-byte characters (outside GBK) are never taken, and neither are pieces of them.
    EXPECT_EQ(extractHanziBytes("\xF0\xA0\x80\x80啊ÿ😀5"), "啊");
}

TEST(Cleaning, ExtractChinese) {
    EXPECT_EQ(extractChinese("45分钟"), "分钟");
    EXPECT_EQ(extractChinese("123"), "");
    EXPECT_EQ(extractChinese(""), "");
    // Strip spaces has no effect outside regex mode.
    EXPECT_EQ(extractChinese("分 钟", false, true), "分钟");
    EXPECT_EQ(extractChinese("a，b\t中\n", true), "，\t中\n");
    // White space is the ASCII set: the ideographic space stays.
    EXPECT_EQ(extractChinese("a，b\t中\n　", true, true), "，中　");
}

TEST(Cleaning, ExtractLetters) {
    EXPECT_EQ(extractLetters("12a3B"), "aB");
    EXPECT_EQ(extractLetters("12a3B", 1), "a");
    EXPECT_EQ(extractLetters("12a3B", 2), "B");
    EXPECT_EQ(extractLetters("12a3B", 3), "");
    // Case-sensitive ranges: no non-ASCII letter slips in by case folding.
    EXPECT_EQ(extractLetters("äÄſ\xE2\x84\xAA"), "");
    EXPECT_EQ(extractLetters("ａ"), "");
}

TEST(Cleaning, ExtractDisallowedChars) {
    EXPECT_EQ(extractDisallowedChars("12.5"), ".");
    EXPECT_EQ(extractDisallowedChars("-30"), "-");
    EXPECT_EQ(extractDisallowedChars("30abcXYZ北京"), "");
    EXPECT_EQ(extractDisallowedChars("3 0"), " ");
    EXPECT_EQ(extractDisallowedChars("１，é\t"), "１，é\t");
    // The ideograph range ends at U+9FA5.
    EXPECT_EQ(extractDisallowedChars("\xE4\xB8\x80\xE9\xBE\xA5\xE9\xBE\xA6"), "\xE9\xBE\xA6");
    EXPECT_EQ(extractDisallowedChars(""), "");
    // Letters that only Unicode case folding maps onto ASCII are not ASCII letters.
    EXPECT_EQ(extractDisallowedChars("3\u212A0\u017F"), "\u212A\u017F");
}
