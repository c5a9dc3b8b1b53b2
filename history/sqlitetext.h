#pragma once
// Text in and out of SQLite statements, for the history's tables. Internal to history/.

#include "history/sqliteapi.h"

#include <string>
#include <string_view>

namespace zorvane::history {

// Binds a copy of the text (the view need not outlive the statement's step).
inline void bindText(sqlite3_stmt* stmt, int index, std::string_view value) {
    sqlite3_bind_text(stmt, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
}

// A column's text, NUL bytes included; "" for NULL.
inline std::string columnText(sqlite3_stmt* stmt, int index) {
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(stmt, index));
    return bytes ? std::string(bytes, static_cast<std::size_t>(sqlite3_column_bytes(stmt, index)))
                 : std::string();
}

} // namespace zorvane::history
