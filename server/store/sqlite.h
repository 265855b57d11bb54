// Small helpers over SQLite's C API for the store: statements that
// finalise themselves, and one-line errors.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>

struct STATEMENT {
    sqlite3_stmt *s = nullptr;
    STATEMENT(sqlite3 *db, const char *sql) { sqlite3_prepare_v2(db, sql, -1, &s, nullptr); }
    ~STATEMENT() { sqlite3_finalize(s); }
    STATEMENT(const STATEMENT &) = delete;
    STATEMENT &operator=(const STATEMENT &) = delete;
    bool ok() const { return s != nullptr; }
    void bind(int i, int64_t v) { sqlite3_bind_int64(s, i, v); }
    void bind(int i, const std::string &v) { sqlite3_bind_text(s, i, v.data(), (int)v.size(), SQLITE_TRANSIENT); }
    // Bound without a copy: the bytes must last until the statement runs.
    // An empty blob is bound as such, never as NULL.
    void blob(int i, const void *p, size_t n)
    {
        if (n == 0)
            sqlite3_bind_zeroblob(s, i, 0);
        else
            sqlite3_bind_blob64(s, i, p, n, SQLITE_STATIC);
    }
    int step() { return sqlite3_step(s); }
    // Runs a statement that returns no row, and readies it for another run.
    bool run()
    {
        int rc = sqlite3_step(s);
        sqlite3_reset(s);
        sqlite3_clear_bindings(s);
        return rc == SQLITE_DONE;
    }
    int64_t integer(int col) { return sqlite3_column_int64(s, col); }
    const void *data(int col) { return sqlite3_column_blob(s, col); }
    size_t size(int col) { return (size_t)sqlite3_column_bytes(s, col); }
    // A blob column's bytes as a string ("" for an empty blob).
    std::string blobtext(int col)
    {
        const char *p = (const char *)data(col);
        return p ? std::string(p, size(col)) : std::string();
    }
    std::string text(int col)
    {
        const unsigned char *t = sqlite3_column_text(s, col);
        return t ? std::string((const char *)t, size(col)) : std::string();
    }
};

// Runs statements that return no rows; false with SQLite's message.
inline bool execsql(sqlite3 *db, const char *sql, std::string &error)
{
    char *message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    error = message ? message : sqlite3_errmsg(db);
    sqlite3_free(message);
    return false;
}

// Ends the transaction begun on db: commits it when ok, else (or when the
// commit fails) rolls it back. True when it was committed.
inline bool endtransaction(sqlite3 *db, bool ok, std::string &error)
{
    std::string ignored;
    if (!ok || !execsql(db, "COMMIT", error)) {
        execsql(db, "ROLLBACK", ignored);
        return false;
    }
    return true;
}

// Runs `body` (false when one of its statements failed) in a transaction
// of its own on db and ends it (endtransaction). False with SQLite's
// message when the transaction could not begin, a statement failed or the
// commit did.
template <class BODY> bool intransaction(sqlite3 *db, std::string &error, BODY body)
{
    if (!execsql(db, "BEGIN IMMEDIATE", error))
        return false;
    const bool ok = body();
    if (!ok)
        error = sqlite3_errmsg(db);
    return endtransaction(db, ok, error);
}

// The store's schema: the version this program writes, and the upgrade of
// a file of an older version (0: a database without the store's tables)
// to it, in one transaction. False with SQLite's message.
enum { STOREVERSION = 2, STOREAPPID = 0x4b4e444c /* "KNDL" */ };
bool upgradestore(sqlite3 *db, int from, std::string &error);
