// Feeds arbitrary bytes to the HTML sanitiser, with small limits so that they are
// reached often, and checks what must hold for any page: the output's tags are balanced
// and from the allow-list, its nesting stays within the depth limit, it is valid UTF-8,
// and sanitising the output again keeps the same text and the same invariants. (The
// markup itself may change: the parser puts loose text at the top level into a
// paragraph.)

#include "net/htmlsanitizer.h"
#include "text/codec.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

constexpr std::array<std::string_view, 53> kAllowed = {
    "a",     "abbr", "address", "b",      "big", "blockquote", "br",    "caption", "center",
    "cite",  "code", "dd",      "del",    "div", "dl",         "dt",    "em",      "font",
    "h1",    "h2",   "h3",      "h4",     "h5",  "h6",         "hr",    "i",       "img",
    "ins",   "kbd",  "li",      "ol",     "p",   "pre",        "q",     "s",       "samp",
    "small", "span", "strike",  "strong", "sub", "sup",        "table", "tbody",   "td",
    "tfoot", "th",   "thead",   "tr",     "tt",  "u",          "ul",    "var",
};

// The text of sanitised HTML: tags, white space and inserted line-break opportunities
// removed (the parser drops white space at the top level), entities left as written.
std::string textOf(std::string_view html) {
    std::string text;
    bool inTag = false;
    for (std::size_t i = 0; i < html.size(); ++i) {
        const char c = html[i];
        if (c == '<' || c == '>') {
            inTag = c == '<';
        } else if (html.substr(i, 3) == "\xE2\x80\x8B") {
            i += 2;
        } else if (!inTag && c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\f') {
            text += c;
        }
    }
    return text;
}

void checkShape(std::string_view html, std::size_t maxDepth) {
    std::vector<std::string> open;
    for (std::size_t at = html.find('<'); at != std::string_view::npos;
         at = html.find('<', at + 1)) {
        const std::size_t end = html.find('>', at);
        check(end != std::string_view::npos, "tag ends");
        std::string_view tag = html.substr(at + 1, end - at - 1);
        const bool closing = !tag.empty() && tag.front() == '/';
        tag.remove_prefix(closing ? 1 : 0);
        const std::string name(tag.substr(0, tag.find(' ')));
        check(std::find(kAllowed.begin(), kAllowed.end(), name) != kAllowed.end(), "allowed tag");
        if (closing) {
            check(!open.empty() && open.back() == name, "balanced");
            open.pop_back();
        } else if (name != "br" && name != "hr" && name != "img") {
            open.push_back(name);
            check(open.size() <= maxDepth, "depth");
        }
    }
    check(open.empty(), "all closed");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zorvane::net::SanitizeLimits limits;
    limits.maxDepth = 8;
    limits.maxElements = 64;
    limits.maxTableCells = 16;
    limits.maxTextBytes = 512;
    limits.maxWordChars = 8;
    limits.maxDataUrlBytes = 128;
    limits.maxPictureBytes = 256;
    const std::string_view page(reinterpret_cast<const char*>(data), size);
    const std::string once = zorvane::net::sanitizeHtml(page, limits);
    checkShape(once, limits.maxDepth);
    check(zorvane::text::isValidUtf8(once), "valid UTF-8");
    const std::string twice = zorvane::net::sanitizeHtml(once, limits);
    checkShape(twice, limits.maxDepth);
    check(textOf(twice) == textOf(once), "text kept");
    return 0;
}
