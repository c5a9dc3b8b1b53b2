#include "config/inifile.h"

#include "text/codec.h"
#include "text/fileio.h"
#include "text/textops.h"

#include <algorithm>
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

struct RawLine {
    std::string_view content;
    std::string_view eol;
};

std::vector<RawLine> splitLines(std::string_view bytes) {
    std::vector<RawLine> lines;
    lines.reserve(static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1);
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t nl = bytes.find('\n', start);
        if (nl == std::string_view::npos) {
            lines.push_back({bytes.substr(start), {}});
            break;
        }
        std::size_t end = nl;
        std::string_view eol = "\n";
        if (end > start && bytes[end - 1] == '\r') {
            --end;
            eol = "\r\n";
        }
        lines.push_back({bytes.substr(start, end - start), eol});
        start = nl + 1;
    }
    return lines;
}

} // namespace

IniDocument IniDocument::parse(std::string_view bytes) {
    IniDocument doc;
    if (bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
        doc.m_utf8 = true;
        bytes.remove_prefix(kUtf8Bom.size());
    }
    const std::vector<RawLine> raw = splitLines(bytes);

    // Decode the whole file in one go; GB18030 never uses CR or LF inside a character,
    // so its lines match the raw lines unless broken bytes swallowed a line end.
    std::vector<std::string> texts;
    texts.reserve(raw.size());
    if (!doc.m_utf8 && !isAscii(bytes)) {
        const std::string decoded = text::gb18030ToUtf8(bytes, &doc.m_euroByte);
        const std::vector<RawLine> decodedLines = splitLines(decoded);
        bool match = decodedLines.size() == raw.size();
        for (std::size_t i = 0; match && i < raw.size(); ++i) {
            match = decodedLines[i].eol == raw[i].eol;
        }
        if (match) {
            for (const RawLine& line : decodedLines) {
                texts.emplace_back(line.content);
            }
        } else {
            for (const RawLine& line : raw) {
                texts.push_back(text::gb18030ToUtf8(line.content));
            }
        }
    } else {
        for (const RawLine& line : raw) {
            texts.push_back(doc.m_utf8 ? text::repairUtf8(line.content)
                                       : std::string(line.content));
        }
    }

    for (std::size_t i = 0; i < raw.size(); ++i) {
        Line line;
        line.rawIsText = texts[i] == raw[i].content;
        if (!line.rawIsText) {
            line.raw = raw[i].content;
        }
        line.text = std::move(texts[i]);
        line.eol = raw[i].eol;
        const Parsed parsed = classify(line.text);
        if (parsed.header) {
            Section section;
            section.name = std::string(parsed.name);
            doc.m_sections.push_back(std::move(section));
            doc.m_sections.back().lines.push_back(std::move(line));
        } else if (doc.m_sections.empty()) {
            doc.m_preamble.push_back(std::move(line));
        } else {
            doc.m_sections.back().lines.push_back(std::move(line));
        }
    }
    doc.reindexSections();
    return doc;
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
        if (line.dirty) {
            pending += line.text;
            pending += line.eol;
        } else {
            flush();
            out += line.rawIsText ? line.text : line.raw;
            out += line.eol;
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

const std::unordered_map<std::string, std::size_t>& IniDocument::keyIndex(const Section& section) {
    if (!section.indexed) {
        section.keys.reserve(section.lines.size());
        for (std::size_t i = 1; i < section.lines.size(); ++i) {
            const Parsed parsed = classify(section.lines[i].text);
            if (parsed.pair) {
                section.keys.try_emplace(text::toLowerAscii(parsed.name), i);
            }
        }
        section.indexed = true;
    }
    return section.keys;
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
    const auto& keys = keyIndex(*s);
    const auto it = keys.find(text::toLowerAscii(trimBlanks(key)));
    if (it == keys.end()) {
        return {};
    }
    std::string_view v = classify(s->lines[it->second].text).value;
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
        const std::string_view text = s->lines[i].text;
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
    const std::string folded = text::toLowerAscii(keyName);
    std::size_t found = 0;
    if (s) {
        const auto& keys = keyIndex(*s);
        if (const auto it = keys.find(folded); it != keys.end()) {
            found = it->second;
            std::string_view stored = classify(s->lines[found].text).value;
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
    Line line;
    line.text = keyName + "=" + storedValue(value);
    line.eol = "\r\n";
    line.dirty = true;

    if (!s) {
        const std::string sectionName = oneLine(trimBlanks(section));
        // The file's last line may lack its line end; the new section starts on a line of its own.
        Line* last = !m_sections.empty()   ? &m_sections.back().lines.back()
                     : !m_preamble.empty() ? &m_preamble.back()
                                           : nullptr;
        if (last && last->eol.empty()) {
            last->eol = "\r\n";
        }
        Section added;
        added.name = sectionName;
        added.lines.push_back(Line{{}, "[" + sectionName + "]", "\r\n", true});
        added.lines.push_back(std::move(line));
        added.keys.emplace(folded, 1);
        added.indexed = true;
        m_sectionIndex.try_emplace(text::toLowerAscii(sectionName), m_sections.size());
        m_sections.push_back(std::move(added));
        return;
    }
    if (found != 0) {
        Line& existing = s->lines[found];
        if (!existing.eol.empty()) {
            line.eol = existing.eol;
        }
        existing = std::move(line);
        return;
    }
    // After the section's last non-blank line, so blank lines before the next section stay.
    std::size_t after = s->lines.size() - 1;
    while (after > 0 && trimBlanks(s->lines[after].text).empty()) {
        --after;
    }
    if (s->lines[after].eol.empty()) {
        s->lines[after].eol = "\r\n";
    }
    s->lines.insert(s->lines.begin() + static_cast<std::ptrdiff_t>(after + 1), std::move(line));
    // Only blank lines followed the insertion point, so no indexed key moved.
    s->keys.emplace(folded, after + 1);
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
    const std::optional<std::string> bytes = text::readWholeFile(file, error);
    if (!bytes) {
        return false;
    }
    document = IniDocument::parse(*bytes);
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
