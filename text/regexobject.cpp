#include "text/regexobject.h"

#include "text/codec.h"
#include "text/textops.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zorvane::text {

namespace {

// Bounds the backtracking of a single match attempt so that a pathological pattern ends in
// "no further match" instead of hanging the caller.
constexpr std::uint32_t kMatchLimit = 2'000'000;
constexpr std::uint32_t kDepthLimit = 100'000;
constexpr std::uint32_t kHeapLimitKib = 64 * 1024;

struct CodeDeleter {
    void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
struct MatchDataDeleter {
    void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};
struct MatchContextDeleter {
    void operator()(pcre2_match_context* context) const { pcre2_match_context_free(context); }
};

// Byte offset and length of a match or group; offset -1 for a group that took no part.
struct Span {
    long offset = -1;
    std::size_t length = 0;
};

std::size_t charLengthAt(std::string_view text, std::size_t pos) {
    std::size_t next = pos;
    nextCodePoint(text, next);
    return next - pos;
}

} // namespace

struct RegexObject::State {
    std::string pattern;
    std::string subject;
    bool compiled = false;
    int groupCount = 0;
    // One entry per match: element 0 is the whole match, then each capturing group.
    std::vector<std::vector<Span>> matches;

    const Span* span(int index, int group) const {
        if (index < 1 || static_cast<std::size_t>(index) > matches.size() || group < 0 ||
            group > groupCount) {
            return nullptr;
        }
        return &matches[static_cast<std::size_t>(index - 1)][static_cast<std::size_t>(group)];
    }

    std::string spanText(const Span* s, long* position) const {
        if (s == nullptr || s->offset < 0) {
            if (position != nullptr) {
                *position = -1;
            }
            return {};
        }
        if (position != nullptr) {
            *position = s->offset;
        }
        return subject.substr(static_cast<std::size_t>(s->offset), s->length);
    }
};

RegexObject::RegexObject() : m_state(std::make_unique<State>()) {}

RegexObject::~RegexObject() = default;

bool RegexObject::create(std::string_view pattern, std::string_view subject, bool caseSensitive,
                         bool multiline, bool global, bool quoteMarker) {
    State& st = *m_state;
    st = State{};
    st.pattern = quoteMarker ? replaceAll(pattern, "#引号", "\"") : std::string(pattern);
    st.subject = repairUtf8(subject);

    // ALT_BSUX gives the script dialect: \xhh and \uhhhh with exactly two and four digits,
    // anything shorter being the letter itself. The dot never matches a line break (the
    // dialect has no single-line mode).
    std::uint32_t options = PCRE2_UTF | PCRE2_ALT_BSUX;
    if (!caseSensitive) {
        options |= PCRE2_CASELESS;
    }
    if (multiline) {
        options |= PCRE2_MULTILINE;
    }
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    const std::unique_ptr<pcre2_code, CodeDeleter> code(
        pcre2_compile(reinterpret_cast<PCRE2_SPTR>(st.pattern.data()), st.pattern.size(), options,
                      &errorCode, &errorOffset, nullptr));
    if (!code) {
        return false;
    }
    st.compiled = true;
    std::uint32_t captures = 0;
    pcre2_pattern_info(code.get(), PCRE2_INFO_CAPTURECOUNT, &captures);
    st.groupCount = static_cast<int>(captures);

    const std::unique_ptr<pcre2_match_data, MatchDataDeleter> data(
        pcre2_match_data_create_from_pattern(code.get(), nullptr));
    const std::unique_ptr<pcre2_match_context, MatchContextDeleter> context(
        pcre2_match_context_create(nullptr));
    if (!data || !context) {
        st = State{};
        return false;
    }
    pcre2_set_match_limit(context.get(), kMatchLimit);
    pcre2_set_depth_limit(context.get(), kDepthLimit);
    pcre2_set_heap_limit(context.get(), kHeapLimitKib);

    const auto* subjectPtr = reinterpret_cast<PCRE2_SPTR>(st.subject.data());
    const std::size_t size = st.subject.size();
    std::size_t start = 0;
    while (start <= size) {
        // The subject was repaired above, so PCRE2 need not validate it on every call.
        const int rc = pcre2_match(code.get(), subjectPtr, size, start, PCRE2_NO_UTF_CHECK,
                                   data.get(), context.get());
        if (rc < 0) {
            break; // no match, or a resource limit hit: either way no further matches
        }
        const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data.get());
        std::vector<Span> spans(static_cast<std::size_t>(st.groupCount) + 1);
        const auto pairs = static_cast<std::size_t>(rc == 0 ? 1 : rc);
        for (std::size_t g = 0; g < spans.size() && g < pairs; ++g) {
            const PCRE2_SIZE from = ovector[2 * g];
            const PCRE2_SIZE to = ovector[2 * g + 1];
            if (from != PCRE2_UNSET && to >= from) {
                spans[g] = Span{static_cast<long>(from), to - from};
            }
        }
        const std::size_t matchStart = ovector[0];
        const std::size_t matchEnd = ovector[1] < matchStart ? matchStart : ovector[1];
        if (spans[0].offset < 0) {
            spans[0] = Span{static_cast<long>(matchStart), 0};
        }
        st.matches.push_back(std::move(spans));
        if (!global) {
            break;
        }
        if (matchEnd > matchStart) {
            start = matchEnd;
        } else if (matchStart < size) {
            // An empty match: step over one character, never into the middle of one.
            start = matchStart + charLengthAt(st.subject, matchStart);
        } else {
            break;
        }
    }
    return true;
}

