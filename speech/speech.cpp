#include "speech/speech.h"

#include "text/sharedlibrary.h"
#include "work/worker.h"

#include <algorithm>
#include <espeak-ng/speak_lib.h>

#include <cstring>
#include <mutex>
#include <string>

namespace zorvane::speech {

namespace {

#ifdef _WIN32
constexpr const char* kLibraryName = "libespeak-ng.dll";
#else
constexpr const char* kLibraryName = "libespeak-ng.so.1";
#endif

// The functions used, from the library opened on the first synthesis: espeak-ng brings
// an audio layer with PulseAudio and a set of codecs, which a program that never speaks
// should not map.
struct Espeak {
    decltype(&espeak_Initialize) initialize = nullptr;
    decltype(&espeak_SetSynthCallback) setSynthCallback = nullptr;
    decltype(&espeak_SetVoiceByName) setVoiceByName = nullptr;
    decltype(&espeak_Synth) synth = nullptr;
    decltype(&espeak_Terminate) terminate = nullptr;
};

// espeak-ng is one global, non-reentrant synthesiser: every use holds this lock, and the
// synthesis callback writes into the buffer of the call that holds it.
std::mutex g_mutex;
// Never closed: espeak-ng keeps memory in its own globals after espeak_Terminate, and
// unloading it would leave that memory unreachable.
text::SharedLibrary* g_library = nullptr;
Espeak g_espeak;
std::vector<std::int16_t>* g_sink = nullptr;
int g_sampleRate = 0; // 0: not started yet, -1: could not start

// Releases the synthesiser's buffers and voice data at exit, so leak checkers see a clean
// end. Declared after the lock, so it runs while the lock still exists.
struct Terminator {
    ~Terminator() {
        std::lock_guard lock(g_mutex);
        if (g_sampleRate > 0) {
            g_espeak.terminate();
            g_sampleRate = 0;
        }
    }
} g_terminator;

int collect(short* wav, int count, espeak_EVENT* /*events*/) {
    if (wav != nullptr && count > 0 && g_sink != nullptr) {
        g_sink->insert(g_sink->end(), wav, wav + count);
    }
    return 0; // go on
}

// Starts the synthesiser once; the lock is held.
bool ensureStarted() {
    if (g_sampleRate == 0) {
        g_sampleRate = -1;
        g_library = new text::SharedLibrary(kLibraryName);
        const text::SharedLibrary& l = *g_library;
        Espeak& e = g_espeak;
        const bool all = l.resolve(e.initialize, "espeak_Initialize") &&
                         l.resolve(e.setSynthCallback, "espeak_SetSynthCallback") &&
                         l.resolve(e.setVoiceByName, "espeak_SetVoiceByName") &&
                         l.resolve(e.synth, "espeak_Synth") &&
                         l.resolve(e.terminate, "espeak_Terminate");
        if (!all) {
            return false;
        }
        // The library starts a thread of its own here, which takes the caller's name; named
        // for the library meanwhile, it does not pass for the caller's in a thread list.
        const std::string caller = work::thisThreadName();
        work::nameThisThread("espeak-ng");
        // DONT_EXIT: a missing data directory must not end the whole program.
        const int rate =
            e.initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, espeakINITIALIZE_DONT_EXIT);
        work::nameThisThread(caller);
        if (rate > 0) {
            g_sampleRate = rate;
            e.setSynthCallback(collect);
        }
    }
    return g_sampleRate > 0;
}

// Decodes one UTF-8 sequence at text[i] and advances i past it. A stray byte or a sequence
// cut off by the end of the text counts as one unit and gives U+FFFD.
char32_t nextCodePoint(std::string_view text, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    int extra = -1;
    if (lead < 0x80) {
        extra = 0;
    } else if ((lead >> 5) == 0x6) {
        extra = 1;
    } else if ((lead >> 4) == 0xE) {
        extra = 2;
    } else if ((lead >> 3) == 0x1E) {
        extra = 3;
    }
    if (extra == 0) {
        ++i;
        return lead;
    }
    if (extra < 0 || text.size() - i <= static_cast<std::size_t>(extra)) {
        ++i;
        return 0xFFFD;
    }
    char32_t cp = lead & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
        cp = (cp << 6) | (static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]) & 0x3F);
    }
    i += static_cast<std::size_t>(extra) + 1;
    return cp;
}

bool isBlank(std::string_view text) {
    return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

void putLe(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

} // namespace

bool hasChineseCharacters(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const char32_t cp = nextCodePoint(text, i);
        if ((cp >= 0x3400 && cp <= 0x9FFF) || (cp >= 0xF900 && cp <= 0xFAFF) ||
            (cp >= 0x20000 && cp <= 0x3134F)) {
            return true;
        }
    }
    return false;
}

