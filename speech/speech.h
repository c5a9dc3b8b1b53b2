#pragma once
// Speaking a boss's name: text synthesised to 16-bit mono PCM in memory with libespeak-ng.

#include "text/message.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zorvane::speech {

// Synthesised speech: 16-bit signed mono samples at sampleRate Hz.
struct Speech {
    std::vector<std::int16_t> samples;
    int sampleRate = 0;
    // Why nothing was synthesised for a text that is not blank; empty otherwise.
    text::Message failure;
    bool empty() const { return samples.empty(); }
};

// True when the UTF-8 text holds a CJK ideograph; such texts are read with the Mandarin voice.
bool hasChineseCharacters(std::string_view text);

// Speaks the UTF-8 text into memory: the Mandarin voice when it holds Chinese characters,
// English otherwise. Empty or blank text gives an empty result; so does a synthesiser that
// cannot start, has no voice (its data missing) or fails, with the reason in `failure`.
// Safe from any thread: calls are serialised, since the synthesiser keeps global state.
Speech synthesise(std::string_view text);

// A complete WAV file (RIFF, PCM, mono, 16 bit) holding the speech; "" for empty speech.
std::string toWav(const Speech& speech);

// Within this much of a whole minute the time left is said in whole minutes: a pass may
// find a row a second or two after its lead time.
inline constexpr std::int64_t kSpokenSlackSeconds = 2;

// The time left of an alert as it is said and shown: whole minutes within
// kSpokenSlackSeconds of one, else minutes and seconds (seconds alone under a minute).
struct TimeLeft {
    std::int64_t minutes = 0;
    std::int64_t seconds = 0;
};
TimeLeft roundedTimeLeft(std::int64_t secondsLeft);

// What is said for an alert: the boss name and the true time left, in the language of the
// name. secondsLeft > 0: "<boss> 5 分钟后刷新" / "<boss> in 5 minutes" near a whole minute,
// else "<boss> 1 分 14 秒后刷新" / "<boss> in 1 minute 14 seconds" (seconds alone under a
// minute); otherwise "<boss> 已刷新" / "<boss> is up".
std::string spokenAlert(std::string_view boss, std::int64_t secondsLeft);
// The same worded in Chinese or in English whatever the name (a spoken answer in the
// window's language).
std::string spokenAlert(std::string_view boss, std::int64_t secondsLeft, bool chinese);

// What a spawn rule's alerts say beside the countdown's.
enum class SpokenTopic {
    WindowLead, // "<boss> 窗口 5 分钟后开启" / "<boss> window opens in 5 minutes"
    WindowOpen, // "<boss> 窗口已开启，最迟 2 分钟后刷新" / "<boss> window open, up within 2
                // minutes"
    Unrecorded, // "<boss> 已刷新 3 分钟，仍未记录击杀" / "<boss> up for 3 minutes, no kill
                // recorded"
};
// secondsLeft: to the opening (WindowLead), to the window's end (WindowOpen); the seconds
// since the spawn (Unrecorded).
std::string spokenAlert(std::string_view boss, std::int64_t seconds, SpokenTopic topic);

} // namespace zorvane::speech
