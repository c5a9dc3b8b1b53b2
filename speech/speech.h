#pragma once
// Speaking a boss's name: text synthesised to 16-bit mono PCM in memory with libespeak-ng.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zorvane::speech {

// Synthesised speech: 16-bit signed mono samples at sampleRate Hz.
struct Speech {
    std::vector<std::int16_t> samples;
    int sampleRate = 0;
    bool empty() const { return samples.empty(); }
};

// True when the UTF-8 text holds a CJK ideograph; such texts are read with the Mandarin voice.
bool hasChineseCharacters(std::string_view text);

// Speaks the UTF-8 text into memory: the Mandarin voice when it holds Chinese characters,
// English otherwise. Empty or blank text, or a synthesiser that cannot start (its data
// missing), gives an empty result. Safe from any thread: calls are serialised, since the
// synthesiser keeps global state.
Speech synthesise(std::string_view text);

// A complete WAV file (RIFF, PCM, mono, 16 bit) holding the speech; "" for empty speech.
std::string toWav(const Speech& speech);

// What is said for an alert: the boss name and when it comes, in the language of the name.
// minutesLeft > 0: "<boss> 5 分钟后刷新" / "<boss> in 5 minutes"; otherwise "<boss> 已刷新" /
// "<boss> is up".
std::string alertText(std::string_view boss, int minutesLeft);

} // namespace zorvane::speech
