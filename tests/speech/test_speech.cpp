#include "speech/speech.h"
#include "tests/support/mappedlibrary.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <ostream>
#include <thread>

using namespace zorvane::speech;

namespace {

double rms(const std::vector<std::int16_t>& samples) {
    double sum = 0;
    for (std::int16_t s : samples) {
        sum += static_cast<double>(s) * s;
    }
    return samples.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(samples.size()));
}

std::uint32_t readLe(const std::string& bytes, std::size_t at, int width) {
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    }
    return value;
}

struct SpokenCase {
    const char* text;
};

void PrintTo(const SpokenCase& c, std::ostream* os) {
    *os << c.text;
}

class SpokenName : public ::testing::TestWithParam<SpokenCase> {};

// Half a second at least and clearly louder than silence: a voice that failed to load, or a
// callback that kept nothing, gives no samples or only zeros.
TEST_P(SpokenName, IsAudibleSpeech) {
    const Speech speech = synthesise(GetParam().text);
    ASSERT_GT(speech.sampleRate, 0);
    EXPECT_GT(speech.samples.size(), static_cast<std::size_t>(speech.sampleRate / 2));
    EXPECT_GT(rms(speech.samples), 300.0);
}

INSTANTIATE_TEST_SUITE_P(Names, SpokenName,
                         ::testing::Values(SpokenCase{"黑龙王 5 分钟后刷新"},
                                           SpokenCase{"Black Dragon in 5 minutes"},
                                           SpokenCase{"赤兔 Boss"}));

#ifdef __linux__
// The synthesiser and the audio libraries it brings are mapped only once something is
// spoken; a blank text speaks nothing and opens nothing.
TEST(Speech, TheLibraryIsOpenedOnlyWhenSomethingIsSpoken) {
    ASSERT_FALSE(zorvane::testing::libraryMapped("libespeak-ng"))
        << "each test runs in a process of its own";
    EXPECT_TRUE(synthesise("   ").empty());
    EXPECT_FALSE(zorvane::testing::libraryMapped("libespeak-ng"));
    EXPECT_FALSE(synthesise("Red Hare").empty());
    EXPECT_TRUE(zorvane::testing::libraryMapped("libespeak-ng"));
}
#endif

TEST(Speech, EmptyOrBlankTextGivesNothing) {
    for (const char* text : {"", " ", " \t\r\n"}) {
        const Speech speech = synthesise(text);
        EXPECT_TRUE(speech.empty()) << '"' << text << '"';
        EXPECT_EQ(toWav(speech), "");
    }
}

// A Chinese name read with the English voice is spelt out as "Chinese letter" per character,
// which takes far longer than the Mandarin reading; the two voices must also sound different.
TEST(Speech, ChineseNameUsesMandarinVoice) {
    const Speech chinese = synthesise("黑龙王");
    ASSERT_FALSE(chinese.empty());
    EXPECT_LT(chinese.samples.size(), static_cast<std::size_t>(chinese.sampleRate * 3));
}

// The synthesiser is one global object: calls from several threads at once must each get
// their own complete speech, as long as when made alone (the synthesiser varies a sample
// count slightly from call to call, so lengths are compared, not samples). Mixed-up calls
// give one of them nothing, both halves, or an empty result.
TEST(Speech, ConcurrentCallsGetTheirOwnSpeech) {
    const Speech alone = synthesise("Red Hare in 1 minute");
    const Speech aloneZh = synthesise("赤兔 已刷新");
    ASSERT_FALSE(alone.empty());
    Speech a;
    Speech b;
    std::thread first([&] {
        for (int i = 0; i < 3; ++i) {
            a = synthesise("Red Hare in 1 minute");
        }
    });
    std::thread second([&] {
        for (int i = 0; i < 3; ++i) {
            b = synthesise("赤兔 已刷新");
        }
    });
    first.join();
    second.join();
    const auto near = [](const Speech& got, const Speech& expected) {
        const double ratio =
            static_cast<double>(got.samples.size()) / static_cast<double>(expected.samples.size());
        return ratio > 0.9 && ratio < 1.1 && rms(got.samples) > 300.0;
    };
    EXPECT_TRUE(near(a, alone)) << a.samples.size() << " vs " << alone.samples.size();
    EXPECT_TRUE(near(b, aloneZh)) << b.samples.size() << " vs " << aloneZh.samples.size();
}

