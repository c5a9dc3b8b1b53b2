#include "config/inifile.h"

#include "text/codec.h"
#include "text/fileio.h"
#include "text/textops.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <system_error>
#include <utility>

namespace zorvane::config {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool isBlankByte(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 1 && u <= 32;
}

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && isBlankByte(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isBlankByte(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

bool isAscii(std::string_view s) {
    for (char c : s) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

// A line's role: a section header (name set), a key line (key set), or anything else.
struct Parsed {
    bool header = false;
    bool pair = false;
    std::string_view name; // section name or key
    std::string_view value;
};

Parsed classify(std::string_view text) {
    Parsed p;
    const std::string_view t = trimBlanks(text);
    if (t.empty()) {
        return p;
    }
    if (t.front() == '[') {
        std::string_view inner = t.substr(1);
        const std::size_t close = inner.find(']');
        if (close != std::string_view::npos) {
            inner = inner.substr(0, close);
        }
        p.header = true;
        p.name = trimBlanks(inner);
        return p;
    }
    const std::size_t eq = t.find('=');
    if (eq != std::string_view::npos) {
        p.pair = true;
        p.name = trimBlanks(t.substr(0, eq));
        p.value = trimBlanks(t.substr(eq + 1));
    }
    return p;
}

// Line ends inside a value or name would split the line in the file.
std::string oneLine(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return out;
}

// The reader drops one pair of matching quotes around a value, so a value that has
// them is written inside one more pair and reads back as it was.
std::string storedValue(std::string_view value) {
    std::string line = oneLine(value);
    const std::string_view t = trimBlanks(line);
    if (t.size() >= 2 && (t.front() == '"' || t.front() == '\'') && t.back() == t.front()) {
        line = '"' + line + '"';
    }
    return line;
}

constexpr std::string_view eolText(unsigned char eol) {
    return eol == 2   ? std::string_view("\r\n")
           : eol == 1 ? std::string_view("\n")
                      : std::string_view();
}

// The next line of `bytes` from `start`: its end (before any CR of a CRLF) and where the next
// line starts; the kind of line end is 0 (none), 1 (LF) or 2 (CRLF).
struct LineSpan {
    std::size_t end;
    std::size_t next;
    unsigned char eol;
};

LineSpan nextLine(std::string_view bytes, std::size_t start) {
    const void* found = std::memchr(bytes.data() + start, '\n', bytes.size() - start);
    if (!found) {
        return {bytes.size(), bytes.size(), 0};
    }
    const auto nl = static_cast<std::size_t>(static_cast<const char*>(found) - bytes.data());
    if (nl > start && bytes[nl - 1] == '\r') {
        return {nl - 1, nl + 1, 2};
    }
    return {nl, nl + 1, 1};
}

} // namespace

IniDocument IniDocument::parse(std::string_view bytes) {
    return parseOwned(std::string(bytes.substr(0, kMaxBytes)));
}

IniDocument IniDocument::parse(std::string&& bytes) {
    if (bytes.size() > kMaxBytes) {
        bytes.resize(kMaxBytes);
    }
    return parseOwned(std::move(bytes));
}

IniDocument IniDocument::parseOwned(std::string bytes) {
    IniDocument doc;
    if (std::string_view(bytes).substr(0, kUtf8Bom.size()) == kUtf8Bom) {
        doc.m_utf8 = true;
        bytes.erase(0, kUtf8Bom.size());
    }
    doc.m_bytes = std::move(bytes);
    const std::string_view raw = doc.m_bytes;
    const auto offset = [](std::size_t n) { return static_cast<std::uint32_t>(n); };

    // Every line, then the sections cut out of them at their headers.
    std::vector<Line> lines;
    lines.reserve(static_cast<std::size_t>(std::count(raw.begin(), raw.end(), '\n')) + 1);
    const auto addLine = [&](std::size_t start, const LineSpan& span) {
        Line line;
        line.bytes = offset(start);
        line.bytesSize = offset(span.end - start);
        line.text = line.bytes;
        line.textSize = line.bytesSize;
        line.eol = static_cast<Eol>(span.eol);
        lines.push_back(line);
    };
    // Every line, each decoded alone: `decode` gives a line's text when it is not its bytes.
    const auto addLinesDecodedAlone = [&](const auto& decode) {
        for (std::size_t start = 0; start < raw.size();) {
            const LineSpan span = nextLine(raw, start);
            addLine(start, span);
            if (const std::optional<std::string> text =
                    decode(raw.substr(start, span.end - start))) {
                Line& line = lines.back();
                line.origin = Origin::Decoded;
                line.text = offset(doc.m_decoded.size());
                line.textSize = offset(text->size());
                doc.m_decoded += *text;
            }
            start = span.next;
        }
    };
    if (doc.m_utf8) {
        addLinesDecodedAlone([](std::string_view bytes) -> std::optional<std::string> {
            if (text::isValidUtf8(bytes)) {
                return std::nullopt;
            }
            return text::repairUtf8(bytes);
        });
    } else if (isAscii(raw)) {
        addLinesDecodedAlone([](std::string_view) -> std::optional<std::string> { return {}; });
    } else {
        // Decode the whole file in one go; GB18030 never uses CR or LF inside a character,
        // so its lines match the raw lines unless broken bytes swallowed a line end.
        doc.m_decoded = text::gb18030ToUtf8(raw, &doc.m_euroByte);
        const std::string_view decoded = doc.m_decoded;
        bool match = true;
        std::size_t start = 0;
        std::size_t decodedStart = 0;
        while (match && start < raw.size()) {
            const LineSpan span = nextLine(raw, start);
            const LineSpan decodedSpan = decodedStart < decoded.size()
                                             ? nextLine(decoded, decodedStart)
                                             : LineSpan{decoded.size(), decoded.size(), 3};
            match = decodedSpan.eol == span.eol;
            addLine(start, span);
            const std::string_view content = raw.substr(start, span.end - start);
            const std::string_view text =
                decoded.substr(decodedStart, decodedSpan.end - decodedStart);
            if (content != text) {
                Line& line = lines.back();
                line.origin = Origin::Decoded;
                line.text = offset(decodedStart);
                line.textSize = offset(text.size());
            }
            start = span.next;
            decodedStart = decodedSpan.next;
        }
        if (!match || decodedStart < decoded.size()) {
            // Line by line instead, each decoded alone.
            lines.clear();
            doc.m_decoded.clear();
            addLinesDecodedAlone([](std::string_view bytes) -> std::optional<std::string> {
                if (isAscii(bytes)) {
                    return std::nullopt;
                }
                return text::gb18030ToUtf8(bytes);
            });
        }
    }

    std::size_t first = 0;
    while (first < lines.size() && !classify(doc.textOf(lines[first])).header) {
        ++first;
    }
    doc.m_preamble.assign(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(first));
    for (std::size_t i = first; i < lines.size();) {
        std::size_t end = i + 1;
        while (end < lines.size() && !classify(doc.textOf(lines[end])).header) {
            ++end;
        }
        Section section;
        section.name = std::string(classify(doc.textOf(lines[i])).name);
        section.lines.assign(lines.begin() + static_cast<std::ptrdiff_t>(i),
                             lines.begin() + static_cast<std::ptrdiff_t>(end));
        doc.m_sections.push_back(std::move(section));
        i = end;
    }
    doc.reindexSections();
    return doc;
}

std::string_view IniDocument::textOf(const Line& line) const {
    switch (line.origin) {
    case Origin::Bytes:
        return std::string_view(m_bytes).substr(line.bytes, line.bytesSize);
    case Origin::Decoded:
        return std::string_view(m_decoded).substr(line.text, line.textSize);
    case Origin::Edited:
        break;
    }
    return m_edits[line.text];
}

std::string_view IniDocument::bytesOf(const Line& line) const {
    return std::string_view(m_bytes).substr(line.bytes, line.bytesSize);
}

void IniDocument::setText(Line& line, std::string text) {
    if (line.origin == Origin::Edited) {
        m_edits[line.text] = std::move(text);
        return;
    }
    line.origin = Origin::Edited;
    line.text = static_cast<std::uint32_t>(m_edits.size());
    m_edits.push_back(std::move(text));
}

std::string IniDocument::serialize() const {
    std::string out;
    if (m_utf8) {
        out += kUtf8Bom;
    }
    std::string pending; // UTF-8 of changed lines, encoded in one go
    auto flush = [&] {
        if (!pending.empty()) {
            out += m_utf8 ? pending : text::utf8ToGb18030(pending, m_euroByte);
            pending.clear();
        }
    };
    auto emit = [&](const Line& line) {
        const std::string_view eol = eolText(static_cast<unsigned char>(line.eol));
        if (line.origin == Origin::Edited) {
            pending += textOf(line);
            pending += eol;
        } else {
            flush();
            out += bytesOf(line);
            out += eol;
        }
    };
    for (const Line& line : m_preamble) {
        emit(line);
    }
    for (const Section& section : m_sections) {
        for (const Line& line : section.lines) {
            emit(line);
        }
    }
    flush();
    return out;
}

void IniDocument::reindexSections() {
    m_lastFound = static_cast<std::size_t>(-1);
    m_sectionIndex.clear();
    for (std::size_t i = 0; i < m_sections.size(); ++i) {
        m_sectionIndex.try_emplace(text::toLowerAscii(m_sections[i].name), i);
    }
}

namespace {

// FNV-1a over the ASCII-folded bytes, then a final mix, since the slot is taken from the low
// bits.
std::uint32_t foldedHash(std::string_view key) {
    std::uint32_t h = 2166136261u;
    for (const char c : key) {
        const char folded = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        h = (h ^ static_cast<unsigned char>(folded)) * 16777619u;
    }
    h ^= h >> 16;
    h *= 0x85ebca6bu;
    h ^= h >> 13;
    return h;
}

// The table size for `keys` keys: a power of two, at least 16, at most three quarters full.
std::size_t slotsFor(std::size_t keys) {
    std::size_t size = 16;
    while (size * 3 < keys * 4) {
        size *= 2;
    }
    return size;
}

} // namespace

std::size_t IniDocument::keySlot(const Section& section, std::string_view key,
                                 std::uint32_t hash) const {
    const std::size_t mask = section.keys.size() - 1;
    std::size_t at = hash & mask;
    for (; section.keys[at].line != 0; at = (at + 1) & mask) {
        const KeySlot& slot = section.keys[at];
        if (slot.hash == hash &&
            text::equals(classify(textOf(section.lines[slot.line])).name, key, true)) {
            break;
        }
    }
    return at;
}

void IniDocument::addKey(const Section& section, std::string_view key, std::size_t line) const {
    if (const std::size_t size = slotsFor(section.keyCount + 1); size > section.keys.size()) {
        std::vector<KeySlot> grown(size);
        const std::size_t mask = grown.size() - 1;
        for (const KeySlot& slot : section.keys) {
            if (slot.line != 0) {
                std::size_t at = slot.hash & mask;
                while (grown[at].line != 0) {
                    at = (at + 1) & mask;
                }
                grown[at] = slot;
            }
        }
        section.keys = std::move(grown);
    }
    const std::uint32_t hash = foldedHash(key);
    KeySlot& slot = section.keys[keySlot(section, key, hash)];
    // The first line of a key is the one that counts.
    if (slot.line == 0) {
        slot = KeySlot{hash, static_cast<std::uint32_t>(line)};
        ++section.keyCount;
    }
}

std::size_t IniDocument::findKey(const Section& section, std::string_view key) const {
    if (!section.indexed) {
        section.keys.assign(slotsFor(section.lines.size()), KeySlot{});
        section.keyCount = 0;
        for (std::size_t i = 1; i < section.lines.size(); ++i) {
            const Parsed parsed = classify(textOf(section.lines[i]));
            if (parsed.pair) {
                addKey(section, parsed.name, i);
            }
        }
        section.indexed = true;
    }
    return section.keys[keySlot(section, key, foldedHash(key))].line;
}

const IniDocument::Section* IniDocument::findSection(std::string_view section) const {
    // A save writes a whole section's keys in a row: the same name is asked for again
    // and again, and folding it each time cost more than the lookup.
    if (m_lastFound < m_sections.size() && section == m_lastFoundName) {
        return &m_sections[m_lastFound];
    }
    const auto it = m_sectionIndex.find(text::toLowerAscii(trimBlanks(section)));
    if (it == m_sectionIndex.end()) {
        return nullptr;
    }
    m_lastFoundName.assign(section);
    m_lastFound = it->second;
    return &m_sections[it->second];
}

IniDocument::Section* IniDocument::findSection(std::string_view section) {
    return const_cast<Section*>(std::as_const(*this).findSection(section));
}

std::string IniDocument::value(std::string_view section, std::string_view key) const {
    const Section* s = findSection(section);
    if (!s) {
        return {};
    }
    const std::size_t found = findKey(*s, trimBlanks(key));
    if (found == 0) {
        return {};
    }
    std::string_view v = classify(textOf(s->lines[found])).value;
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        v = v.substr(1, v.size() - 2);
    }
    return std::string(v);
}

std::vector<IniDocument::Entry> IniDocument::sectionEntries(std::string_view section) const {
    std::vector<Entry> result;
    const Section* s = findSection(section);
    if (!s) {
        return result;
    }
    result.reserve(s->lines.size() - 1);
    for (std::size_t i = 1; i < s->lines.size(); ++i) {
        const std::string_view text = textOf(s->lines[i]);
        const Parsed parsed = classify(text);
        if (parsed.pair) {
            result.push_back({parsed.name, parsed.value, true});
        } else if (const std::string_view trimmed = trimBlanks(text); !trimmed.empty()) {
            result.push_back({trimmed, {}, false});
        }
    }
    return result;
}

std::vector<std::string> IniDocument::sectionLines(std::string_view section) const {
    std::vector<std::string> result;
    for (const Entry& entry : sectionEntries(section)) {
        std::string line(entry.key);
        if (entry.pair) {
            line += '=';
            line += entry.value;
        }
        result.push_back(std::move(line));
    }
    return result;
}

void IniDocument::setValue(std::string_view section, std::string_view key, std::string_view value) {
    const std::string keyName = oneLine(trimBlanks(key));
    // A save sets every cell again, mostly to what it already holds: that case is
    // decided before any new line is built.
    Section* s = findSection(oneLine(trimBlanks(section)));
    std::size_t found = 0;
    if (s) {
        found = findKey(*s, keyName);
        if (found != 0) {
            std::string_view stored = classify(textOf(s->lines[found])).value;
            if (stored.size() >= 2 && (stored.front() == '"' || stored.front() == '\'') &&
                stored.back() == stored.front()) {
                stored = stored.substr(1, stored.size() - 2);
            }
            const bool plain = value.find_first_of("\r\n") == std::string_view::npos;
            if (plain ? stored == value : stored == oneLine(value)) {
                // Already stored: the line keeps its bytes, even those that do not decode.
                return;
            }
        }
    }
    std::string lineText = keyName + "=" + storedValue(value);

    if (!s) {
        const std::string sectionName = oneLine(trimBlanks(section));
        // The file's last line may lack its line end; the new section starts on a line of its own.
        Line* last = !m_sections.empty()   ? &m_sections.back().lines.back()
                     : !m_preamble.empty() ? &m_preamble.back()
                                           : nullptr;
        if (last && last->eol == Eol::None) {
            last->eol = Eol::CrLf;
        }
        Section added;
        added.name = sectionName;
        added.lines.resize(2, Line{.eol = Eol::CrLf});
        setText(added.lines[0], "[" + sectionName + "]");
        setText(added.lines[1], std::move(lineText));
        m_sectionIndex.try_emplace(text::toLowerAscii(sectionName), m_sections.size());
        m_sections.push_back(std::move(added));
        const Section& placed = m_sections.back();
        addKey(placed, keyName, 1);
        placed.indexed = true;
        return;
    }
    if (found != 0) {
        Line& existing = s->lines[found];
        if (existing.eol == Eol::None) {
            existing.eol = Eol::CrLf;
        }
        setText(existing, std::move(lineText));
        return;
    }
    // After the section's last non-blank line, so blank lines before the next section stay.
    std::size_t after = s->lines.size() - 1;
    while (after > 0 && trimBlanks(textOf(s->lines[after])).empty()) {
        --after;
    }
    if (s->lines[after].eol == Eol::None) {
        s->lines[after].eol = Eol::CrLf;
    }
    Line line{.eol = Eol::CrLf};
    setText(line, std::move(lineText));
    s->lines.insert(s->lines.begin() + static_cast<std::ptrdiff_t>(after + 1), line);
    // Only blank lines followed the insertion point, so no indexed key moved.
    addKey(*s, keyName, after + 1);
}

void IniDocument::removeSection(std::string_view section) {
    const std::string folded = text::toLowerAscii(trimBlanks(section));
    std::erase_if(m_sections,
                  [&](const Section& s) { return text::toLowerAscii(s.name) == folded; });
    reindexSections();
}

bool loadIniDocument(const std::filesystem::path& file, IniDocument& document, std::string* error) {
    std::error_code ec;
    if (std::filesystem::status(file, ec).type() == std::filesystem::file_type::not_found) {
        document = IniDocument();
        return true;
    }
    // The file and the system's reason ("…/config.ini: Is a directory"); a pipe in its
    // place is refused at once instead of holding the reader.
    std::optional<std::string> bytes = text::readWholeFile(file, error);
    if (!bytes) {
        return false;
    }
    if (bytes->size() > IniDocument::kMaxBytes) {
        // Never a settings file; cut off, a save would lose its end.
        if (error) {
            *error = text::utf8FromPath(file) + ": " + std::generic_category().message(EFBIG);
        }
        return false;
    }
    document = IniDocument::parse(std::move(*bytes));
    return true;
}

bool saveIniDocument(const std::filesystem::path& file, const IniDocument& document,
                     std::string* error) {
    return text::replaceFileAtomically(file, document.serialize(), error);
}

std::string readIniValue(const std::filesystem::path& file, std::string_view section,
                         std::string_view key) {
    IniDocument doc;
    if (!loadIniDocument(file, doc)) {
        return {};
    }
    return doc.value(section, key);
}

bool writeIniValue(const std::filesystem::path& file, std::string_view section,
                   std::string_view key, std::string_view value, std::string* error) {
    IniDocument doc;
    if (!loadIniDocument(file, doc, error)) {
        return false;
    }
    doc.setValue(section, key, value);
    return saveIniDocument(file, doc, error);
}

std::vector<std::string> readIniSection(const std::filesystem::path& file,
                                        std::string_view section) {
    IniDocument doc;
    if (!loadIniDocument(file, doc)) {
        return {};
    }
    return doc.sectionLines(section);
}

} // namespace zorvane::config
