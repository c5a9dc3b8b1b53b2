#pragma once
// Undoing the escapes of a downloaded note text.

#include <string>
#include <string_view>

namespace zorvane::text {

// Applies the escapes of a single-quoted script string literal, then %hh / %uhhhh
// unescaping; line breaks, "{$}" markers and apostrophes come back as they were.
std::string unescapeText(std::string_view text);

// Reads bytes as UTF-16LE text (an odd trailing byte is dropped).
std::string bytesAsUtf16Text(std::string_view bytes);

} // namespace zorvane::text
