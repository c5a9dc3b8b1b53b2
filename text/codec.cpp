#include "text/codec.h"

#include <cerrno>
#include <cstddef>
#include <iconv.h>

namespace zorvane::text {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Length of the UTF-8 character starting at `pos` of valid UTF-8.
std::size_t utf8Length(unsigned char lead) {
    if (lead < 0x80) {
        return 1;
    }
    if (lead < 0xE0) {
        return 2;
    }
    if (lead < 0xF0) {
        return 3;
    }
    return 4;
}

// One conversion descriptor per thread and direction: iconv_open is costly and an iconv_t
// must not be shared between threads.
class Converter {
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Converter() {
        if (valid()) {
            iconv_close(m_cd);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Converts `in`; at an invalid or truncated sequence `skip` appends what stands in for
    // it and says how many input bytes it covers.
    template <typename Skip> std::string run(std::string_view in, Skip skip) {
        std::string out;
        if (in.empty()) {
            return out;
        }
        if (!valid()) {
            return out;
        }
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char buffer[1024];
        // iconv's interface is not const-correct; it never writes through the input pointer.
        char* inPtr = const_cast<char*>(in.data());
        std::size_t inLeft = in.size();
        while (inLeft > 0) {
            char* outPtr = buffer;
            std::size_t outLeft = sizeof buffer;
            const std::size_t rc = iconv(m_cd, &inPtr, &inLeft, &outPtr, &outLeft);
            out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
            if (rc != static_cast<std::size_t>(-1)) {
                continue;
            }
            if (errno == E2BIG) {
                continue;
            }
            // EILSEQ, EINVAL (truncated at the end) or anything unexpected.
            std::size_t n = skip(std::string_view(inPtr, inLeft), out);
            if (n == 0 || n > inLeft) {
                n = inLeft < 1 ? inLeft : 1;
            }
            inPtr += n;
            inLeft -= n;
            iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        }
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        iconv(m_cd, nullptr, nullptr, &outPtr, &outLeft);
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        return out;
    }

private:
    iconv_t m_cd;
};

const std::string_view kUtf8Replacement = "\xEF\xBF\xBD";
const std::string_view kGbReplacement = "\x84\x31\xA4\x37";
const std::string_view kUtf16Replacement("\xFD\xFF", 2);
const std::string_view kUtf8Euro = "\xE2\x82\xAC";
constexpr char kEuroByte = '\x80';

// Skips one invalid sequence, putting `replacement` in its place.
template <std::size_t Width> auto replaceWith(std::string_view replacement) {
    return [replacement](std::string_view, std::string& out) {
        out.append(replacement);
        return Width;
    };
}

// Skips one character of valid UTF-8, putting `replacement` in its place.
auto replaceCharacterWith(std::string_view replacement) {
    return [replacement](std::string_view rest, std::string& out) {
        out.append(replacement);
        return utf8Length(static_cast<unsigned char>(rest.front()));
    };
}

} // namespace

char32_t nextCodePoint(std::string_view text, std::size_t& pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char b0 = byte(pos);
    if (b0 < 0x80) {
        ++pos;
        return b0;
    }
    std::size_t need = 0;
    char32_t cp = 0;
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2;
        cp = b0 & 0x0F;
        if (b0 == 0xE0) {
            lo = 0xA0;
        } else if (b0 == 0xED) {
            hi = 0x9F;
        }
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3;
        cp = b0 & 0x07;
        if (b0 == 0xF0) {
            lo = 0x90;
        } else if (b0 == 0xF4) {
            hi = 0x8F;
        }
    } else {
        ++pos;
        return kReplacement;
    }
    std::size_t i = pos + 1;
    for (std::size_t k = 0; k < need; ++k, ++i) {
        // Only the second byte has a narrowed range; later ones are plain continuations.
        const unsigned char min = k == 0 ? lo : 0x80;
        const unsigned char max = k == 0 ? hi : 0xBF;
        if (i >= text.size() || byte(i) < min || byte(i) > max) {
            pos = i;
            return kReplacement;
        }
        cp = (cp << 6) | (byte(i) & 0x3F);
    }
    pos = i;
    return cp;
}

bool isValidUtf8(std::string_view bytes) {
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t start = pos;
        if (nextCodePoint(bytes, pos) == kReplacement &&
            bytes.substr(start, pos - start) != kUtf8Replacement) {
            return false;
        }
    }
    return true;
}

std::string repairUtf8(std::string_view bytes) {
    if (isValidUtf8(bytes)) {
        return std::string(bytes);
    }
    std::string out;
    out.reserve(bytes.size() + 8);
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t start = pos;
        const char32_t cp = nextCodePoint(bytes, pos);
        if (cp == kReplacement) {
            out.append(kUtf8Replacement);
        } else {
            out.append(bytes.substr(start, pos - start));
        }
    }
    return out;
}

