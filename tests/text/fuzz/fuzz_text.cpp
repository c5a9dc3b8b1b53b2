// Feeds arbitrary bytes to the text library and checks the invariants that must hold for any
// input. Layout of the input: byte 0 holds option bits, byte 1 the pattern length; then the
// pattern, and the rest is the subject (its first bytes also serve as separator / needle).

#include "text/cleaning.h"
#include "text/codec.h"
#include "text/numbers.h"
#include "text/regexobject.h"
#include "text/textops.h"
#include "text/unescape.h"

#include "tests/support/iconvdecode.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace zorvane::text;

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

std::string join(const std::vector<std::string>& pieces, std::string_view separator) {
    std::string out;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0) {
            out.append(separator);
        }
        out += pieces[i];
    }
    return out;
}

void fuzzTextOps(std::string_view text, std::string_view needle, bool fold) {
    const std::vector<std::string> pieces = split(text, needle);
    const std::string joined = join(pieces, needle);
    check(joined == text || joined + std::string(needle) == text, "split/join");

    check(equals(replaceAll(text, needle, needle, fold), text, fold), "replace with itself");
    const std::string removed = replaceAll(text, needle, "", fold);
    check(removed.size() <= text.size(), "replace grows");

    const long hit = find(text, needle, 0, fold);
    check(hit == -1 ||
              equals(text.substr(static_cast<std::size_t>(hit), needle.size()), needle, fold),
          "find result");
    const long last = findLast(text, needle, fold);
    check((hit == -1) == (last == -1) && last >= hit, "findLast result");

    const std::string trimmed = trim(text);
    check(trim(trimmed) == trimmed && text.find(trimmed) != std::string_view::npos, "trim");
    check(toLowerAscii(toUpperAscii(text)) == toLowerAscii(text), "case");

    const long count = charCount(text);
    const long n = static_cast<long>(needle.size());
    const long k = n < count ? n : count;
    check(leftChars(text, k) + rightChars(text, count - k) == text, "left/right");
}

void fuzzCodec(std::string_view bytes) {
    const std::string repaired = repairUtf8(bytes);
    check(isValidUtf8(repaired), "repair");
    check(isValidUtf8(bytes) == (repaired == bytes), "validity");
    check(utf16leToUtf8(utf8ToUtf16le(bytes)) == repaired, "utf-16 round trip");
    const std::string decoded = gb18030ToUtf8(bytes);
    check(isValidUtf8(decoded), "gb18030 decode");
    check(decoded == zorvane::testing::gb18030DecodedWhole(bytes), "gb18030 decode in pieces");
    check(isValidUtf8(gb18030ToUtf8(utf8ToGb18030(bytes))), "gb18030 round trip");
    check(isValidUtf8(utf16leToUtf8(bytes)), "utf-16 decode");
}

void fuzzRegex(std::string_view pattern, std::string_view subject, std::uint8_t flags) {
    RegexObject re;
    const bool ok = re.create(pattern, subject, flags & 1, flags & 2, flags & 4, flags & 8);
    const int count = re.matchCount();
    check(ok || count == 0, "rejected pattern has matches");
    const std::string repaired = repairUtf8(subject);
    for (int i = 0; i <= count + 1; ++i) {
        long pos = 0;
        const std::string text = re.matchText(i, &pos);
        check(pos == -1 || repaired.compare(static_cast<std::size_t>(pos), text.size(), text) == 0,
              "match position");
        for (int g = 0; g <= re.subMatchCount() + 1; ++g) {
            const std::string group = re.subMatchText(i, g, &pos);
            check(pos == -1 ||
                      repaired.compare(static_cast<std::size_t>(pos), group.size(), group) == 0,
                  "group position");
        }
    }
    check(isValidUtf8(re.replace(pattern)), "replace output");
    check(re.replace() == re.replace(""), "default replacement");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2 || size > 2048) {
        return 0;
    }
    const std::uint8_t flags = data[0];
    const std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
    const std::size_t patternLength = data[1] % 64 < rest.size() ? data[1] % 64 : rest.size();
    const std::string_view pattern = rest.substr(0, patternLength);
    const std::string_view subject = rest.substr(patternLength);

    const std::string unescaped = unescapeText(rest);
    check(isValidUtf8(unescaped), "unescape output");
    check(unescapeText("").empty(), "unescape of nothing");

    fuzzTextOps(subject, pattern.substr(0, flags % 4), flags & 16);
    fuzzCodec(rest);

    (void)textToInteger(rest);
    check(std::isfinite(textToNumber(rest)), "number is finite");
    check(normalizeFullWidth(rest).size() <= rest.size(), "normalise grows");

    fuzzRegex(pattern, subject.substr(0, 512), flags);
    (void)extractChinese(subject, flags & 32, flags & 64);
    (void)extractDisallowedChars(subject);
    (void)extractLetters(subject, flags % 4);
    return 0;
}
