#pragma once
// The one place where the program converts between character encodings.
// In memory every text is UTF-8; files are GB18030 (a superset of GBK).
// No function here throws: invalid input is replaced with U+FFFD (or, towards
// GB18030, with the GB18030 form of U+FFFD, which every character has).

#include <cstddef>
#include <string>
#include <string_view>

namespace zorvane::text {

// GB18030 (or GBK) bytes to UTF-8; undecodable bytes become U+FFFD. The single byte
// 0x80, which Windows' code page 936 writes for the euro sign and GB18030 does not
// define, reads as U+20AC; `sawEuroByte`, when given, tells whether one was met.
std::string gb18030ToUtf8(std::string_view bytes, bool* sawEuroByte = nullptr);

// UTF-8 to GB18030 bytes; invalid UTF-8 is repaired first. U+20AC becomes GB18030's
// A2 E3, or the single byte 0x80 with `euroAsByte` (for a file that already uses it).
std::string utf8ToGb18030(std::string_view text, bool euroAsByte = false);

// UTF-16LE bytes to UTF-8; an odd trailing byte is dropped, lone surrogates become U+FFFD.
std::string utf16leToUtf8(std::string_view bytes);

// UTF-8 to UTF-16LE bytes; invalid UTF-8 is repaired first.
std::string utf8ToUtf16le(std::string_view text);

// True when the bytes are well-formed UTF-8 (no overlongs, no surrogates, <= U+10FFFF).
bool isValidUtf8(std::string_view bytes);

// The bytes with every ill-formed UTF-8 sequence replaced by U+FFFD.
std::string repairUtf8(std::string_view bytes);

// The code point at byte offset `pos` (< text.size()), advancing `pos` past it. An ill-formed
// sequence gives U+FFFD and advances past its longest well-formed prefix (at least one byte),
// so walking a text this way visits every byte once.
char32_t nextCodePoint(std::string_view text, std::size_t& pos);

} // namespace zorvane::text
