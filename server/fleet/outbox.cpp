// Ended rounds sent to the fleet's board, each once.
#include "fleet/fleetdb.h"

bool sendresult(PGLINK &db, const std::string &game, const ROUNDRESULT &r)
{
    const PGPARAM g = pgtext(game), number = pgnumber(r.number), started = pgnumber(r.started);
    PGRESULT fresh;
    bool ok = db.exec("BEGIN") &&
              db.exec("INSERT INTO kindler_rounds(game, number, started, map, ended, why) VALUES ($1, $2, $3, $4, $5, $6)"
                      " ON CONFLICT DO NOTHING RETURNING number",
                      {g, number, started, pgtext(r.map), pgnumber(r.ended), pgtext(r.why)}, &fresh);
    // A round already there came with its results: nothing more to add.
    for (size_t i = 0; ok && fresh.rows() > 0 && i < r.players.size(); i++) {
        const ROUNDRESULT::ENTRY &e = r.players[i];
        ok = db.exec("INSERT INTO kindler_results(game, number, started, num, name, score, died, keyed)"
                     " VALUES ($1, $2, $3, $4, $5, $6, $7, $8) ON CONFLICT DO NOTHING",
                     {g, number, started, pgnumber(e.num), pgbytes(e.name), pgnumber(e.score),
                      pgtext(e.died ? "t" : "f"), pgtext(e.keyed ? "t" : "f")});
    }
    if (ok && db.exec("COMMIT"))
        return true;
    const std::string error = db.error;
    if (db.connected())
        db.exec("ROLLBACK");
    db.error = error;
    return false;
}
