#include "net/htmlsanitizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using zorvane::net::sanitizeHtml;
using zorvane::net::SanitizeLimits;

namespace {

std::string repeated(std::string_view part, std::size_t count) {
    std::string result;
    result.reserve(part.size() * count);
    for (std::size_t i = 0; i < count; ++i) {
        result += part;
    }
    return result;
}

std::size_t occurrences(std::string_view text, std::string_view part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string_view::npos;
         at = text.find(part, at + part.size())) {
        ++count;
    }
    return count;
}

// What a page of sanitised output is made of: the deepest nesting of its tags, the
// number of elements, and the longest run of characters without a break opportunity.
struct Shape {
    std::size_t depth = 0;
    std::size_t elements = 0;
    std::size_t longestWord = 0;
    bool balanced = true;
};

Shape shapeOf(std::string_view html) {
    static const std::vector<std::string> kVoid = {"br", "hr", "img"};
    Shape shape;
    std::vector<std::string> open;
    std::size_t word = 0;
    for (std::size_t i = 0; i < html.size();) {
        if (html[i] == '<') {
            const std::size_t end = html.find('>', i);
            if (end == std::string_view::npos) {
                shape.balanced = false;
                break;
            }
            std::string_view tag = html.substr(i + 1, end - i - 1);
            const bool closing = !tag.empty() && tag.front() == '/';
            tag.remove_prefix(closing ? 1 : 0);
            const std::string name(tag.substr(0, tag.find(' ')));
            if (closing) {
                shape.balanced = shape.balanced && !open.empty() && open.back() == name;
                if (!open.empty()) {
                    open.pop_back();
                }
            } else {
                ++shape.elements;
                if (std::find(kVoid.begin(), kVoid.end(), name) == kVoid.end()) {
                    open.push_back(name);
                    shape.depth = std::max(shape.depth, open.size());
                }
            }
            word = 0;
            i = end + 1;
            continue;
        }
        if (html.substr(i, 3) == "\xE2\x80\x8B" || html[i] == ' ' || html[i] == '\n') {
            word = 0;
            i += html[i] == ' ' || html[i] == '\n' ? 1 : 3;
            continue;
        }
        if ((static_cast<unsigned char>(html[i]) & 0xC0) != 0x80) {
            shape.longestWord = std::max(shape.longestWord, ++word);
        }
        ++i;
    }
    shape.balanced = shape.balanced && open.empty();
    return shape;
}

} // namespace

