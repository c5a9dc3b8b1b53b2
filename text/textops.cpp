#include "text/textops.h"

#include "text/codec.h"

#include <cstddef>

namespace zorvane::text {

namespace {

bool isContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

char foldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// True when byte offset `p` starts a character: not inside a well-formed multi-byte sequence
// (a stray continuation byte counts as a character of its own).
bool isBoundary(std::string_view text, std::size_t p) {
    if (p == 0 || p >= text.size() || !isContinuation(text[p])) {
        return true;
    }
    const std::size_t lowest = p >= 3 ? p - 3 : 0;
    for (std::size_t q = p; q-- > lowest;) {
        if (!isContinuation(text[q])) {
            std::size_t end = q;
            nextCodePoint(text, end);
            return end <= p;
        }
    }
    return true;
}

bool equalAt(std::string_view text, std::size_t p, std::string_view needle, bool foldCase) {
    if (!foldCase) {
        return text.compare(p, needle.size(), needle) == 0;
    }
    for (std::size_t i = 0; i < needle.size(); ++i) {
        if (foldAscii(text[p + i]) != foldAscii(needle[i])) {
            return false;
        }
    }
    return true;
}

} // namespace

long find(std::string_view text, std::string_view needle, long from, bool foldCase) {
    if (from < 0) {
        from = 0;
    }
    const auto start = static_cast<std::size_t>(from);
    if (start > text.size()) {
        return -1;
    }
    if (needle.empty()) {
        return from;
    }
    if (needle.size() > text.size()) {
        return -1;
    }
    if (!foldCase) {
        for (std::size_t p = text.find(needle, start); p != std::string_view::npos;
             p = text.find(needle, p + 1)) {
            if (isBoundary(text, p)) {
                return static_cast<long>(p);
            }
        }
        return -1;
    }
    for (std::size_t p = start; p + needle.size() <= text.size(); ++p) {
        if (equalAt(text, p, needle, true) && isBoundary(text, p)) {
            return static_cast<long>(p);
        }
    }
    return -1;
}

long findLast(std::string_view text, std::string_view needle, bool foldCase) {
    if (needle.empty()) {
        return static_cast<long>(text.size());
    }
    if (needle.size() > text.size()) {
        return -1;
    }
    for (std::size_t p = text.size() - needle.size() + 1; p-- > 0;) {
        if (equalAt(text, p, needle, foldCase) && isBoundary(text, p)) {
            return static_cast<long>(p);
        }
    }
    return -1;
}

bool equals(std::string_view a, std::string_view b, bool foldCase) {
    return a.size() == b.size() && equalAt(a, 0, b, foldCase);
}

std::vector<std::string_view> words(std::string_view text) {
    const auto white = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    std::vector<std::string_view> pieces;
    std::size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && white(text[pos])) {
            ++pos;
        }
        const std::size_t start = pos;
        while (pos < text.size() && !white(text[pos])) {
            ++pos;
        }
        if (pos > start) {
            pieces.push_back(text.substr(start, pos - start));
        }
    }
    return pieces;
}

std::vector<std::string> split(std::string_view text, std::string_view separator) {
    std::vector<std::string> pieces;
    if (text.empty()) {
        return pieces;
    }
    if (separator.empty()) {
        pieces.emplace_back(text);
        return pieces;
    }
    std::size_t pos = 0;
    for (long hit = find(text, separator, 0); hit >= 0;
         hit = find(text, separator, static_cast<long>(pos))) {
        pieces.emplace_back(text.substr(pos, static_cast<std::size_t>(hit) - pos));
        pos = static_cast<std::size_t>(hit) + separator.size();
    }
    if (pos < text.size()) {
        pieces.emplace_back(text.substr(pos));
    }
    return pieces;
}

std::string replaceAll(std::string_view text, std::string_view from, std::string_view to,
                       bool foldCase) {
    if (from.empty()) {
        return std::string(text);
    }
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    for (long hit = find(text, from, 0, foldCase); hit >= 0;
         hit = find(text, from, static_cast<long>(pos), foldCase)) {
        out.append(text.substr(pos, static_cast<std::size_t>(hit) - pos));
        out.append(to);
        pos = static_cast<std::size_t>(hit) + from.size();
    }
    out.append(text.substr(pos));
    return out;
}

std::string trim(std::string_view text) {
    constexpr std::string_view ideographicSpace = "\xE3\x80\x80";
    bool changed = true;
    while (changed && !text.empty()) {
        changed = false;
        if (text.front() == ' ') {
            text.remove_prefix(1);
            changed = true;
        } else if (text.starts_with(ideographicSpace)) {
            text.remove_prefix(ideographicSpace.size());
            changed = true;
        }
    }
    changed = true;
    while (changed && !text.empty()) {
        changed = false;
        if (text.back() == ' ') {
            text.remove_suffix(1);
            changed = true;
        } else if (text.ends_with(ideographicSpace)) {
            text.remove_suffix(ideographicSpace.size());
            changed = true;
        }
    }
    return std::string(text);
}

std::string toUpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

std::string toLowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = foldAscii(c);
    }
    return out;
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (foldAscii(a[i]) != foldAscii(b[i])) {
            return false;
        }
    }
    return true;
}

long charCount(std::string_view text) {
    long count = 0;
    for (std::size_t pos = 0; pos < text.size(); ++count) {
        nextCodePoint(text, pos);
    }
    return count;
}

std::string leftChars(std::string_view text, long n) {
    std::size_t pos = 0;
    for (long i = 0; i < n && pos < text.size(); ++i) {
        nextCodePoint(text, pos);
    }
    return std::string(text.substr(0, pos));
}

std::string rightChars(std::string_view text, long n) {
    if (n <= 0) {
        return {};
    }
    long skip = charCount(text) - n;
    std::size_t pos = 0;
    for (; skip > 0; --skip) {
        nextCodePoint(text, pos);
    }
    return std::string(text.substr(pos));
}

} // namespace zorvane::text
