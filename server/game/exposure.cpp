// Exposure, damage and scoring.
#include "game/exposure.h"

#include "engine/cells.h"
#include "protocol.h"

// Whole-number conversion of a score; saturates instead of overflowing.
static int32_t truncatescore(long double v)
{
    if (v != v)
        return 0;
    if (v >= 2147483647.0L)
        return INT32_MAX;
    if (v <= -2147483648.0L)
        return INT32_MIN;
    return (int32_t)v;
}

void doexposure(GAME &g, int ourplayer)
{
    if (ourplayer < 0 || !roundplays(g.rounds))
        return; // between rounds nothing hurts
    PLAYERS &p = g.players;
    pthread_mutex_lock(&p.playerlist_lock);
    long x = p.playerlist[ourplayer].x;
    long y = p.playerlist[ourplayer].y;
    int health = p.playerlist[ourplayer].health;
    pthread_mutex_unlock(&p.playerlist_lock);

    // A player off the map stands in the surroundings: their temperature,
    // no attribution.
    WORLD &w = g.world;
    pthread_mutex_lock(&w.oldmap_lock);
    long at = cellindex(w, x, y);
    MAPUNIT cell = at < 0 ? w.outside : pubcell(w, (size_t)at);
    pthread_mutex_unlock(&w.oldmap_lock);

    int temperature = truncatetemp(cell.totalcal / cell.calperc);
    if (temperature <= HURTKELVINS || health <= 0)
        return;
    int damage = (int)(((long)temperature - HURTKELVINS) / DAMAGESTEP);
    long double totalheat = 0;
    for (int i = 0; i < NUMSLOTS; i++)
        totalheat += cell.sourcequan[i];

    pthread_mutex_lock(&p.playerlist_lock);
    p.playerlist[ourplayer].health -= damage;
    for (int i = 0; i < CREDITSLOTS && damage != 0; i++) {
        int s = cell.heatsource[i];
        if (s - 1 == ourplayer || s == 0)
            continue;
        int q = s - 1;
        // A share of no attributed heat has no meaning: no credit.
        if (q < 0 || q >= p.numplayers || totalheat == 0)
            continue;
        p.playerlist[q].score =
            truncatescore(p.playerlist[q].score + (cell.sourcequan[i] / totalheat) * damage);
    }
    pthread_mutex_unlock(&p.playerlist_lock);
}