TEST(HtmlSanitizer, KeepsAllowedMarkupAndDropsTheRest) {
    const std::string png = "data:image/png;base64,iVBORw0KGgo=";
    struct Case {
        std::string input;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"<b>News</b> <i>today</i>", "<b>News</b> <i>today</i>"},
        {"<h3 align=CENTER>北京</h3><p>公告</p>", "<h3 align=\"center\">北京</h3><p>公告</p>"},
        {"<ul><li>one<li>two</ul>", "<ul><li>one</li><li>two</li></ul>"},
        {"<table border=1><tr><td colspan=2>a</td></tr></table>",
         "<table border=\"1\"><tr><td colspan=\"2\">a</td></tr></table>"},
        // Links: only http, https and mailto addresses stay.
        {"<a href=\"https://example.org/?a=1&amp;b=2\" title='t\"q'>x</a>",
         "<a href=\"https://example.org/?a=1&amp;b=2\" title=\"t&quot;q\">x</a>"},
        {"<a href=\"mailto:me@example.org\">m</a>", "<a href=\"mailto:me@example.org\">m</a>"},
        {"<a href=\"javascript:alert(1)\">x</a>", "<a>x</a>"},
        {"<a href=\" JavaScript:alert(1)\">x</a>", "<a>x</a>"},
        {"<a href=\"file:///etc/passwd\">x</a>", "<a>x</a>"},
        {"<a href=\"local.htm\">x</a>", "<a>x</a>"},
        // Pictures: only the program's resources and inline data.
        {"<b><img src=\"qrc:/assets/music-note.png\" width=20></b>",
         "<b><img src=\"qrc:/assets/music-note.png\" width=\"20\"></b>"},
        {"<b><img src=\"" + png + "\" alt=a></b>", "<b><img src=\"" + png + "\" alt=\"a\"></b>"},
        {"<b><img src=\"/etc/passwd\">x</b>", "<b>x</b>"},
        {"<b><img src=\"file:///dev/zero\">x</b>", "<b>x</b>"},
        {"<b><img src=\"p.png\">x</b>", "<b>x</b>"},
        {"<b><img src=\"http://127.0.0.1/x.png\">x</b>", "<b>x</b>"},
        {"<b><img src=\"qrc:/../etc/passwd\">x</b>", "<b>x</b>"},
        {"<b><img src=\"data:text/html;base64,PGI+\">x</b>", "<b>x</b>"},
        {"<b><img>x</b>", "<b>x</b>"},
        // Styles, scripts, embedded documents and their content go; other unknown
        // elements give up their tags and keep their text.
        {"<p style=\"background-image:url(/etc/passwd)\" onclick=\"x()\">t</p>", "<p>t</p>"},
        {"<table background=\"/etc/passwd\"><tr><td>1</td></tr></table>",
         "<table><tr><td>1</td></tr></table>"},
        {"<div>a<script>alert(1)</script><style>p{}</style>b</div>", "<div>ab</div>"},
        {"<div>a<link rel=stylesheet href=\"/etc/passwd\">b</div>", "<div>ab</div>"},
        {"<div>a<iframe src=\"/etc/passwd\">inner</iframe><object data=x>o</object>b</div>",
         "<div>ab</div>"},
        {"<div><blink>on</blink><marquee>off</marquee></div>", "<div>onoff</div>"},
        {"<div><!-- note -->x</div>", "<div>x</div>"},
        // Text stays text.
        {"<p>&lt;script&gt; &amp; &quot;</p>", "<p>&lt;script&gt; &amp; \"</p>"},
        // Bad numbers and colours are dropped, good ones kept.
        {"<table><tr><td colspan=100000 rowspan=-1 width=50%>a</td></tr></table>",
         "<table><tr><td width=\"50%\">a</td></tr></table>"},
        {"<p><font color=\"#ff0000\" size=9>r</font><font color=\"red;x:y\">g</font></p>",
         "<p><font color=\"#ff0000\">r</font><font>g</font></p>"},
        // Broken markup comes out balanced.
        {"<div><b><i>x</b>y</div>", "<div><b><i>x</i></b>y</div>"},
        // Stray table parts outside a table give up their tags.
        {"<div><td>cell</td></div>", "<div>cell</div>"},
        // Bad UTF-8 never reaches the output.
        {"<p>a\x8C\x97"
         "b</p>",
         "<p>a\xEF\xBF\xBD\xEF\xBF\xBD"
         "b</p>"},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sanitizeHtml(c.input), c.expected) << c.input;
    }
}

TEST(HtmlSanitizer, InlinePicturesAreBoundedEachAndTogether) {
    SanitizeLimits limits;
    limits.maxDataUrlBytes = 100;
    limits.maxPictureBytes = 170;
    const std::string small = "data:image/gif;base64," + std::string(60, 'A');
    const std::string large = "data:image/gif;base64," + std::string(100, 'A');
    const std::string page = "<p><img src=\"" + small + "\"><img src=\"" + large +
                             "\"><img src=\"" + small + "\"><img src=\"" + small + "\"></p>";
    // The large one is too large alone; the third small one no longer fits the page.
    EXPECT_EQ(sanitizeHtml(page, limits),
              "<p><img src=\"" + small + "\"><img src=\"" + small + "\"></p>");
}