std::string RegexObject::replace(std::string_view replacement) const {
    const State& st = *m_state;
    if (!st.compiled) {
        return {};
    }
    std::string out;
    std::size_t copied = 0;
    for (std::size_t m = 0; m < st.matches.size(); ++m) {
        const std::vector<Span>& spans = st.matches[m];
        const auto matchStart = static_cast<std::size_t>(spans[0].offset);
        const std::size_t matchEnd = matchStart + spans[0].length;
        if (matchStart < copied) {
            continue; // cannot happen with forward matching; guards against overlap
        }
        out.append(st.subject, copied, matchStart - copied);
        const auto groupText = [&](int g) -> std::string_view {
            const Span& s = spans[static_cast<std::size_t>(g)];
            if (s.offset < 0) {
                return {};
            }
            return std::string_view(st.subject)
                .substr(static_cast<std::size_t>(s.offset), s.length);
        };
        for (std::size_t i = 0; i < replacement.size(); ++i) {
            const char c = replacement[i];
            if (c != '$' || i + 1 >= replacement.size()) {
                out += c;
                continue;
            }
            const char n = replacement[i + 1];
            if (n == '$') {
                out += '$';
                ++i;
            } else if (n == '&') {
                out.append(groupText(0));
                ++i;
            } else if (n == '`') {
                out.append(st.subject, 0, matchStart);
                ++i;
            } else if (n == '\'') {
                out.append(st.subject, matchEnd, std::string::npos);
                ++i;
            } else if (n >= '0' && n <= '9') {
                // Two digits when they name an existing group, else one digit, else literal.
                const int one = n - '0';
                const bool twoDigits = i + 2 < replacement.size() && replacement[i + 2] >= '0' &&
                                       replacement[i + 2] <= '9';
                const int two = twoDigits ? one * 10 + (replacement[i + 2] - '0') : -1;
                if (two >= 1 && two <= st.groupCount) {
                    out.append(groupText(two));
                    i += 2;
                } else if (one >= 1 && one <= st.groupCount) {
                    out.append(groupText(one));
                    ++i;
                } else {
                    out += c;
                }
            } else {
                out += c;
            }
        }
        copied = matchEnd;
    }
    out.append(st.subject, copied, std::string::npos);
    return out;
}

int RegexObject::matchCount() const {
    return static_cast<int>(m_state->matches.size());
}

std::string RegexObject::matchText(int index, long* position) const {
    return m_state->spanText(m_state->span(index, 0), position);
}

std::string RegexObject::subMatchText(int index, int group, long* position) const {
    return m_state->spanText(group < 1 ? nullptr : m_state->span(index, group), position);
}

int RegexObject::subMatchCount() const {
    return m_state->matches.empty() ? 0 : m_state->groupCount;
}

std::string RegexObject::getPattern() const {
    return m_state->pattern;
}

} // namespace zorvane::text
