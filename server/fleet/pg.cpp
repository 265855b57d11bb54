// The fleet's libpq connection.
#include "fleet/pg.h"

#include <cstdlib>

PGPARAM pgtext(const std::string &v) { return {v, false, false}; }
PGPARAM pgbytes(const std::string &v) { return {v, true, false}; }
PGPARAM pgnumber(int64_t v) { return {std::to_string(v), false, false}; }

std::string PGRESULT::text(int row, int col) const { return std::string(PQgetvalue(res, row, col)); }

int64_t PGRESULT::number(int row, int col) const { return std::strtoll(PQgetvalue(res, row, col), nullptr, 10); }

std::string PGRESULT::bytes(int row, int col) const
{
    size_t n = 0;
    unsigned char *b = PQunescapeBytea((const unsigned char *)PQgetvalue(res, row, col), &n);
    if (!b)
        return std::string();
    std::string s((const char *)b, n);
    PQfreemem(b);
    return s;
}

// libpq's messages end with a newline and may run on several lines.
static std::string oneline(const char *message)
{
    std::string s = message ? message : "";
    for (char &c : s)
        if (c == '\n' || c == '\r')
            c = ' ';
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s.empty() ? "no answer" : s;
}

bool PGLINK::connect(const std::string &uri, const PGBOUNDS &bounds)
{
    disconnect();
    const std::string connect = std::to_string(bounds.connect);
    const std::string options = "-c statement_timeout=" + std::to_string(bounds.statement * 1000) +
                                " -c lock_timeout=" + std::to_string(bounds.statement * 1000);
    const std::string usertimeout = std::to_string(bounds.gone * 1000);
    const std::string idle = std::to_string(bounds.gone > 2 ? bounds.gone / 2 : 1);
    const char *keys[] = {"dbname",    "connect_timeout",    "options",          "keepalives", "keepalives_idle",
                          "keepalives_interval", "keepalives_count", "tcp_user_timeout", "application_name",
                          nullptr};
    const char *values[] = {uri.c_str(), connect.c_str(), options.c_str(), "1",  idle.c_str(),
                            "1",         "2",             usertimeout.c_str(), "kindler-server", nullptr};
    conn = PQconnectdbParams(keys, values, 1);
    if (conn && PQstatus(conn) == CONNECTION_OK) {
        // The server's notices ("already exists, skipping") are not the console's.
        PQsetNoticeProcessor(conn, [](void *, const char *) {}, nullptr);
        return true;
    }
    error = oneline(conn ? PQerrorMessage(conn) : "out of memory");
    disconnect();
    return false;
}

void PGLINK::disconnect()
{
    if (conn)
        PQfinish(conn);
    conn = nullptr;
}

bool PGLINK::exec(const std::string &sql, const std::vector<PGPARAM> &params, PGRESULT *out)
{
    if (!conn) {
        error = "not connected";
        return false;
    }
    std::vector<const char *> values;
    std::vector<int> lengths, formats;
    for (const PGPARAM &p : params) {
        values.push_back(p.null ? nullptr : p.value.data());
        lengths.push_back((int)p.value.size());
        formats.push_back(p.binary ? 1 : 0);
    }
    // Without parameters a text may hold several statements (the schema's steps).
    PGRESULT r(params.empty() ? PQexec(conn, sql.c_str())
                              : PQexecParams(conn, sql.c_str(), (int)params.size(), nullptr, values.data(),
                                             lengths.data(), formats.data(), 0));
    const ExecStatusType st = r.res ? PQresultStatus(r.res) : PGRES_FATAL_ERROR;
    if (st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK) {
        if (out)
            *out = std::move(r);
        return true;
    }
    error = oneline(r.res ? PQresultErrorMessage(r.res) : PQerrorMessage(conn));
    if (error == "no answer")
        error = oneline(PQerrorMessage(conn));
    if (PQstatus(conn) != CONNECTION_OK)
        disconnect();
    return false;
}
