#include "text/numbers.h"

#include "text/codec.h"

#include <array>
#include <charconv>
#include <cstddef>
#include <limits>
#include <system_error>

namespace zorvane::text {

namespace {

// The ASCII character for a character whose GBK form is A3 xx (it is xx - 0x80), 0 otherwise.
// Two of those are not in the U+FF01.. block (A3 A4 is U+FFE5, A3 FE is U+FFE3), and two
// characters of that block live elsewhere in GBK (U+FF04, U+FF5E), so they keep their form.
char fullWidthToAscii(char32_t cp) {
    if (cp == 0xFFE5) {
        return '$';
    }
    if (cp == 0xFFE3) {
        return '~';
    }
    if (cp >= 0xFF01 && cp <= 0xFF5D && cp != 0xFF04) {
        return static_cast<char>(cp - 0xFEE0);
    }
    return 0;
}

bool isSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The normalised text with leading white space and an optional sign removed.
std::string_view unsignedPart(std::string_view s, bool& negative) {
    std::size_t i = 0;
    while (i < s.size() && isSpace(s[i])) {
        ++i;
    }
    negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    return s.substr(i);
}

// Whether an out-of-range decimal literal is too large (rather than too small): the position of
// its first significant digit relative to the decimal point plus its exponent is positive.
bool overflows(std::string_view literal) {
    long long scale = 0;
    bool seenPoint = false;
    bool seenSignificant = false;
    std::size_t i = 0;
    for (; i < literal.size(); ++i) {
        const char c = literal[i];
        if (c == '.') {
            seenPoint = true;
        } else if (isDigit(c)) {
            if (!seenSignificant && c == '0') {
                if (seenPoint) {
                    --scale;
                }
            } else {
                seenSignificant = true;
                if (!seenPoint) {
                    ++scale;
                }
            }
        } else {
            break;
        }
    }
    if (i < literal.size() && (literal[i] == 'e' || literal[i] == 'E')) {
        bool negative = false;
        std::string_view rest = unsignedPart(literal.substr(i + 1), negative);
        long long exponent = 0;
        for (std::size_t k = 0; k < rest.size() && isDigit(rest[k]); ++k) {
            if (exponent < 1'000'000'000) {
                exponent = exponent * 10 + (rest[k] - '0');
            }
        }
        scale += negative ? -exponent : exponent;
    }
    return scale > 0;
}

} // namespace

std::string normalizeFullWidth(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t start = pos;
        const char32_t cp = nextCodePoint(text, pos);
        if (cp == 0x3000) {
            out += ' ';
        } else if (const char ascii = fullWidthToAscii(cp); ascii != 0) {
            out += ascii;
        } else {
            out.append(text.substr(start, pos - start));
        }
    }
    return out;
}

std::int32_t textToInteger(std::string_view text) {
    const std::string normal = normalizeFullWidth(text);
    bool negative = false;
    const std::string_view digits = unsignedPart(normal, negative);
    // Accumulate towards the sign so that INT32_MIN is reachable.
    constexpr long long maxMagnitude = 2147483648LL;
    long long magnitude = 0;
    for (std::size_t i = 0; i < digits.size() && isDigit(digits[i]); ++i) {
        magnitude = magnitude * 10 + (digits[i] - '0');
        if (magnitude > maxMagnitude) {
            magnitude = maxMagnitude;
        }
    }
    if (negative) {
        return static_cast<std::int32_t>(-magnitude);
    }
    return magnitude >= maxMagnitude ? std::numeric_limits<std::int32_t>::max()
                                     : static_cast<std::int32_t>(magnitude);
}

double textToNumber(std::string_view text) {
    const std::string normal = normalizeFullWidth(text);
    bool negative = false;
    const std::string_view literal = unsignedPart(normal, negative);
    // Only a decimal literal may begin here: from_chars would also take "inf", "nan" and hex.
    const bool startsWithDigit =
        !literal.empty() &&
        (isDigit(literal[0]) || (literal[0] == '.' && literal.size() > 1 && isDigit(literal[1])));
    if (!startsWithDigit) {
        return 0.0;
    }
    double value = 0.0;
    const auto [end, ec] = std::from_chars(literal.data(), literal.data() + literal.size(), value,
                                           std::chars_format::general);
    (void)end;
    if (ec == std::errc::result_out_of_range) {
        value = overflows(literal) ? std::numeric_limits<double>::max() : 0.0;
    } else if (ec != std::errc()) {
        value = 0.0;
    }
    return negative ? -value : value;
}

std::string integerText(long long value) {
    return std::to_string(value);
}

std::string numberText(double value) {
    std::array<char, 64> buffer{};
    const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                         std::chars_format::general, 13);
    if (ec != std::errc()) {
        return {};
    }
    return std::string(buffer.data(), end);
}

} // namespace zorvane::text
