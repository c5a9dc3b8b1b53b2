#include "text/unescape.h"

#include "text/codec.h"
#include "text/textops.h"

#include <cstddef>
#include <vector>

namespace zorvane::text {

namespace {

constexpr std::string_view kLineBreakMarker = "{$}";
constexpr std::string_view kRightQuote = "\xE2\x80\x99"; // U+2019

using Units = std::vector<char16_t>;

Units toUnits(std::string_view text) {
    const std::string bytes = utf8ToUtf16le(text);
    Units units(bytes.size() / 2);
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                         (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    }
    return units;
}

std::string fromUnits(const Units& units) {
    std::string bytes;
    bytes.reserve(units.size() * 2);
    for (const char16_t u : units) {
        bytes += static_cast<char>(u & 0xFF);
        bytes += static_cast<char>(u >> 8);
    }
    return utf16leToUtf8(bytes);
}

int hexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if (c >= u'a' && c <= u'f') {
        return c - u'a' + 10;
    }
    if (c >= u'A' && c <= u'F') {
        return c - u'A' + 10;
    }
    return -1;
}

// The value of `count` hex digits at `pos`, or -1 when there are not that many.
long hexAt(const Units& in, std::size_t pos, std::size_t count) {
    if (pos + count > in.size()) {
        return -1;
    }
    long value = 0;
    for (std::size_t k = 0; k < count; ++k) {
        const int digit = hexValue(in[pos + k]);
        if (digit < 0) {
            return -1;
        }
        value = value * 16 + digit;
    }
    return value;
}

bool isOctal(char16_t c) {
    return c >= u'0' && c <= u'7';
}

// The escapes of a single-quoted script string literal. A lone line break and a trailing
// backslash, which would end or break such a literal, are kept as they are.
Units applyLiteralEscapes(const Units& in) {
    Units out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] != u'\\' || i + 1 == in.size()) {
            out.push_back(in[i]);
            continue;
        }
        const char16_t c = in[++i];
        switch (c) {
        case u'b':
            out.push_back(u'\b');
            break;
        case u'f':
            out.push_back(u'\f');
            break;
        case u'n':
            out.push_back(u'\n');
            break;
        case u'r':
            out.push_back(u'\r');
            break;
        case u't':
            out.push_back(u'\t');
            break;
        case u'v':
            out.push_back(u'\v');
            break;
        case u'x':
        case u'u': {
            const std::size_t digits = c == u'x' ? 2 : 4;
            const long value = hexAt(in, i + 1, digits);
            if (value < 0) {
                out.push_back(c); // too few digits: the letter itself
            } else {
                out.push_back(static_cast<char16_t>(value));
                i += digits;
            }
            break;
        }
        default:
            if (isOctal(c)) {
                // Legacy octal: up to three digits while the value stays within \377.
                unsigned value = c - u'0';
                const std::size_t maxDigits = c <= u'3' ? 3 : 2;
                std::size_t used = 1;
                while (used < maxDigits && i + 1 < in.size() && isOctal(in[i + 1])) {
                    value = value * 8 + (in[++i] - u'0');
                    ++used;
                }
                out.push_back(static_cast<char16_t>(value));
            } else {
                out.push_back(c);
            }
        }
    }
    return out;
}

// %hh gives U+00hh and %uhhhh gives that code unit; any other percent sign stays.
Units applyUnescape(const Units& in) {
    Units out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] == u'%') {
            if (i + 1 < in.size() && in[i + 1] == u'u') {
                if (const long value = hexAt(in, i + 2, 4); value >= 0) {
                    out.push_back(static_cast<char16_t>(value));
                    i += 5;
                    continue;
                }
            }
            if (const long value = hexAt(in, i + 1, 2); value >= 0) {
                out.push_back(static_cast<char16_t>(value));
                i += 2;
                continue;
            }
        }
        out.push_back(in[i]);
    }
    return out;
}

} // namespace

std::string unescapeText(std::string_view text) {
    // Line breaks and apostrophes are protected by markers while the escapes are undone.
    std::string prepared = replaceAll(text, "\r\n", kLineBreakMarker);
    if (!prepared.empty() && prepared.front() == '\r') {
        prepared.erase(0, 1);
    }
    prepared = replaceAll(prepared, "\\u", "%u");
    prepared = replaceAll(prepared, "'", kRightQuote);

    std::string result = fromUnits(applyUnescape(applyLiteralEscapes(toUnits(prepared))));
    if (result.empty()) {
        result = bytesAsUtf16Text(prepared);
    }
    result = replaceAll(result, kRightQuote, "'");
    return replaceAll(result, kLineBreakMarker, "\r\n");
}

std::string bytesAsUtf16Text(std::string_view bytes) {
    return utf16leToUtf8(bytes);
}

} // namespace zorvane::text
