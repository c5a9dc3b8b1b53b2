// Which typed period and delay texts count as whole numbers.

#include "schedule/editing.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using zorvane::schedule::isIntegerText;

TEST(IntegerText, AsciiDigitsAndTheEmptyTextPass) {
    for (const char* text : {"", "0", "5", "30", "0007", "99999999999"}) {
        EXPECT_TRUE(isIntegerText(text)) << text;
    }
}

TEST(IntegerText, SignsPointsBlanksLettersAndWideFormsFail) {
    for (const char* text :
         {"-5", "+5", "1.5", " 5", "5 ", "5分", "分", "１０", "1e3", "abc", "5\t",
          "\xe3\x80\x80"
          "5",
          "5:00", "٣"}) {
        EXPECT_FALSE(isIntegerText(text)) << text;
    }
}

} // namespace
