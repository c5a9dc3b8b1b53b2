#include "text/numbers.h"

#include <gtest/gtest.h>

#include <limits>

using namespace zorvane::text;

TEST(Numbers, FullWidthNormalisationFollowsGbkRowA3) {
    EXPECT_EQ(normalizeFullWidth("１２３　－＋ａＺ"), "123 -+aZ");
    // A3 A4 is the full-width yen sign and A3 FE the full-width macron.
    EXPECT_EQ(normalizeFullWidth("￥￣"), "$~");
    // U+FF04 and U+FF5E have other GBK forms and are kept.
    EXPECT_EQ(normalizeFullWidth("＄～"), "＄～");
    EXPECT_EQ(normalizeFullWidth("北京 ab\xFF"), "北京 ab\xFF");
}

TEST(Numbers, TextToInteger) {
    EXPECT_EQ(textToInteger("１２３"), 123);
    EXPECT_EQ(textToInteger(" -7x"), -7);
    EXPECT_EQ(textToInteger("　＋４５分"), 45);
    EXPECT_EQ(textToInteger("\t\n 30"), 30);
    EXPECT_EQ(textToInteger(""), 0);
    EXPECT_EQ(textToInteger("abc"), 0);
    EXPECT_EQ(textToInteger("- 5"), 0);
    EXPECT_EQ(textToInteger("3.9"), 3);
    EXPECT_EQ(textToInteger("007"), 7);
    EXPECT_EQ(textToInteger("2147483647"), 2147483647);
    EXPECT_EQ(textToInteger("2147483648"), 2147483647);
    EXPECT_EQ(textToInteger("99999999999999999999999"), 2147483647);
    EXPECT_EQ(textToInteger("-2147483648"), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(textToInteger("-99999999999999999999"), std::numeric_limits<std::int32_t>::min());
}

TEST(Numbers, TextToNumber) {
    EXPECT_DOUBLE_EQ(textToNumber("12.5"), 12.5);
    EXPECT_DOUBLE_EQ(textToNumber(" -1.5e2x"), -150.0);
    EXPECT_DOUBLE_EQ(textToNumber("１．５"), 1.5);
    EXPECT_DOUBLE_EQ(textToNumber("1e"), 1.0);
    EXPECT_DOUBLE_EQ(textToNumber("1."), 1.0);
    EXPECT_DOUBLE_EQ(textToNumber("1e+"), 1.0);
    EXPECT_DOUBLE_EQ(textToNumber(".5"), 0.5);
    EXPECT_DOUBLE_EQ(textToNumber("+07:05"), 7.0);
    EXPECT_DOUBLE_EQ(textToNumber(""), 0.0);
    EXPECT_DOUBLE_EQ(textToNumber("."), 0.0);
    EXPECT_DOUBLE_EQ(textToNumber("inf"), 0.0);
    EXPECT_DOUBLE_EQ(textToNumber("nan"), 0.0);
    EXPECT_DOUBLE_EQ(textToNumber("0x10"), 0.0);
    EXPECT_DOUBLE_EQ(textToNumber("1e999"), std::numeric_limits<double>::max());
    EXPECT_DOUBLE_EQ(textToNumber("-1e999"), -std::numeric_limits<double>::max());
    EXPECT_DOUBLE_EQ(textToNumber("1e-999"), 0.0);
    EXPECT_DOUBLE_EQ(textToNumber("0.000001e-400"), 0.0);
}

TEST(Numbers, Formatting) {
    EXPECT_EQ(integerText(0), "0");
    EXPECT_EQ(integerText(-42), "-42");
    EXPECT_EQ(integerText(9223372036854775807LL), "9223372036854775807");
    EXPECT_EQ(numberText(3.0), "3");
    EXPECT_EQ(numberText(-0.5), "-0.5");
    EXPECT_EQ(numberText(1.0 / 3.0), "0.3333333333333");
    EXPECT_EQ(numberText(86400.0), "86400");
}
