// A connection to the fleet's PostgreSQL database (libpq), used by the
// fleet thread alone. Every wait is bounded: connecting by connect_timeout,
// each statement by statement_timeout on the server and by TCP's user
// timeout and keepalives when the server is gone, so a database that stops
// answering costs the fleet thread seconds, never the game.
#pragma once

#include <libpq-fe.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The bounds of a connection's waits, in seconds.
struct PGBOUNDS {
    int connect = 3;     // connect_timeout
    int statement = 3;   // statement_timeout
    int gone = 5;        // tcp_user_timeout and the keepalives' reach
};

// One parameter of a statement: text, or bytes (bytea) when `binary`.
struct PGPARAM {
    std::string value;
    bool binary = false;
    bool null = false;
};
PGPARAM pgtext(const std::string &v);
PGPARAM pgbytes(const std::string &v);
PGPARAM pgnumber(int64_t v);

// A statement's result; rows are read as text (bytea through pgbytesof).
struct PGRESULT {
    PGresult *res = nullptr;
    PGRESULT() = default;
    explicit PGRESULT(PGresult *r) : res(r) {}
    PGRESULT(const PGRESULT &) = delete;
    PGRESULT &operator=(const PGRESULT &) = delete;
    PGRESULT(PGRESULT &&o) noexcept : res(o.res) { o.res = nullptr; }
    PGRESULT &operator=(PGRESULT &&o) noexcept
    {
        std::swap(res, o.res);
        return *this;
    }
    ~PGRESULT() { PQclear(res); }
    int rows() const { return res ? PQntuples(res) : 0; }
    bool isnull(int row, int col) const { return PQgetisnull(res, row, col) != 0; }
    std::string text(int row, int col) const;
    int64_t number(int row, int col) const;
    std::string bytes(int row, int col) const; // a bytea column
};

struct PGLINK {
    PGLINK() = default;
    PGLINK(const PGLINK &) = delete;
    PGLINK &operator=(const PGLINK &) = delete;
    ~PGLINK() { disconnect(); }

    PGconn *conn = nullptr;
    std::string error; // the last failure, one line

    // Connects to `uri` within the bounds; false with `error`.
    bool connect(const std::string &uri, const PGBOUNDS &bounds);
    void disconnect();
    bool connected() const { return conn != nullptr; }
    // Runs one statement; false with `error` (a broken connection is
    // dropped: connected() then says so). Rows go to *out when given.
    bool exec(const std::string &sql, const std::vector<PGPARAM> &params = {}, PGRESULT *out = nullptr);
};
