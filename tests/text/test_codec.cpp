#include "text/codec.h"

#include "tests/support/iconvdecode.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace zorvane::text;
using namespace std::string_literals;

namespace {
const std::string kFffd = "\xEF\xBF\xBD";
}

TEST(Codec, Gb18030KnownBytesAndRoundTrips) {
    EXPECT_EQ(utf8ToGb18030("北京"), "\xB1\xB1\xBE\xA9");
    EXPECT_EQ(gb18030ToUtf8("\xB1\xB1\xBE\xA9"), "北京");
    EXPECT_EQ(utf8ToGb18030("a，1"), "a\xA3\xAC"
                                     "1");
    EXPECT_EQ(utf8ToGb18030("\xE3\x80\x80"), "\xA1\xA1");
    EXPECT_EQ(utf8ToGb18030(""), "");
    EXPECT_EQ(gb18030ToUtf8(""), "");
    // Characters outside GBK take four bytes and must survive the round trip.
    const std::string outside = "\xF0\xA0\x80\x80"
                                "x€";
    const std::string gb = utf8ToGb18030(outside);
    EXPECT_EQ(gb.substr(0, 4), "\x95\x32\x82\x36");
    EXPECT_EQ(gb18030ToUtf8(gb), outside);
    const std::string mixed = "周期(分) 倒计时 \x01\x7F ÿ 😀 ₩";
    EXPECT_EQ(gb18030ToUtf8(utf8ToGb18030(mixed)), mixed);
    // Embedded zero bytes are data, not terminators.
    EXPECT_EQ(gb18030ToUtf8("a\0b"s), "a\0b"s);
}

TEST(Codec, InvalidInputIsReplacedNotDropped) {
    // A lone lead byte at the end, a lead byte followed by ASCII, and the byte 0xFF.
    EXPECT_EQ(gb18030ToUtf8("ab\xB1"), "ab" + kFffd);
    EXPECT_EQ(gb18030ToUtf8("\xB1 x"), kFffd + " x");
    EXPECT_EQ(gb18030ToUtf8("\xFF\xB1\xB1"), kFffd + "北");
    // Invalid UTF-8 towards GB18030 becomes the GB18030 form of U+FFFD.
    EXPECT_EQ(utf8ToGb18030("a\xC3"), "a\x84\x31\xA4\x37");
    EXPECT_EQ(gb18030ToUtf8(utf8ToGb18030("\xED\xA0\x80z")), kFffd + kFffd + kFffd + "z");
}

