#include "text/cleaning.h"

#include "text/codec.h"
#include "text/regexobject.h"

#include <cstddef>

namespace zorvane::text {

namespace {

// Every match of `pattern` in `text`, concatenated in order.
std::string collectMatches(std::string_view pattern, std::string_view text,
                           bool caseSensitive = false) {
    RegexObject re;
    re.create(pattern, text, caseSensitive);
    std::string out;
    for (int i = 1; i <= re.matchCount(); ++i) {
        out += re.matchText(i);
    }
    return out;
}

bool inRange(unsigned char b, unsigned char lo, unsigned char hi) {
    return b >= lo && b <= hi;
}

// The double-byte ranges that count as Chinese characters.
bool isHanziPair(unsigned char b1, unsigned char b2) {
    const bool trailLow = inRange(b2, 0x40, 0x7E) || inRange(b2, 0x80, 0xA1);
    return (inRange(b1, 0xB0, 0xF7) && inRange(b2, 0xA1, 0xFE)) ||
           (inRange(b1, 0x81, 0xA0) && trailLow) || (inRange(b1, 0xAA, 0xB0) && trailLow);
}

} // namespace

std::string extractChinese(std::string_view text, bool regexMode, bool stripSpaces) {
    if (!regexMode) {
        return extractHanziBytes(text);
    }
    std::string collected = collectMatches("[^\\x20-\\x7f]", text);
    if (stripSpaces) {
        RegexObject re;
        re.create("\\s", collected);
        collected = re.replace();
    }
    return collected;
}

std::string extractHanziBytes(std::string_view text) {
    const std::string bytes = utf8ToGb18030(text);
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    std::string kept;
    std::size_t i = 0;
    while (i + 1 < bytes.size()) {
        const unsigned char b1 = at(i);
        const unsigned char b2 = at(i + 1);
        if (b1 >= 0x81 && inRange(b2, 0x30, 0x39) && i + 3 < bytes.size()) {
            // A four-byte character (outside GBK): never taken, and its bytes are never
            // read as pairs.
            i += 4;
        } else if (isHanziPair(b1, b2)) {
            kept += static_cast<char>(b1);
            kept += static_cast<char>(b2);
            i += 2;
        } else if (b1 > 0x7F && b2 > 0x7F) {
            i += 2;
        } else {
            ++i;
        }
    }
    return gb18030ToUtf8(kept);
}

std::string extractLetters(std::string_view text, int kind) {
    switch (kind) {
    case 0:
        return collectMatches("[a-zA-Z]", text, true);
    case 1:
        return collectMatches("[a-z]", text, true);
    case 2:
        return collectMatches("[A-Z]", text, true);
    default:
        return {};
    }
}

std::string extractDisallowedChars(std::string_view text) {
    // Both letter cases spelled out instead of matching without case: Unicode case
    // folding would let the Kelvin sign and the long s pass as 'k' and 's'.
    return collectMatches("[^0-9a-zA-Z\\u4e00-\\u9fa5]", text, true);
}

} // namespace zorvane::text
