#include "history/sqliteapi.h"

#include "text/sharedlibrary.h"

#include <mutex>

// The table <sqlite3ext.h>'s names call through; set once, before any database is opened.
const sqlite3_api_routines* sqlite3_api = nullptr;

namespace zorvane::history {
namespace {

#ifdef _WIN32
constexpr const char* kLibraryName = "sqlite3.dll";
#else
constexpr const char* kLibraryName = "libsqlite3.so.0";
#endif

struct Loaded {
    text::SharedLibrary library;
    sqlite3_api_routines api{};
    std::string error;
};

void load(Loaded& loaded) {
    loaded.library = text::SharedLibrary(kLibraryName);
    if (!loaded.library.isOpen()) {
        loaded.error = loaded.library.error();
        return;
    }
    const text::SharedLibrary& l = loaded.library;
    sqlite3_api_routines& a = loaded.api;
    const bool complete =
        l.resolve(a.open_v2, "sqlite3_open_v2") && l.resolve(a.close_v2, "sqlite3_close_v2") &&
        l.resolve(a.prepare_v2, "sqlite3_prepare_v2") &&
        l.resolve(a.prepare_v3, "sqlite3_prepare_v3") && l.resolve(a.step, "sqlite3_step") &&
        l.resolve(a.reset, "sqlite3_reset") && l.resolve(a.finalize, "sqlite3_finalize") &&
        l.resolve(a.clear_bindings, "sqlite3_clear_bindings") &&
        l.resolve(a.bind_int, "sqlite3_bind_int") &&
        l.resolve(a.bind_int64, "sqlite3_bind_int64") &&
        l.resolve(a.bind_text, "sqlite3_bind_text") &&
        l.resolve(a.column_int, "sqlite3_column_int") &&
        l.resolve(a.column_int64, "sqlite3_column_int64") &&
        l.resolve(a.column_text, "sqlite3_column_text") &&
        l.resolve(a.column_bytes, "sqlite3_column_bytes") && l.resolve(a.exec, "sqlite3_exec") &&
        l.resolve(a.errmsg, "sqlite3_errmsg") && l.resolve(a.errstr, "sqlite3_errstr") &&
        l.resolve(a.extended_errcode, "sqlite3_extended_errcode") &&
        l.resolve(a.extended_result_codes, "sqlite3_extended_result_codes") &&
        l.resolve(a.busy_timeout, "sqlite3_busy_timeout");
    if (!complete) {
        loaded.error = std::string(kLibraryName) + " lacks functions this program needs";
        return;
    }
    sqlite3_api = &loaded.api;
}

} // namespace

bool loadSqlite(std::string& error) {
    // Kept for the rest of the process: statements and connections may outlive any owner.
    static Loaded* loaded = new Loaded;
    static std::once_flag once;
    std::call_once(once, [] { load(*loaded); });
    if (sqlite3_api == nullptr) {
        error = loaded->error;
        return false;
    }
    return true;
}

} // namespace zorvane::history