TEST(HtmlSanitizer, OverlongWordsGetBreakOpportunities) {
    SanitizeLimits limits;
    limits.maxWordChars = 4;
    const std::string zwsp = "\xE2\x80\x8B";
    EXPECT_EQ(sanitizeHtml("<p>abcdefghij ab</p>", limits),
              "<p>abcd" + zwsp + "efgh" + zwsp + "ij ab</p>");
    // Counted in characters, not bytes, and across inline tags.
    EXPECT_EQ(sanitizeHtml("<p>北京北京<b>北京</b></p>", limits),
              "<p>北京北京<b>" + zwsp + "北京</b></p>");
    // A new block starts a new word.
    EXPECT_EQ(sanitizeHtml("<div>abcd</div><div>efgh</div>", limits),
              "<div>abcd</div><div>efgh</div>");
}

TEST(HtmlSanitizer, LimitsBoundDepthElementsCellsAndText) {
    SanitizeLimits limits;
    limits.maxDepth = 6;
    limits.maxElements = 50;
    limits.maxTableCells = 10;
    limits.maxTextBytes = 1000;
    limits.maxWordChars = 10000;

    const Shape divs = shapeOf(sanitizeHtml(repeated("<div>x", 100), limits));
    EXPECT_EQ(divs.depth, 6u);
    EXPECT_TRUE(divs.balanced);

    // A table needs room for a section, a row and a cell: only one fits in depth 6, and
    // the inner tables' text lands in its cell.
    const std::string nested = sanitizeHtml(repeated("<table><tr><td>t", 20), limits);
    EXPECT_EQ(occurrences(nested, "<table>"), 1u);
    EXPECT_EQ(occurrences(nested, "<td>"), 1u);
    EXPECT_TRUE(shapeOf(nested).balanced);

    const std::string cells = sanitizeHtml(
        "<table>" + repeated("<tr><td>a</td><td>b</td><td>c</td></tr>", 10) + "</table>", limits);
    EXPECT_EQ(occurrences(cells, "<td>"), 10u);
    EXPECT_EQ(occurrences(cells, "<tr>"), 4u);
    EXPECT_TRUE(shapeOf(cells).balanced);

    const Shape many = shapeOf(sanitizeHtml(repeated("<b>x</b>", 200), limits));
    EXPECT_EQ(many.elements, 50u);

    const std::string text = sanitizeHtml("<p>" + std::string(5000, 'x') + "</p>", limits);
    EXPECT_EQ(occurrences(text, "x"), 1000u);
    EXPECT_TRUE(shapeOf(text).balanced);
}

TEST(HtmlSanitizer, HostilePagesComeOutSmallShallowAndBalanced) {
    std::string bigTable = "<table>";
    for (int row = 0; row < 700; ++row) {
        bigTable += "<tr>" + repeated("<td>x</td>", 1000) + "</tr>";
    }
    bigTable += "</table>";
    struct Case {
        const char* name;
        std::string page;
    };
    const std::vector<Case> pages = {
        {"20,000 nested tables", repeated("<table><tr><td>", 20000)},
        {"200,000 nested divs", repeated("<div>", 200000)},
        {"100,000 nested lists", repeated("<ul><li>", 100000)},
        {"700 x 1000 table", bigTable},
        {"1 MiB word", std::string(1024 * 1024, 'w')},
        {"200,000 links", repeated("<a href=\"https://example.org/\">", 200000)},
        {"200,000 paragraphs", repeated("<p>x", 200000)},
    };
    const SanitizeLimits limits;
    for (const Case& c : pages) {
        const std::string out = sanitizeHtml(c.page, limits);
        const Shape shape = shapeOf(out);
        EXPECT_TRUE(shape.balanced) << c.name;
        EXPECT_LE(shape.depth, limits.maxDepth) << c.name;
        EXPECT_LE(shape.elements, limits.maxElements) << c.name;
        EXPECT_LE(shape.longestWord, limits.maxWordChars) << c.name;
        EXPECT_LE(occurrences(out, "<td"), limits.maxTableCells) << c.name;
        EXPECT_LE(out.size(), 1024u * 1024u) << c.name;
        // Sanitising is stable: the output passes through unchanged.
        EXPECT_EQ(sanitizeHtml(out, limits), out) << c.name;
    }
}
