#pragma once
// Shared text operations on UTF-8 texts. Positions are 0-based byte offsets,
// -1 means "not found". A match never starts inside a multi-byte character.
// Case folding touches ASCII letters only.

#include <string>
#include <string_view>
#include <vector>

namespace zorvane::text {

// First occurrence of needle at or after byte offset `from`; -1 when absent.
// An empty needle is found at `from` (when `from` is within the text).
long find(std::string_view text, std::string_view needle, long from = 0, bool foldCase = false);

// Last occurrence of needle; -1 when absent.
long findLast(std::string_view text, std::string_view needle, bool foldCase = false);

// Byte-wise equality, optionally folding ASCII letters.
bool equals(std::string_view a, std::string_view b, bool foldCase = false);

// Pieces between separators: "" gives none, a leading separator an empty first
// piece, adjacent separators an empty piece, a trailing separator no empty last piece.
std::vector<std::string> split(std::string_view text, std::string_view separator);

// Every occurrence replaced, left to right, without rescanning inserted text.
std::string replaceAll(std::string_view text, std::string_view from, std::string_view to,
                       bool foldCase = false);

// The pieces between runs of ASCII white space (space, tab, LF, VT, FF, CR), as a stream
// reads words: none for a text of white space only.
std::vector<std::string_view> words(std::string_view text);

// Strips ASCII blanks (0x20) and the ideographic space U+3000 at both ends, nothing else.
std::string trim(std::string_view text);

std::string toUpperAscii(std::string_view text);
std::string toLowerAscii(std::string_view text);
// a == b with ASCII letters compared without case (as toLowerAscii folds them).
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b);

// The first / last n characters (code points); n <= 0 gives "".
std::string leftChars(std::string_view text, long n);
std::string rightChars(std::string_view text, long n);

// Number of code points in a UTF-8 text.
long charCount(std::string_view text);

} // namespace zorvane::text