Speech synthesise(std::string_view text) {
    Speech speech;
    if (isBlank(text)) {
        return speech;
    }
    const std::string input(text); // espeak reads up to the terminating zero
    std::lock_guard lock(g_mutex);
    if (!ensureStarted()) {
        speech.failure = text::Message(text::MessageId::SpeechNoLibrary);
        return speech;
    }
    const char* voice = hasChineseCharacters(text) ? "cmn" : "en";
    if (g_espeak.setVoiceByName(voice) != EE_OK) {
        speech.failure =
            text::Message(text::MessageId::SpeechNoVoice, {text::Message::literal(voice)});
        return speech;
    }
    g_sink = &speech.samples;
    const espeak_ERROR result = g_espeak.synth(input.c_str(), input.size() + 1, 0, POS_CHARACTER, 0,
                                               espeakCHARS_UTF8, nullptr, nullptr);
    g_sink = nullptr;
    if (result != EE_OK) {
        speech.samples.clear();
        speech.failure = text::Message(text::MessageId::SpeechFailed,
                                       {text::Message::literal(std::to_string(result))});
        return speech;
    }
    speech.sampleRate = g_sampleRate;
    return speech;
}

std::string toWav(const Speech& speech) {
    if (speech.empty() || speech.sampleRate <= 0) {
        return {};
    }
    const auto dataBytes = static_cast<std::uint32_t>(speech.samples.size() * 2);
    const auto rate = static_cast<std::uint32_t>(speech.sampleRate);
    std::string out;
    out.reserve(44 + dataBytes);
    out += "RIFF";
    putLe(out, 36 + dataBytes, 4);
    out += "WAVEfmt ";
    putLe(out, 16, 4);       // fmt chunk size
    putLe(out, 1, 2);        // PCM
    putLe(out, 1, 2);        // mono
    putLe(out, rate, 4);     // samples per second
    putLe(out, rate * 2, 4); // bytes per second
    putLe(out, 2, 2);        // block align
    putLe(out, 16, 2);       // bits per sample
    out += "data";
    putLe(out, dataBytes, 4);
    for (std::int16_t s : speech.samples) {
        putLe(out, static_cast<std::uint16_t>(s), 2);
    }
    return out;
}

TimeLeft roundedTimeLeft(std::int64_t secondsLeft) {
    TimeLeft left{secondsLeft / 60, secondsLeft % 60};
    if (left.minutes > 0 && left.seconds <= kSpokenSlackSeconds) {
        left.seconds = 0;
    } else if (left.seconds >= 60 - kSpokenSlackSeconds) {
        ++left.minutes;
        left.seconds = 0;
    }
    return left;
}

namespace {

// "5 分钟" / "1 分 14 秒" or "5 minutes" / "1 minute 14 seconds".
std::string timeLeftWords(std::int64_t secondsLeft, bool chinese) {
    const auto [minutes, seconds] = roundedTimeLeft(secondsLeft);
    if (chinese) {
        std::string left;
        if (minutes > 0) {
            left = std::to_string(minutes) + (seconds > 0 ? " 分 " : " 分钟");
        }
        if (seconds > 0) {
            left += std::to_string(seconds) + " 秒";
        }
        return left;
    }
    const auto count = [](std::int64_t n, const char* one, const char* many) {
        return std::to_string(n) + (n == 1 ? one : many);
    };
    std::string left;
    if (minutes > 0) {
        left = count(minutes, " minute", " minutes");
    }
    if (seconds > 0) {
        left += (left.empty() ? "" : " ") + count(seconds, " second", " seconds");
    }
    return left;
}

} // namespace

std::string spokenAlert(std::string_view boss, std::int64_t secondsLeft) {
    return spokenAlert(boss, secondsLeft, hasChineseCharacters(boss));
}

std::string spokenAlert(std::string_view boss, std::int64_t secondsLeft, bool chinese) {
    const std::string name(boss);
    if (secondsLeft <= 0) {
        return name + (chinese ? " 已刷新" : " is up");
    }
    const std::string left = timeLeftWords(secondsLeft, chinese);
    return chinese ? name + " " + left + "后刷新" : name + " in " + left;
}

std::string spokenAlert(std::string_view boss, std::int64_t seconds, SpokenTopic topic) {
    const std::string name(boss);
    const bool chinese = hasChineseCharacters(boss);
    const std::string left = timeLeftWords(std::max<std::int64_t>(seconds, 1), chinese);
    switch (topic) {
    case SpokenTopic::WindowLead:
        return chinese ? name + " 窗口 " + left + "后开启" : name + " window opens in " + left;
    case SpokenTopic::WindowOpen:
        return chinese ? name + " 窗口已开启，最迟 " + left + "后刷新"
                       : name + " window open, up within " + left;
    case SpokenTopic::Unrecorded:
        return chinese ? name + " 已刷新 " + left + "，仍未记录击杀"
                       : name + " up for " + left + ", no kill recorded";
    }
    return name;
}

} // namespace zorvane::speech
