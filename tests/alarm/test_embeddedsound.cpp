#include "alarm/embeddedsound.h"
#include "tests/alarm/wavfiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <thread>
#include <vector>

using namespace zorvane::alarm;
using namespace zorvane::alarm::testing;

namespace {

constexpr std::size_t kDataStart = 44;
constexpr std::size_t kDataSize = 4'607'992;
constexpr std::size_t kFrameRate = 44100;

TEST(EmbeddedSound, HasTheFixedWavLayout) {
    const std::string& wav = embeddedAlarmSound();
    ASSERT_EQ(wav.size(), 4'608'044u);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(le32(wav, 4), 4'608'036u);
    EXPECT_EQ(wav.substr(8, 4), "WAVE");
    EXPECT_EQ(wav.substr(12, 4), "fmt ");
    EXPECT_EQ(le32(wav, 16), 16u);
    EXPECT_EQ(le16(wav, 20), 1u);      // PCM
    EXPECT_EQ(le16(wav, 22), 2u);      // channels
    EXPECT_EQ(le32(wav, 24), 44100u);  // frames per second
    EXPECT_EQ(le32(wav, 28), 176400u); // bytes per second
    EXPECT_EQ(le16(wav, 32), 4u);      // block alignment
    EXPECT_EQ(le16(wav, 34), 16u);     // bits per sample
    EXPECT_EQ(wav.substr(36, 4), "data");
    EXPECT_EQ(le32(wav, 40), kDataSize);
    // The 8 bytes after the samples are a chunk header of an empty chunk.
    const std::size_t tail = kDataStart + kDataSize;
    EXPECT_EQ(wav.size() - tail, 8u);
    for (std::size_t i = tail; i < tail + 4; ++i) {
        EXPECT_TRUE(std::isprint(static_cast<unsigned char>(wav[i]))) << i;
    }
    EXPECT_EQ(le32(wav, tail + 4), 0u);
}

TEST(EmbeddedSound, IsLoudWithoutClippingAndEndsInSilence) {
    const std::string& wav = embeddedAlarmSound();
    int peak = 0;
    long long differingChannels = 0;
    for (std::size_t at = kDataStart; at < kDataStart + kDataSize; at += 4) {
        const int left = sample16(wav, at);
        const int right = sample16(wav, at + 2);
        peak = std::max({peak, std::abs(left), std::abs(right)});
        differingChannels += left != right;
    }
    EXPECT_LT(peak, static_cast<int>(0.9 * 32768));
    EXPECT_GT(peak, static_cast<int>(0.5 * 32768));
    EXPECT_GT(differingChannels, 0) << "both channels carry the same signal";
    // Ending on a sample far from zero would click at the end of every alarm.
    const std::string lastTenth =
        wav.substr(kDataStart + kDataSize - kFrameRate / 10 * 4, kFrameRate / 10 * 4);
    EXPECT_FALSE(hasSound(lastTenth));
}

TEST(EmbeddedSound, RepeatsWithPausesAcrossTheWholeSound) {
    const std::string& wav = embeddedAlarmSound();
    // Quarter-second windows of the left channel: sound in each of the 26 seconds,
    // and a silent pause between the repetitions.
    const std::size_t window = kFrameRate / 4;
    const std::size_t frames = kDataSize / 4;
    int silentWindows = 0;
    std::vector<bool> secondHasSound(frames / kFrameRate + 1, false);
    for (std::size_t first = 0; first + window <= frames; first += window) {
        bool any = false;
        for (std::size_t f = first; f < first + window && !any; ++f) {
            any = std::abs(sample16(wav, kDataStart + 4 * f)) > 300;
        }
        silentWindows += !any;
        if (any) {
            secondHasSound[first / kFrameRate] = true;
        }
    }
    EXPECT_GE(silentWindows, 8);
    const auto loudSeconds = std::count(secondHasSound.begin(), secondHasSound.end(), true);
    EXPECT_GE(loudSeconds, 20);
}

TEST(EmbeddedSound, IsTheSameSoundFromEveryThreadAndEveryCall) {
    // Made anew on each call: the calls must agree byte for byte, also concurrently.
    const std::string reference = embeddedAlarmSound();
    std::vector<std::string> seen(3);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&seen, i] { seen[i] = embeddedAlarmSound(); });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    for (const std::string& s : seen) {
        EXPECT_TRUE(s == reference);
    }
    EXPECT_EQ(reference.size(), 4'608'044u);
}

} // namespace
