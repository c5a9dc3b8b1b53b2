#pragma once
// Lenient number reading of typed cell texts, and number formatting.

#include <cstdint>
#include <string>
#include <string_view>

namespace zorvane::text {

// Every character whose GBK form is A3 xx (A3 A1..A3 FE: the full-width ASCII forms, with
// U+FFE5 for '$' and U+FFE3 for '~') becomes the ASCII character xx - 0x80, and U+3000 becomes
// a blank; everything else is kept.
std::string normalizeFullWidth(std::string_view text);

// After normalisation and leading white space: optional sign and leading digits.
// No digits gives 0; values beyond 32 bits saturate.
std::int32_t textToInteger(std::string_view text);

// Like textToInteger, with an optional decimal point and exponent; 0 when no number begins the
// text. Independent of the process locale; overflow saturates at the largest finite double.
double textToNumber(std::string_view text);

// Plain decimal text of a whole number.
std::string integerText(long long value);

// Up to 13 significant digits ("%.13g"): 3.0 gives "3".
std::string numberText(double value);

} // namespace zorvane::text
