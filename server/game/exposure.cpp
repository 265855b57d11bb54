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
    PLAYERINFO e;
    if (!readplayer(g.players, ourplayer, e))
        return;
    const int health = e.health;

    // A player off the map stands in the surroundings: their temperature,
    // no attribution.
    const MAPUNIT cell = getcell(g.world, e.x, e.y);

    int temperature = truncatetemp(cell.totalcal / cell.calperc);
    if (temperature <= HURTKELVINS || health <= 0)
        return;
    int damage = (int)(((long)temperature - HURTKELVINS) / DAMAGESTEP);
    long double totalheat = 0;
    for (int i = 0; i < NUMSLOTS; i++)
        totalheat += cell.sourcequan[i];

    changeplayers(g.players, [&](PLAYERINFO *list, int numplayers) {
        list[ourplayer].health -= damage;
        for (int i = 0; i < CREDITSLOTS && damage != 0; i++) {
            int s = cell.heatsource[i];
            if (s - 1 == ourplayer || s == 0)
                continue;
            int q = s - 1;
            // A share of no attributed heat has no meaning: no credit.
            if (q < 0 || q >= numplayers || totalheat == 0)
                continue;
            list[q].score =
                truncatescore(list[q].score + (cell.sourcequan[i] / totalheat) * damage);
        }
    });
}
