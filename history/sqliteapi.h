#pragma once
// SQLite opened when the history is first used. Linking it would map it into every start,
// although a window that never records a kill never opens the history. Internal to
// history/: include this instead of <sqlite3.h>; the calls keep SQLite's own names, which
// <sqlite3ext.h> turns into calls through the table loadSqlite() fills. A function not
// filled there is null: add it to sqliteapi.cpp before calling it.

#include <sqlite3ext.h>

#include <string>

SQLITE_EXTENSION_INIT3

namespace zorvane::history {

// Opens the library and fills the table once, for the rest of the process; false with
// the system's reason in `error` when it cannot be opened. Any thread; every opening of
// a database calls it first.
bool loadSqlite(std::string& error);

} // namespace zorvane::history