TEST(Codec, TheEuroByteOfWindowsFilesReadsAsTheEuroSign) {
    struct Case {
        std::string bytes;
        std::string text;
        bool euroByte;
    };
    const Case cases[] = {
        {"\x80\x35", "€5", true},
        {"a\x80", "a€", true},
        {"\xA2\xE3", "€", false},
        // 0x80 as the second byte of a pair is part of that character.
        {"\x81\x80", "\xE4\xBA\x90", false},
        {"\xFF", kFffd, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        bool sawEuroByte = !c.euroByte;
        EXPECT_EQ(gb18030ToUtf8(c.bytes, &sawEuroByte), c.text);
        EXPECT_EQ(sawEuroByte, c.euroByte);
    }
    // Written back as the file had it: the single byte only where asked for.
    EXPECT_EQ(utf8ToGb18030("€5"), "\xA2\xE3"
                                   "5");
    EXPECT_EQ(utf8ToGb18030("€5", true), "\x80\x35");
    EXPECT_EQ(utf8ToGb18030("北€€京\xC3", true), "\xB1\xB1\x80\x80\xBE\xA9\x84\x31\xA4\x37");
    EXPECT_EQ(utf8ToGb18030("", true), "");
}

// Runs of Chinese are decoded apart from the ASCII around them: the result must be the one of
// decoding the whole input, for broken and unassigned sequences too, wherever they stand.
TEST(Codec, Gb18030DecodesAsTheWholeInputWould) {
    const std::vector<std::string> pieces = {"a",
                                             "=",
                                             "\r\n",
                                             "12:30",
                                             "\xD5\xE6",
                                             "\xCA\xD7\xC1\xEC",
                                             "\x81\x30\x81\x30",
                                             "\x95\x32\x82\x36", // U+1F600, four bytes
                                             "\x80",             // the euro byte
                                             "\xFF",
                                             "\x81",             // a lead byte alone
                                             "\x81\x30",         // half of a four-byte sequence
                                             "\x84\x31\xA5\x30", // well-formed but beyond the table
                                             "\xFE\x39\xFE\x39",
                                             "\xA1\x7F",
                                             "\xA1\x40",
                                             "\x84\x31\xA4\x37"};
    std::mt19937 random(18030);
    for (int i = 0; i < 3000; ++i) {
        std::string bytes;
        const int count = static_cast<int>(random() % 12);
        for (int k = 0; k < count; ++k) {
            bytes += pieces[random() % pieces.size()];
        }
        EXPECT_EQ(gb18030ToUtf8(bytes), zorvane::testing::gb18030DecodedWhole(bytes))
            << testing::PrintToString(bytes);
    }
    // The same run again right after another.
    EXPECT_EQ(gb18030ToUtf8("\xD5\xE6=\xD5\xE6;\xBC\xD9=\xD5\xE6"), "真=真;假=真");
}

TEST(Codec, Utf16le) {
    EXPECT_EQ(utf16leToUtf8("A\0\x2D\x4E"s), "A中");
    EXPECT_EQ(utf8ToUtf16le("A中"), "A\0\x2D\x4E"s);
    // An odd trailing byte is dropped.
    EXPECT_EQ(utf16leToUtf8("A\0B"s), "A");
    EXPECT_EQ(utf16leToUtf8("B"), "");
    // Surrogate pair, then lone high and lone low surrogates.
    EXPECT_EQ(utf16leToUtf8("\x3D\xD8\x00\xDE"s), "😀");
    EXPECT_EQ(utf16leToUtf8("\x3D\xD8X\0"s), kFffd + "X");
    EXPECT_EQ(utf16leToUtf8("\x00\xDEX\0"s), kFffd + "X");
    EXPECT_EQ(utf16leToUtf8("X\0\x3D\xD8"s), "X" + kFffd);
    const std::string text = "😀 北京 \x01 ÿ";
    EXPECT_EQ(utf16leToUtf8(utf8ToUtf16le(text)), text);
}

TEST(Codec, Utf8ValidityAndRepair) {
    EXPECT_TRUE(isValidUtf8(""));
    EXPECT_TRUE(isValidUtf8("plain 北京 😀 " + kFffd));
    EXPECT_TRUE(isValidUtf8("\xF4\x8F\xBF\xBF"));
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));         // overlong
    EXPECT_FALSE(isValidUtf8("\xE0\x80\xAF"));     // overlong
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));     // surrogate
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80")); // above U+10FFFF
    EXPECT_FALSE(isValidUtf8("\xE4\xB8"));         // truncated
    EXPECT_FALSE(isValidUtf8("\x80"));
    // Maximal subparts: a truncated sequence is one replacement, not one per byte.
    EXPECT_EQ(repairUtf8("a\xE4\xB8z"), "a" + kFffd + "z");
    EXPECT_EQ(repairUtf8("\x80\x80"), kFffd + kFffd);
    EXPECT_EQ(repairUtf8("\xF0\x9F\x98"), kFffd);
    EXPECT_EQ(repairUtf8("北京"), "北京");
    EXPECT_TRUE(isValidUtf8(repairUtf8("\xFF\xC2\xE0\xA0\xF4\x90")));
}

TEST(Codec, ConcurrentUseFromSeveralThreads) {
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            for (int i = 0; i < 300; ++i) {
                const std::string text = "北京" + std::to_string(t * 1000 + i) + "😀";
                if (gb18030ToUtf8(utf8ToGb18030(text)) != text ||
                    utf16leToUtf8(utf8ToUtf16le(text)) != text) {
                    ++failures[static_cast<std::size_t>(t)];
                }
            }
        });
    }
    for (auto& th : threads) {
        th.join();
    }
    for (int f : failures) {
        EXPECT_EQ(f, 0);
    }
}
