#include "net/htmlsanitizer.h"

#include "text/codec.h"

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstring>
#include <optional>
#include <vector>

namespace zorvane::net {
namespace {

// What an allowed element is, for the nesting rules.
enum class Kind {
    Inline,
    Block,
    Void,
    Table,
    TableSection, // thead, tbody, tfoot: only in a table
    Row,          // only in a table or a table section
    Cell,         // only in a row
    Caption,      // only in a table
    List,
    ListItem, // only in a list
    DefList,
    DefItem, // only in a definition list
};

struct ElementRule {
    std::string_view name;
    Kind kind;
    // Allowed attributes, separated by spaces.
    std::string_view attributes;
};

constexpr std::array kElements = {
    ElementRule{"a", Kind::Inline, "href title"},
    ElementRule{"abbr", Kind::Inline, ""},
    ElementRule{"address", Kind::Block, ""},
    ElementRule{"b", Kind::Inline, ""},
    ElementRule{"big", Kind::Inline, ""},
    ElementRule{"blockquote", Kind::Block, ""},
    ElementRule{"br", Kind::Void, ""},
    ElementRule{"caption", Kind::Caption, "align"},
    ElementRule{"center", Kind::Block, ""},
    ElementRule{"cite", Kind::Inline, ""},
    ElementRule{"code", Kind::Inline, ""},
    ElementRule{"dd", Kind::DefItem, ""},
    ElementRule{"del", Kind::Inline, ""},
    ElementRule{"div", Kind::Block, "align"},
    ElementRule{"dl", Kind::DefList, ""},
    ElementRule{"dt", Kind::DefItem, ""},
    ElementRule{"em", Kind::Inline, ""},
    ElementRule{"font", Kind::Inline, "color size"},
    ElementRule{"h1", Kind::Block, "align"},
    ElementRule{"h2", Kind::Block, "align"},
    ElementRule{"h3", Kind::Block, "align"},
    ElementRule{"h4", Kind::Block, "align"},
    ElementRule{"h5", Kind::Block, "align"},
    ElementRule{"h6", Kind::Block, "align"},
    ElementRule{"hr", Kind::Void, ""},
    ElementRule{"i", Kind::Inline, ""},
    ElementRule{"img", Kind::Void, "src alt width height"},
    ElementRule{"ins", Kind::Inline, ""},
    ElementRule{"kbd", Kind::Inline, ""},
    ElementRule{"li", Kind::ListItem, ""},
    ElementRule{"ol", Kind::List, "start type"},
    ElementRule{"p", Kind::Block, "align"},
    ElementRule{"pre", Kind::Block, ""},
    ElementRule{"q", Kind::Inline, ""},
    ElementRule{"s", Kind::Inline, ""},
    ElementRule{"samp", Kind::Inline, ""},
    ElementRule{"small", Kind::Inline, ""},
    ElementRule{"span", Kind::Inline, ""},
    ElementRule{"strike", Kind::Inline, ""},
    ElementRule{"strong", Kind::Inline, ""},
    ElementRule{"sub", Kind::Inline, ""},
    ElementRule{"sup", Kind::Inline, ""},
    ElementRule{"table", Kind::Table, "border cellpadding cellspacing width align bgcolor"},
    ElementRule{"tbody", Kind::TableSection, ""},
    ElementRule{"td", Kind::Cell, "colspan rowspan align valign width bgcolor"},
    ElementRule{"tfoot", Kind::TableSection, ""},
    ElementRule{"th", Kind::Cell, "colspan rowspan align valign width bgcolor"},
    ElementRule{"thead", Kind::TableSection, ""},
    ElementRule{"tr", Kind::Row, "align valign bgcolor"},
    ElementRule{"tt", Kind::Inline, ""},
    ElementRule{"u", Kind::Inline, ""},
    ElementRule{"ul", Kind::List, "type"},
    ElementRule{"var", Kind::Inline, ""},
};

// Elements dropped together with everything inside them: their content is code,
// styling, form state or embedded documents, never text meant for the reader.
constexpr std::array<std::string_view, 27> kDroppedWithContent = {
    "applet",   "audio",    "base",     "button",   "canvas",   "embed",     "frame",
    "frameset", "head",     "iframe",   "link",     "map",      "math",      "meta",
    "noembed",  "noframes", "noscript", "object",   "option",   "plaintext", "script",
    "select",   "style",    "svg",      "template", "textarea", "title",
};

const ElementRule* ruleFor(std::string_view name) {
    const auto it = std::lower_bound(
        kElements.begin(), kElements.end(), name,
        [](const ElementRule& rule, std::string_view key) { return rule.name < key; });
    return it != kElements.end() && it->name == name ? &*it : nullptr;
}

bool droppedWithContent(std::string_view name) {
    return std::find(kDroppedWithContent.begin(), kDroppedWithContent.end(), name) !=
           kDroppedWithContent.end();
}

bool allowsAttribute(const ElementRule& rule, std::string_view attribute) {
    std::string_view list = rule.attributes;
    while (!list.empty()) {
        const std::size_t space = list.find(' ');
        if (list.substr(0, space) == attribute) {
            return true;
        }
        list = space == std::string_view::npos ? std::string_view() : list.substr(space + 1);
    }
    return false;
}

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowered(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), lowerAscii);
    return result;
}

