#include "schedule/leadtimes.h"

#include <gtest/gtest.h>

#include <ostream>

using namespace zorvane::schedule;

namespace {

struct ReadCase {
    const char* text;
    std::vector<int> minutes;
};

void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(std::string(c.text));
}

class LeadTimesRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(LeadTimesRead, GivesDistinctMinutesLargestFirst) {
    const LeadTimes result = parseLeadTimes(GetParam().text);
    EXPECT_TRUE(result.ok()) << zorvane::text::defaultText(result.error);
    EXPECT_EQ(result.minutes, GetParam().minutes);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LeadTimesRead,
    ::testing::Values(ReadCase{"", {}}, ReadCase{"   ", {}}, ReadCase{"10, 1", {10, 1}},
                      ReadCase{"1,10", {10, 1}}, ReadCase{"5 15  30", {30, 15, 5}},
                      ReadCase{"10,,1,", {10, 1}}, ReadCase{"3;2；1", {3, 2, 1}},
                      ReadCase{"１０，１", {10, 1}}, ReadCase{"10、2", {10, 2}},
                      ReadCase{"10,10, 1", {10, 1}}, ReadCase{"007", {7}},
                      ReadCase{"10080", {10080}}, ReadCase{"\t2\t", {2}}));

struct BadCase {
    const char* text;
    const char* messagePart; // the message must name the offending piece
};

void PrintTo(const BadCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(std::string(c.text));
}

class LeadTimesRefused : public ::testing::TestWithParam<BadCase> {};

TEST_P(LeadTimesRefused, RefusesWholeTextAndNamesThePiece) {
    const LeadTimes result = parseLeadTimes(GetParam().text);
    EXPECT_FALSE(result.ok());
    EXPECT_TRUE(result.minutes.empty());
    const std::string shown = zorvane::text::defaultText(result.error);
    EXPECT_NE(shown.find(GetParam().messagePart), std::string::npos) << shown;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LeadTimesRefused,
    ::testing::Values(BadCase{"10, abc", "“abc”"}, BadCase{"0", "“0”"}, BadCase{"-5", "“-5”"},
                      BadCase{"1.5", "“1.5”"}, BadCase{"10, 1 分", "“分”"},
                      BadCase{"10081", "“10081”"},
                      BadCase{"99999999999999999999", "“99999999999999999999”"},
                      BadCase{"+3", "“+3”"}, BadCase{"1,2,3,4,5,6,7,8,9,10,11", "最多 10"}));

TEST(LeadTimesText, ReadsBackToTheSameList) {
    const std::vector<int> minutes{30, 10, 1};
    EXPECT_EQ(leadTimesText(minutes), "30, 10, 1");
    EXPECT_EQ(parseLeadTimes(leadTimesText(minutes)).minutes, minutes);
    EXPECT_EQ(leadTimesText({}), "");
}

} // namespace
