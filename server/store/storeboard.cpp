// The rounds' rows of the SQLite store, and a game's board kept in a store.
#include <cstring>

#include "store/boardsql.h"

bool writeroundstate(sqlite3 *db, const SAVEDROUND &r)
{
    STATEMENT put(db, "INSERT OR REPLACE INTO roundstate(id, number, started, state) VALUES(1, ?, ?, ?)");
    if (!put.ok())
        return false;
    put.bind(1, (int64_t)r.number);
    put.bind(2, r.started);
    put.blob(3, r.state.data(), r.state.size());
    return put.run();
}

bool readroundstate(sqlite3 *db, SAVEDROUND &r, std::string &error)
{
    r = SAVEDROUND();
    STATEMENT q(db, "SELECT number, started, state FROM roundstate WHERE id = 1");
    const int rc = q.ok() ? q.step() : SQLITE_ERROR;
    if (rc == SQLITE_ROW) {
        if (q.integer(0) < 0 || q.integer(0) > UINT32_MAX) {
            error = "undecodable round state";
            return false;
        }
        r.number = (uint32_t)q.integer(0);
        r.started = q.integer(1);
        const unsigned char *p = (const unsigned char *)q.data(2);
        r.state.assign(p, p + q.size(2));
    } else if (rc != SQLITE_DONE) {
        error = sqlite3_errmsg(db);
        return false;
    }
    return true;
}

bool writeroundrows(sqlite3 *db, const ROUNDRESULT &r)
{
    STATEMENT round(db, "INSERT OR REPLACE INTO rounds(number, map, started, ended, why) VALUES(?, ?, ?, ?, ?)");
    STATEMENT cut(db, "DELETE FROM results WHERE round = ?");
    STATEMENT put(db, "INSERT OR REPLACE INTO results(round, num, name, score, died, keyed) VALUES(?, ?, ?, ?, ?, ?)");
    bool ok = round.ok() && cut.ok() && put.ok();
    if (ok) {
        round.bind(1, (int64_t)r.number);
        round.bind(2, r.map);
        round.bind(3, r.started);
        round.bind(4, r.ended);
        round.bind(5, r.why);
        cut.bind(1, (int64_t)r.number);
        ok = round.run() && cut.run();
    }
    for (size_t i = 0; ok && i < r.players.size(); i++) {
        const ROUNDRESULT::ENTRY &e = r.players[i];
        put.bind(1, (int64_t)r.number);
        put.bind(2, (int64_t)e.num);
        put.blob(3, e.name.data(), e.name.size());
        put.bind(4, (int64_t)e.score);
        put.bind(5, (int64_t)e.died);
        put.bind(6, (int64_t)e.keyed);
        ok = put.run();
    }
    return ok;
}

bool loadboardrows(sqlite3 *db, LEADERBOARD &b, std::string &error)
{
    b = LEADERBOARD();
    STATEMENT count(db, "SELECT count(*), coalesce(max(number), 0) FROM rounds");
    STATEMENT totals(db, "SELECT name, sum(score), count(*), sum(died), keyed FROM results GROUP BY keyed, name");
    STATEMENT last(db, "SELECT number, map, started, ended, why FROM rounds ORDER BY number DESC LIMIT 1");
    STATEMENT players(db, "SELECT num, name, score, died, keyed FROM results WHERE round = ?");
    if (!count.ok() || !totals.ok() || !last.ok() || !players.ok() || count.step() != SQLITE_ROW) {
        error = sqlite3_errmsg(db);
        return false;
    }
    b.rounds = (uint32_t)count.integer(0);
    b.lastnumber = (uint32_t)count.integer(1);
    int rc;
    while ((rc = totals.step()) == SQLITE_ROW)
        (totals.integer(4) ? b.totals : b.unkeyed)
            .push_back({totals.blobtext(0), totals.integer(1), (uint32_t)totals.integer(2),
                        (uint32_t)totals.integer(3)});
    sorttotals(b.totals);
    sorttotals(b.unkeyed);
    if (rc == SQLITE_DONE && (rc = last.step()) == SQLITE_ROW) {
        b.haslast = true;
        b.last.number = (uint32_t)last.integer(0);
        b.last.map = last.text(1);
        b.last.started = last.integer(2);
        b.last.ended = last.integer(3);
        b.last.why = last.text(4);
        players.bind(1, last.integer(0));
        while ((rc = players.step()) == SQLITE_ROW)
            b.last.players.push_back({players.blobtext(1), (int32_t)players.integer(2), players.integer(3) != 0,
                                      (int32_t)players.integer(0), players.integer(4) != 0});
        sortentries(b.last.players);
    }
    if (rc != SQLITE_DONE) {
        error = sqlite3_errmsg(db);
        return false;
    }
    return true;
}

std::shared_ptr<BOARD> makestoreboard(STORE &s, std::string &error)
{
    LEADERBOARD b;
    if (!s.loadboard(b, error))
        return nullptr;
    auto board = std::make_shared<BOARD>();
    board->stored = true;
    setboard(*board, b);
    return board;
}

bool flushboard(BOARD &b, STORE &s, std::string &error)
{
    std::vector<ROUNDRESULT> results = takeunsaved(b);
    for (size_t i = 0; i < results.size(); i++)
        if (!s.saveround(results[i], error)) {
            results.erase(results.begin(), results.begin() + (long)i);
            giveback(b, std::move(results));
            return false;
        }
    return true;
}