std::string_view trimmed(std::string_view text) {
    const auto isSpace = [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
    };
    while (!text.empty() && isSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::optional<long> boundedNumber(std::string_view text, long low, long high) {
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

bool oneOf(std::string_view value, std::initializer_list<std::string_view> choices) {
    return std::find(choices.begin(), choices.end(), value) != choices.end();
}

bool isColour(std::string_view value) {
    if (value.size() >= 4 && value.size() <= 7 && value.front() == '#') {
        return std::all_of(value.begin() + 1, value.end(),
                           [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
    }
    return !value.empty() && value.size() <= 20 &&
           std::all_of(value.begin(), value.end(),
                       [](char c) { return std::isalpha(static_cast<unsigned char>(c)); });
}

bool isBase64(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '/' || c == '=' ||
               c == '\n' || c == '\r' || c == ' ';
    });
}

// The value to write for an allowed attribute, or nothing when the value is not safe.
std::optional<std::string> attributeValue(std::string_view attribute, std::string_view raw,
                                          const SanitizeLimits& limits) {
    const std::string_view value = trimmed(raw);
    const std::string lower = lowered(value);
    if (attribute == "href") {
        const bool allowed = lower.starts_with("http://") || lower.starts_with("https://") ||
                             lower.starts_with("mailto:");
        return allowed && value.size() <= limits.maxUrlBytes ? std::optional(std::string(value))
                                                             : std::nullopt;
    }
    if (attribute == "src") {
        if (lower.starts_with("qrc:/") && value.size() <= limits.maxUrlBytes &&
            value.find("..") == std::string_view::npos) {
            return std::string(value);
        }
        constexpr std::array<std::string_view, 4> kPictures = {
            "data:image/png;base64,", "data:image/jpeg;base64,", "data:image/gif;base64,",
            "data:image/bmp;base64,"};
        for (const std::string_view prefix : kPictures) {
            if (lower.starts_with(prefix) && value.size() <= limits.maxDataUrlBytes &&
                isBase64(value.substr(prefix.size()))) {
                return std::string(value);
            }
        }
        return std::nullopt;
    }
    if (attribute == "title" || attribute == "alt") {
        return raw.size() <= 500 ? std::optional(std::string(raw)) : std::nullopt;
    }
    if (attribute == "align") {
        return oneOf(lower, {"left", "right", "center", "justify"}) ? std::optional(lower)
                                                                    : std::nullopt;
    }
    if (attribute == "valign") {
        return oneOf(lower, {"top", "middle", "bottom", "baseline"}) ? std::optional(lower)
                                                                     : std::nullopt;
    }
    if (attribute == "color" || attribute == "bgcolor") {
        return isColour(value) ? std::optional(std::string(value)) : std::nullopt;
    }
    if (attribute == "size") {
        const std::string_view digits =
            !value.empty() && (value.front() == '+' || value.front() == '-') ? value.substr(1)
                                                                             : value;
        return boundedNumber(digits, 1, 7) ? std::optional(std::string(value)) : std::nullopt;
    }
    if (attribute == "type") {
        return oneOf(value, {"1", "a", "A", "i", "I", "disc", "circle", "square"})
                   ? std::optional(std::string(value))
                   : std::nullopt;
    }
    if (attribute == "width") {
        if (!value.empty() && value.back() == '%') {
            return boundedNumber(value.substr(0, value.size() - 1), 1, 100)
                       ? std::optional(std::string(value))
                       : std::nullopt;
        }
        return boundedNumber(value, 1, 2000) ? std::optional(std::string(value)) : std::nullopt;
    }
    // Numbers with a small range, so that no table gets thousands of columns.
    struct Range {
        std::string_view name;
        long low;
        long high;
    };
    constexpr std::array<Range, 6> kRanges = {
        Range{"height", 1, 2000}, Range{"colspan", 1, 20},     Range{"rowspan", 1, 20},
        Range{"border", 0, 10},   Range{"cellpadding", 0, 20}, Range{"cellspacing", 0, 20},
    };
    for (const Range& range : kRanges) {
        if (attribute == range.name) {
            return boundedNumber(value, range.low, range.high) ? std::optional(std::string(value))
                                                               : std::nullopt;
        }
    }
    if (attribute == "start") {
        return boundedNumber(value, 0, 100000) ? std::optional(std::string(value)) : std::nullopt;
    }
    return std::nullopt;
}

void appendEscaped(std::string& out, std::string_view text, bool attribute) {
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += attribute ? "&quot;" : "\"";
            break;
        default:
            out += c;
        }
    }
}

// Walks the parser's events and writes the kept part. The parser reports every start
// tag with a matching end tag (it closes what the page leaves open), so a stack of
// what was done with each open element is enough.
class Sanitizer {
public:
    explicit Sanitizer(const SanitizeLimits& limits) : m_limits(limits) {}

    std::string run(std::string_view html) {
        std::string_view input = html.substr(0, m_limits.maxInputBytes);
        // Never cut a character in two.
        while (input.size() < html.size() && !input.empty() &&
               (static_cast<unsigned char>(html[input.size()]) & 0xC0) == 0x80) {
            input.remove_suffix(1);
        }
        if (input.empty()) {
            return {};
        }
        // The parser would read the rest of a page with a bad byte as Latin-1 and hand
        // the bad byte on; bad bytes become U+FFFD here instead.
        std::string repaired;
        if (!text::isValidUtf8(input)) {
            repaired = text::repairUtf8(input);
            input = repaired;
        }
        xmlInitParser();
        htmlParserCtxtPtr context =
            htmlCreateMemoryParserCtxt(input.data(), static_cast<int>(input.size()));
        if (!context) {
            return {};
        }
        htmlCtxtUseOptions(context,
                           HTML_PARSE_NONET | HTML_PARSE_NOIMPLIED | HTML_PARSE_IGNORE_ENC);
        // The page is UTF-8, whatever it claims; without this the parser would guess.
        xmlSwitchEncoding(context, XML_CHAR_ENCODING_UTF8);
        xmlSAXHandler* sax = context->sax;
        std::memset(sax, 0, sizeof(*sax));
        sax->startElement = &Sanitizer::onStart;
        sax->endElement = &Sanitizer::onEnd;
        sax->characters = &Sanitizer::onText;
        sax->ignorableWhitespace = &Sanitizer::onText;
        sax->cdataBlock = &Sanitizer::onText;
        sax->warning = &Sanitizer::onMessage;
        sax->error = &Sanitizer::onMessage;
        sax->fatalError = &Sanitizer::onMessage;
        context->userData = this;
        m_context = context;
        htmlParseDocument(context);
        m_context = nullptr;
        htmlFreeParserCtxt(context);
        while (!m_open.empty()) {
            close();
        }
        return std::move(m_out);
    }

private:
    enum class Action { Kept, Void, Unwrapped, Dropped };
    struct Open {
        std::string name;
        Action action;
        Kind kind;
    };

    static void onStart(void* user, const xmlChar* name, const xmlChar** attributes) {
        static_cast<Sanitizer*>(user)->start(reinterpret_cast<const char*>(name),
                                             reinterpret_cast<const char**>(attributes));
    }
    static void onEnd(void* user, const xmlChar* name) {
        static_cast<Sanitizer*>(user)->end(reinterpret_cast<const char*>(name));
    }
    static void onText(void* user, const xmlChar* text, int length) {
        static_cast<Sanitizer*>(user)->addText(std::string_view(reinterpret_cast<const char*>(text),
                                                                static_cast<std::size_t>(length)));
    }
    static void onMessage(void*, const char*, ...) {}

    void stop() {
        if (!m_stopped && m_context) {
            xmlStopParser(m_context);
        }
        m_stopped = true;
    }

    // The innermost kept element, if any.
    const Open* keptParent() const { return m_kept.empty() ? nullptr : &m_open[m_kept.back()]; }

    bool insideTableStructure() const {
        const Open* parent = keptParent();
        return parent && (parent->kind == Kind::Table || parent->kind == Kind::TableSection ||
                          parent->kind == Kind::Row);
    }

    bool parentAllows(Kind kind) const {
        const Open* parent = keptParent();
        const std::optional<Kind> parentKind = parent ? std::optional(parent->kind) : std::nullopt;
        switch (kind) {
        case Kind::TableSection:
        case Kind::Caption:
            return parentKind == Kind::Table;
        case Kind::Row:
            return parentKind == Kind::Table || parentKind == Kind::TableSection;
        case Kind::Cell:
            return parentKind == Kind::Row;
        case Kind::ListItem:
            return parentKind == Kind::List;
        case Kind::DefItem:
            return parentKind == Kind::DefList;
        default:
            // Tables and their rows hold only their own parts.
            return parentKind != Kind::Table && parentKind != Kind::TableSection &&
                   parentKind != Kind::Row;
        }
    }

    // Room an element needs below it for its own parts (a table needs a section, a row
    // and a cell), so that its parts are never refused for depth.
    static std::size_t depthNeeded(Kind kind) {
        switch (kind) {
        case Kind::Table:
            return 4;
        case Kind::List:
        case Kind::DefList:
            return 2;
        case Kind::TableSection:
        case Kind::Row:
        case Kind::Cell:
        case Kind::Caption:
        case Kind::ListItem:
        case Kind::DefItem:
            return 0; // reserved by their table or list
        default:
            return 1;
        }
    }

    static bool isTablePart(Kind kind) {
        return kind == Kind::TableSection || kind == Kind::Row || kind == Kind::Cell ||
               kind == Kind::Caption;
    }

    void start(std::string_view name, const char** attributes) {
        ++m_scanned;
        if (m_scanned > m_limits.maxScannedElements) {
            stop();
            return;
        }
        if (m_dropping > 0 || droppedWithContent(name)) {
            ++m_dropping;
            m_open.push_back({std::string(name), Action::Dropped, Kind::Inline});
            return;
        }
        const ElementRule* rule = ruleFor(name);
        if (!rule) {
            m_open.push_back({std::string(name), Action::Unwrapped, Kind::Inline});
            return;
        }
        const Kind kind = rule->kind;
        bool keep = parentAllows(kind) && m_kept.size() + depthNeeded(kind) <= m_limits.maxDepth &&
                    m_elements < m_limits.maxElements;
        if (keep && (kind == Kind::Row || kind == Kind::Cell)) {
            keep = m_cells < m_limits.maxTableCells;
        }
        std::string tag = "<" + std::string(name);
        for (const char** attribute = attributes; keep && attribute && attribute[0];
             attribute += 2) {
            const std::string_view attributeName = attribute[0];
            if (!allowsAttribute(*rule, attributeName) || !attribute[1]) {
                continue;
            }
            auto value = attributeValue(attributeName, attribute[1], m_limits);
            if (value && attributeName == "src") {
                if (m_pictureBytes + value->size() > m_limits.maxPictureBytes) {
                    value.reset();
                } else {
                    m_pictureBytes += value->size();
                }
            }
            if (value) {
                tag += " " + std::string(attributeName) + "=\"";
                appendEscaped(tag, *value, true);
                tag += "\"";
            } else if (name == "img" && attributeName == "src") {
                keep = false; // a picture from anywhere else is left out
            }
        }
        if (!keep) {
            // A table's part that cannot be kept takes its content with it: loose cells
            // would otherwise spill their text between the rows in an unreadable heap.
            const bool drop = name == "img" || (isTablePart(kind) && insideTableStructure());
            m_dropping += drop ? 1 : 0;
            m_open.push_back({std::string(name), drop ? Action::Dropped : Action::Unwrapped, kind});
            return;
        }
        if (name == "img" && tag.find(" src=") == std::string::npos) {
            m_open.push_back({std::string(name), Action::Unwrapped, kind});
            return;
        }
        ++m_elements;
        m_cells += kind == Kind::Cell ? 1 : 0;
        m_out += tag + ">";
        if (kind != Kind::Inline) {
            m_wordChars = 0;
        }
        if (kind == Kind::Void) {
            m_open.push_back({std::string(name), Action::Void, kind});
            return;
        }
        m_kept.push_back(m_open.size());
        m_open.push_back({std::string(name), Action::Kept, kind});
    }

    void end(std::string_view name) {
        // The parser matches its tags; search only in case it ever does not.
        for (auto it = m_open.rbegin(); it != m_open.rend(); ++it) {
            if (it->name == name) {
                const std::size_t depth = static_cast<std::size_t>(m_open.rend() - it) - 1;
                while (m_open.size() > depth) {
                    close();
                }
                return;
            }
        }
    }

    void close() {
        const Open& open = m_open.back();
        if (open.action == Action::Kept) {
            m_out += "</" + open.name + ">";
            m_kept.pop_back();
            if (open.kind != Kind::Inline) {
                m_wordChars = 0;
            }
        } else if (open.action == Action::Dropped) {
            --m_dropping;
        }
        m_open.pop_back();
    }

    void addText(std::string_view text) {
        if (m_dropping > 0 || m_stopped) {
            return;
        }
        if (insideTableStructure()) {
            return; // only white space between a table's parts
        }
        constexpr std::string_view kBreak = "\xE2\x80\x8B"; // zero-width space
        std::string broken;
        broken.reserve(text.size());
        for (std::size_t i = 0; i < text.size(); ++i) {
            const auto byte = static_cast<unsigned char>(text[i]);
            const bool startsCharacter = (byte & 0xC0) != 0x80;
            if (byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r' || byte == '\f' ||
                text.substr(i, kBreak.size()) == kBreak) {
                m_wordChars = 0;
            } else if (startsCharacter) {
                if (m_wordChars == m_limits.maxWordChars) {
                    broken += kBreak; // a place where the line may break
                    m_wordChars = 0;
                }
                ++m_wordChars;
            }
            broken += text[i];
        }
        std::string_view kept = broken;
        if (m_textBytes + kept.size() > m_limits.maxTextBytes) {
            std::size_t room = m_limits.maxTextBytes - m_textBytes;
            // Never cut a character in two.
            while (room > 0 && (static_cast<unsigned char>(kept[room]) & 0xC0) == 0x80) {
                --room;
            }
            kept = kept.substr(0, room);
            stop();
        }
        m_textBytes += kept.size();
        appendEscaped(m_out, kept, false);
    }

    const SanitizeLimits& m_limits;
    htmlParserCtxtPtr m_context = nullptr;
    std::string m_out;
    std::vector<Open> m_open;
    // Indexes into m_open of the kept elements.
    std::vector<std::size_t> m_kept;
    std::size_t m_dropping = 0;
    std::size_t m_scanned = 0;
    std::size_t m_elements = 0;
    std::size_t m_cells = 0;
    std::size_t m_textBytes = 0;
    std::size_t m_pictureBytes = 0;
    std::size_t m_wordChars = 0;
    bool m_stopped = false;
};

} // namespace

std::string sanitizeHtml(std::string_view html, const SanitizeLimits& limits) {
    return Sanitizer(limits).run(html);
}

} // namespace zorvane::net
