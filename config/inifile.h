#pragma once
// INI (profile) files with the rules of the Windows profile functions: section and key
// names compare without ASCII case, blanks around names and values are ignored on
// reading, a value in matching quotes reads without them, an existing key is replaced
// in place, a new key goes to the end of its section and a new section to the end of
// the file. Files are GB18030 with CRLF line ends; a file that starts with a UTF-8
// byte-order mark is read and written as UTF-8. Nothing is cut to a buffer size.
// Every write replaces the file atomically, so a reader never sees half a file.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zorvane::config {

// A whole INI file in memory. Lines that no operation touched are written back with
// their original bytes, so foreign or undecodable content survives a write.
class IniDocument {
public:
    // Reads a file's bytes (GB18030, or UTF-8 after a byte-order mark). Only the first
    // kMaxBytes are read; loadIniDocument refuses a longer file.
    static IniDocument parse(std::string_view bytes);
    static IniDocument parse(std::string&& bytes);
    static constexpr std::size_t kMaxBytes = 0xFFFFFFFFu;
    // The file's bytes.
    std::string serialize() const;

    // The value of the first matching key of the first matching section; "" when absent.
    std::string value(std::string_view section, std::string_view key) const;
    // The section's non-blank lines in file order, as "key=value" (names and values
    // trimmed, quotes kept) or the trimmed line when it holds no "=".
    std::vector<std::string> sectionLines(std::string_view section) const;
    // The same lines as views into the document, valid until it changes: the key (or
    // the whole trimmed line when it holds no "=") and the value, quotes kept.
    struct Entry {
        std::string_view key;
        std::string_view value;
        bool pair = false;
    };
    std::vector<Entry> sectionEntries(std::string_view section) const;
    // Creates the section and the key as needed; replaces an existing value in place and
    // leaves a line that already reads as `value` untouched. A value in quotes is stored
    // so that it reads back with them.
    void setValue(std::string_view section, std::string_view key, std::string_view value);
    // Drops every section of that name with its lines.
    void removeSection(std::string_view section);

private:
    enum class Eol : unsigned char { None, Lf, CrLf };
    // Where a line's text is: the bytes as read (text and bytes are the same), their
    // decoding, or, once changed, an edit of its own.
    enum class Origin : unsigned char { Bytes, Decoded, Edited };
    // A line as positions in the document's buffers, so reading a table of tens of thousands
    // of lines allocates nothing per line.
    struct Line {
        std::uint32_t bytes = 0;     // offset in m_bytes; unused when edited
        std::uint32_t bytesSize = 0; // without the line end
        std::uint32_t text = 0;      // offset in m_decoded, or index in m_edits when edited
        std::uint32_t textSize = 0;
        Eol eol = Eol::None; // the last line may have none
        Origin origin = Origin::Bytes;
    };
    // One slot of a section's key index: the key's hash and the first line holding it.
    // A slot keeps no copy of the key, which is compared with its line's own text, so
    // indexing a section of a million keys allocates no string.
    struct KeySlot {
        std::uint32_t hash = 0;
        std::uint32_t line = 0; // 0 marks a free slot (line 0 is the header)
    };
    struct Section {
        std::string name;
        std::vector<Line> lines; // lines[0] is the "[name]" line
        // Key (ASCII case folded) -> first line, open addressing over a power-of-two table
        // at most three quarters full; built on the first lookup by key: a load reads sections line
        // by line and never needs it.
        mutable std::vector<KeySlot> keys;
        mutable std::size_t keyCount = 0;
        mutable bool indexed = false;
    };

    static IniDocument parseOwned(std::string bytes);
    std::string_view textOf(const Line& line) const;
    std::string_view bytesOf(const Line& line) const;
    // Makes `line` an edited line holding `text`, reusing its edit when it has one.
    void setText(Line& line, std::string text);
    const Section* findSection(std::string_view section) const;
    Section* findSection(std::string_view section);
    void reindexSections();
    // The first line holding `key` (compared without ASCII case), 0 when none does; indexes
    // the section on its first use.
    std::size_t findKey(const Section& section, std::string_view key) const;
    // Records `line` as where `key` is, unless an earlier line already holds it.
    void addKey(const Section& section, std::string_view key, std::size_t line) const;
    // The slot holding `key`, or the free slot where it would go.
    std::size_t keySlot(const Section& section, std::string_view key, std::uint32_t hash) const;

    bool m_utf8 = false;
    bool m_euroByte = false; // the file writes the euro sign as the single byte 0x80
    std::string m_bytes;     // the file's bytes after any byte-order mark
    std::string m_decoded;   // the UTF-8 of lines whose bytes are not their text
    std::vector<std::string> m_edits;
    std::vector<Line> m_preamble; // lines before the first section
    std::vector<Section> m_sections;
    std::unordered_map<std::string, std::size_t> m_sectionIndex; // folded name -> first
    // The last name findSection was given, as given, and where it led.
    mutable std::string m_lastFoundName;
    mutable std::size_t m_lastFound = static_cast<std::size_t>(-1);
};

// Loads a file into `document`. A file that does not exist gives an empty document and
// true; a file that exists but cannot be read gives false, with the reason in `error`.
[[nodiscard]] bool loadIniDocument(const std::filesystem::path& file, IniDocument& document,
                                   std::string* error = nullptr);

// Writes the document over the file atomically; false (old file intact) on failure, with
// the file and the reason in `error`.
[[nodiscard]] bool saveIniDocument(const std::filesystem::path& file, const IniDocument& document,
                                   std::string* error = nullptr);

// Single reads and writes, as the profile functions make them.
std::string readIniValue(const std::filesystem::path& file, std::string_view section,
                         std::string_view key);
[[nodiscard]] bool writeIniValue(const std::filesystem::path& file, std::string_view section,
                                 std::string_view key, std::string_view value,
                                 std::string* error = nullptr);
std::vector<std::string> readIniSection(const std::filesystem::path& file,
                                        std::string_view section);

} // namespace zorvane::config