namespace {

// The input through iconv, with 0x80 read as the euro sign and every other byte iconv
// cannot decode as U+FFFD; `refused`, when given, tells whether there was any.
std::string gb18030ThroughIconv(std::string_view bytes, bool& euro, bool* refused = nullptr) {
    thread_local Converter converter("UTF-8", "GB18030");
    return converter.run(bytes, [&euro, refused](std::string_view rest, std::string& out) {
        if (refused) {
            *refused = true;
        }
        // 0x80 is never a lead byte of GB18030, so iconv stops at every single one.
        if (rest.front() == kEuroByte) {
            euro = true;
            out.append(kUtf8Euro);
        } else {
            out.append(kUtf8Replacement);
        }
        return std::size_t{1};
    });
}

bool inRange(unsigned char c, unsigned char low, unsigned char high) {
    return c >= low && c <= high;
}

// The length of the well-formed GB18030 multi-byte sequence at the start of `bytes`
// (two or four bytes), or 0 when it is not one.
std::size_t sequenceLength(std::string_view bytes) {
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() < 2 || !inRange(at(0), 0x81, 0xFE)) {
        return 0;
    }
    if (inRange(at(1), 0x30, 0x39)) {
        return bytes.size() >= 4 && inRange(at(2), 0x81, 0xFE) && inRange(at(3), 0x30, 0x39) ? 4
                                                                                             : 0;
    }
    return inRange(at(1), 0x40, 0x7E) || inRange(at(1), 0x80, 0xFE) ? 2 : 0;
}

} // namespace

std::string gb18030ToUtf8(std::string_view bytes, bool* sawEuroByte) {
    // Tables are mostly ASCII (keys, numbers, clock times) between short runs of Chinese, and
    // iconv's converter costs far more per byte than a copy: ASCII is copied, and only the
    // runs of well-formed multi-byte sequences go through iconv. GB18030 is stateless, so
    // decoding such a run alone gives what decoding it inside the whole input gives. At the
    // first byte that is not part of one (0x80, a broken sequence) or that iconv refuses, the
    // rest goes through iconv in one piece, with exactly the resynchronisation a decode of the
    // whole input would make.
    bool euro = false;
    std::string text;
    text.reserve(bytes.size() + bytes.size() / 2);
    // The last run and its decoding: a column repeats the same few characters row after row.
    std::string_view lastRun;
    std::string lastDecoded;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t ascii = pos;
        while (ascii < bytes.size() && static_cast<unsigned char>(bytes[ascii]) < 0x80) {
            ++ascii;
        }
        text.append(bytes.substr(pos, ascii - pos));
        pos = ascii;
        std::size_t end = pos;
        while (end < bytes.size() && static_cast<unsigned char>(bytes[end]) >= 0x80) {
            const std::size_t length = sequenceLength(bytes.substr(end));
            if (length == 0) {
                break;
            }
            end += length;
        }
        const bool broken = end < bytes.size() && static_cast<unsigned char>(bytes[end]) >= 0x80;
        if (end > pos) {
            const std::string_view run = bytes.substr(pos, end - pos);
            if (run != lastRun) {
                bool ignored = false;
                bool refused = false;
                std::string decoded = gb18030ThroughIconv(run, ignored, &refused);
                if (refused) {
                    // iconv refused a well-formed sequence (one GB18030 leaves unassigned).
                    text.append(gb18030ThroughIconv(bytes.substr(pos), euro));
                    break;
                }
                lastRun = run;
                lastDecoded = std::move(decoded);
            }
            text.append(lastDecoded);
            pos = end;
        }
        if (broken) {
            text.append(gb18030ThroughIconv(bytes.substr(pos), euro));
            break;
        }
    }
    if (sawEuroByte) {
        *sawEuroByte = euro;
    }
    return text;
}

std::string utf8ToGb18030(std::string_view text, bool euroAsByte) {
    thread_local Converter converter("GB18030", "UTF-8");
    const std::string valid = repairUtf8(text);
    const auto convert = [](std::string_view piece) {
        return converter.run(piece, replaceCharacterWith(kGbReplacement));
    };
    if (!euroAsByte) {
        return convert(valid);
    }
    std::string out;
    std::string_view rest = valid;
    for (std::size_t euro = rest.find(kUtf8Euro); euro != std::string_view::npos;
         euro = rest.find(kUtf8Euro)) {
        out += convert(rest.substr(0, euro));
        out += kEuroByte;
        rest.remove_prefix(euro + kUtf8Euro.size());
    }
    out += convert(rest);
    return out;
}

std::string utf16leToUtf8(std::string_view bytes) {
    thread_local Converter converter("UTF-8", "UTF-16LE");
    return converter.run(bytes.substr(0, bytes.size() & ~std::size_t{1}),
                         replaceWith<2>(kUtf8Replacement));
}

std::string utf8ToUtf16le(std::string_view text) {
    thread_local Converter converter("UTF-16LE", "UTF-8");
    const std::string valid = repairUtf8(text);
    return converter.run(valid, replaceCharacterWith(kUtf16Replacement));
}

} // namespace zorvane::text
