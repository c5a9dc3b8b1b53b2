#pragma once
// A safe, bounded copy of downloaded HTML for the announcement viewer.
//
// The page is parsed with libxml2's HTML parser (the same error recovery as a browser's
// for broken markup) and written out again keeping only a small allow-list: text
// formatting, paragraphs and headings, lists, links to http, https and mailto, simple
// tables, and pictures from the program's own resources ("qrc:") or inline "data:" of
// bounded size. Everything else is dropped: scripts and styles with their content,
// other elements keeping their text. Nesting depth, element count, table cells and text
// are bounded, and overlong words get break opportunities, so that no page can make the
// viewer's layout deep, huge or slow.

#include <cstddef>
#include <string>
#include <string_view>

namespace zorvane::net {

struct SanitizeLimits {
    // Input beyond this is not looked at.
    std::size_t maxInputBytes = 2 * 1024 * 1024;
    // Parsing stops after this many start tags, kept or not.
    std::size_t maxScannedElements = 50000;
    // Elements kept; later ones give up their tags but keep their text.
    std::size_t maxElements = 2000;
    // Nesting of kept elements; deeper ones give up their tags.
    std::size_t maxDepth = 16;
    // Table cells kept in the whole page; later rows and cells are dropped.
    std::size_t maxTableCells = 400;
    // Bytes of text kept; the rest of the page is dropped.
    std::size_t maxTextBytes = 64 * 1024;
    // Characters without a space after which a zero-width space is inserted.
    std::size_t maxWordChars = 60;
    // Longest address of a link.
    std::size_t maxUrlBytes = 2048;
    // Longest inline picture ("data:image/...;base64,...").
    std::size_t maxDataUrlBytes = 256 * 1024;
    // All inline pictures of the page together.
    std::size_t maxPictureBytes = 1024 * 1024;
};

// The sanitised copy of `html` (UTF-8), as UTF-8 HTML.
std::string sanitizeHtml(std::string_view html, const SanitizeLimits& limits = {});

} // namespace zorvane::net
