// The games' rows: each server's heartbeat, and the list of live games.
#include "fleet/fleetdb.h"

static const char *phasename(ROUNDPHASE p)
{
    return p == ROUNDPLAYING ? "playing" : p == ROUNDINTERMISSION ? "intermission" : nullptr;
}

bool storebeat(PGLINK &db, const GAMEROW &row)
{
    PGPARAM phase = pgtext(phasename(row.phase) ? phasename(row.phase) : "");
    phase.null = phasename(row.phase) == nullptr;
    return db.exec("INSERT INTO kindler_games(name, map, width, height, url, players, maxplayers, round, phase,"
                   " secondsleft, beat) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, now())"
                   " ON CONFLICT (name) DO UPDATE SET map = $2, width = $3, height = $4, url = $5, players = $6,"
                   " maxplayers = $7, round = $8, phase = $9, secondsleft = $10, beat = now()",
                   {pgtext(row.name), pgtext(row.map), pgnumber(row.width), pgnumber(row.height), pgtext(row.url),
                    pgnumber(row.players), pgnumber(row.maxplayers), pgnumber(row.round), phase,
                    pgnumber(row.left)});
}

bool readgames(PGLINK &db, double stale, std::vector<GAMEROW> &games)
{
    PGRESULT r;
    if (!db.exec("SELECT name, map, width, height, url, players, maxplayers, round, phase,"
                 " greatest(0, secondsleft - extract(epoch FROM now() - beat))::integer"
                 " FROM kindler_games WHERE beat > now() - make_interval(secs => $1) ORDER BY name",
                 {pgtext(std::to_string(stale))}, &r))
        return false;
    games.clear();
    for (int i = 0; i < r.rows(); i++) {
        GAMEROW g;
        g.name = r.text(i, 0);
        g.map = r.text(i, 1);
        g.width = (uint32_t)r.number(i, 2);
        g.height = (uint32_t)r.number(i, 3);
        g.url = r.text(i, 4);
        g.players = (int)r.number(i, 5);
        g.maxplayers = (int)r.number(i, 6);
        g.round = (uint32_t)r.number(i, 7);
        const std::string phase = r.isnull(i, 8) ? "" : r.text(i, 8);
        g.phase = phase == "playing" ? ROUNDPLAYING : phase == "intermission" ? ROUNDINTERMISSION : ROUNDOFF;
        g.left = (int)r.number(i, 9);
        games.push_back(std::move(g));
    }
    return true;
}
