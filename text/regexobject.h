#pragma once
// Runs one regular expression over one text and hands out the matches.
// PCRE2 with UTF and \u escapes; a pattern PCRE2 rejects gives no matches.

#include <memory>
#include <string>
#include <string_view>

namespace zorvane::text {

class RegexObject {
public:
    RegexObject();
    ~RegexObject();
    RegexObject(const RegexObject&) = delete;
    RegexObject& operator=(const RegexObject&) = delete;

    // Compiles `pattern` and runs it over `subject` (invalid UTF-8 repaired first).
    // With quoteMarker, every "#引号" in the pattern becomes a double quote (the marker is
    // explained in the glossary in ARCHITECTURE.md).
    // False when the pattern is rejected; the object then reports no matches.
    bool create(std::string_view pattern, std::string_view subject, bool caseSensitive = false,
                bool multiline = true, bool global = true, bool quoteMarker = false);

    // The stored subject with every match (only the first when not global) replaced;
    // "$1".."$99", "$&", "$`", "$'" and "$$" in the replacement refer to groups, the match, the
    // text before and after it and a dollar. "" after a rejected pattern.
    std::string replace(std::string_view replacement = {}) const;

    int matchCount() const;

    // Text of match `index` (1-based); `position`, when given, gets its 0-based byte offset
    // (-1 for an index outside 1..matchCount, which gives "").
    std::string matchText(int index, long* position = nullptr) const;

    // Text of group `group` (1-based) of match `index` (1-based); "" for an unset group.
    std::string subMatchText(int index, int group, long* position = nullptr) const;

    // Number of capturing groups in the first match; 0 when there is no match.
    int subMatchCount() const;

    // The pattern as given to the last create (after quote-marker replacement), even when it
    // was rejected.
    std::string getPattern() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace zorvane::text