TEST(Speech, WavHeaderDescribesTheSamples) {
    Speech speech;
    speech.sampleRate = 22050;
    speech.samples = {0, 1, -1, 32767, -32768};
    const std::string wav = toWav(speech);
    ASSERT_EQ(wav.size(), 44u + 10u);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(readLe(wav, 4, 4), wav.size() - 8);
    EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(readLe(wav, 20, 2), 1u);         // PCM
    EXPECT_EQ(readLe(wav, 22, 2), 1u);         // mono
    EXPECT_EQ(readLe(wav, 24, 4), 22050u);     // rate
    EXPECT_EQ(readLe(wav, 28, 4), 22050u * 2); // bytes per second
    EXPECT_EQ(readLe(wav, 34, 2), 16u);        // bits
    EXPECT_EQ(wav.substr(36, 4), "data");
    EXPECT_EQ(readLe(wav, 40, 4), 10u);
    EXPECT_EQ(static_cast<std::int16_t>(readLe(wav, 44 + 6, 2)), 32767);
    EXPECT_EQ(static_cast<std::int16_t>(readLe(wav, 44 + 8, 2)), -32768);
}

struct ChineseCase {
    const char* text;
    bool chinese;
};

void PrintTo(const ChineseCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(std::string(c.text));
}

class ChineseDetection : public ::testing::TestWithParam<ChineseCase> {};

TEST_P(ChineseDetection, PicksTheVoice) {
    EXPECT_EQ(hasChineseCharacters(GetParam().text), GetParam().chinese) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ChineseDetection,
    ::testing::Values(ChineseCase{"", false}, ChineseCase{"Dragon", false}, ChineseCase{"龙", true},
                      ChineseCase{"Boss 一号", true},
                      ChineseCase{"，。！", false},          // punctuation alone is not Chinese
                      ChineseCase{"ドラゴン", false},        // kana
                      ChineseCase{"\xF0\xA0\x80\x80", true}, // U+20000, extension B
                      ChineseCase{"\xE9\xBE", false},        // cut-off sequence
                      ChineseCase{"\xFF\xFE龙", true}));     // stray bytes before a hanzi

} // namespace

// An alert says the time truly left: a warning found late (at start, after an absence,
// when a lead time falls inside a cycle that had just begun) must not claim the lead time.
TEST(SpokenAlert, SaysTheTimeTrulyLeft) {
    struct Case {
        const char* boss;
        std::int64_t secondsLeft;
        const char* said;
    };
    // clang-format off
    const Case cases[] = {
        {"血魔", 300, "血魔 5 分钟后刷新"},
        {"血魔", 299, "血魔 5 分钟后刷新"},
        {"血魔", 74, "血魔 1 分 14 秒后刷新"},
        {"血魔", 40, "血魔 40 秒后刷新"},
        {"血魔", 60, "血魔 1 分钟后刷新"},
        {"血魔", 3600, "血魔 60 分钟后刷新"},
        {"血魔", 0, "血魔 已刷新"},
        {"血魔", -12, "血魔 已刷新"},
        {"Black Dragon", 300, "Black Dragon in 5 minutes"},
        {"Black Dragon", 74, "Black Dragon in 1 minute 14 seconds"},
        {"Black Dragon", 61, "Black Dragon in 1 minute"},
        {"Black Dragon", 1, "Black Dragon in 1 second"},
        {"Black Dragon", 130, "Black Dragon in 2 minutes 10 seconds"},
        {"Black Dragon", 0, "Black Dragon is up"},
    };
    // clang-format on
    for (const Case& c : cases) {
        EXPECT_EQ(spokenAlert(c.boss, c.secondsLeft), c.said) << c.secondsLeft;
    }
}

TEST(SpokenAlert, WindowsAndUnrecordedSpawnsSayTheirTime) {
    struct Case {
        const char* boss;
        std::int64_t seconds;
        SpokenTopic topic;
        const char* said;
    };
    // clang-format off
    const Case cases[] = {
        {"血魔", 300, SpokenTopic::WindowLead, "血魔 窗口 5 分钟后开启"},
        {"血魔", 1800, SpokenTopic::WindowOpen, "血魔 窗口已开启，最迟 30 分钟后刷新"},
        {"血魔", 74, SpokenTopic::WindowOpen, "血魔 窗口已开启，最迟 1 分 14 秒后刷新"},
        {"血魔", 180, SpokenTopic::Unrecorded, "血魔 已刷新 3 分钟，仍未记录击杀"},
        {"Black Dragon", 300, SpokenTopic::WindowLead, "Black Dragon window opens in 5 minutes"},
        {"Black Dragon", 60, SpokenTopic::WindowOpen, "Black Dragon window open, up within 1 minute"},
        {"Black Dragon", 180, SpokenTopic::Unrecorded, "Black Dragon up for 3 minutes, no kill recorded"},
        // A late pass never says "0": at least a second.
        {"Black Dragon", 0, SpokenTopic::WindowOpen, "Black Dragon window open, up within 1 second"},
    };
    // clang-format on
    for (const Case& c : cases) {
        EXPECT_EQ(spokenAlert(c.boss, c.seconds, c.topic), c.said) << c.seconds;
    }
}
