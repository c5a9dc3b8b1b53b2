#pragma once
// Kills as comma-separated values that spreadsheets open directly: UTF-8 with a
// byte-order mark (so Chinese names survive), CRLF line ends, fields quoted where
// needed.

#include "schedule/services.h"

#include <string>
#include <string_view>
#include <vector>

namespace zorvane::history {

// One field: quoted when it holds a comma, a quote, CR or LF, with inner quotes
// doubled. A text field that a spreadsheet would run as a formula (starting with
// = + - @, tab or CR) gets a leading apostrophe: names may come from other people.
std::string csvField(std::string_view value, bool isText = true);

// The header line and one line per record, in the order given, with the byte-order mark.
std::string killsCsv(const std::vector<schedule::KillRecord>& records);

} // namespace zorvane::history
