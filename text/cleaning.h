#pragma once
// Picking characters of one kind out of a typed text, used to validate number cells.

#include <string>
#include <string_view>

namespace zorvane::text {

// Chinese characters of the text. regexMode: every character outside U+0020..U+007F
// (stripSpaces then removes white space); otherwise extractHanziBytes.
std::string extractChinese(std::string_view text, bool regexMode = false, bool stripSpaces = false);

// The GBK double-byte characters in the hanzi ranges, scanned on the text's GB18030 bytes.
std::string extractHanziBytes(std::string_view text);

// ASCII letters: kind 0 both cases, 1 lower case, 2 upper case; other kinds give "".
std::string extractLetters(std::string_view text, int kind = 0);

// Every character that is not an ASCII digit, an ASCII letter or a CJK ideograph U+4E00..U+9FA5.
std::string extractDisallowedChars(std::string_view text);

} // namespace zorvane::text
