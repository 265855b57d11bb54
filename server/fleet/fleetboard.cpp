// The fleet's board, read from every game's rounds.
#include "fleet/fleetdb.h"

static bool readtotals(PGLINK &db, bool keyed, size_t top, std::vector<LEADERBOARD::TOTAL> &totals)
{
    PGRESULT r;
    if (!db.exec("SELECT name, sum(score), count(*), count(*) FILTER (WHERE died) FROM kindler_results"
                 " WHERE keyed = $1 GROUP BY name ORDER BY sum(score) DESC, name LIMIT $2",
                 {pgtext(keyed ? "t" : "f"), pgnumber((int64_t)top)}, &r))
        return false;
    totals.clear();
    for (int i = 0; i < r.rows(); i++)
        totals.push_back({r.bytes(i, 0), r.number(i, 1), (uint32_t)r.number(i, 2), (uint32_t)r.number(i, 3)});
    sorttotals(totals); // names compare as bytes here, as they do in the game
    return true;
}

bool readfleetboard(PGLINK &db, size_t top, LEADERBOARD &b)
{
    b = LEADERBOARD();
    PGRESULT count, last;
    if (!db.exec("SELECT count(*), coalesce(max(number), 0) FROM kindler_rounds", {}, &count) ||
        !readtotals(db, true, top, b.totals) || !readtotals(db, false, top, b.unkeyed) ||
        !db.exec("SELECT game, number, started, map, ended, why FROM kindler_rounds"
                 " ORDER BY arrived DESC, ended DESC LIMIT 1",
                 {}, &last))
        return false;
    b.rounds = (uint32_t)count.number(0, 0);
    b.lastnumber = (uint32_t)count.number(0, 1);
    if (last.rows() == 0)
        return true;
    b.haslast = true;
    ROUNDRESULT &l = b.last;
    l.game = last.text(0, 0);
    l.number = (uint32_t)last.number(0, 1);
    l.started = last.number(0, 2);
    l.map = last.text(0, 3);
    l.ended = last.number(0, 4);
    l.why = last.text(0, 5);
    PGRESULT players;
    if (!db.exec("SELECT num, name, score, died, keyed FROM kindler_results"
                 " WHERE game = $1 AND number = $2 AND started = $3",
                 {pgtext(l.game), pgnumber(l.number), pgnumber(l.started)}, &players))
        return false;
    for (int i = 0; i < players.rows(); i++)
        l.players.push_back({players.bytes(i, 1), (int32_t)players.number(i, 2), players.text(i, 3) == "t",
                             (int32_t)players.number(i, 0), players.text(i, 4) == "t"});
    sortentries(l.players);
    return true;
}
