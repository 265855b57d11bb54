// A player's actions under the two policies.
#include "actions.h"

#include <pthread.h>

#include <algorithm>

#include "moverule.h"
#include "publish.h"

static void addwebplayer(GAME &g, int num)
{
    pthread_mutex_lock(&g.web_lock);
    g.webplayers.push_back(num);
    pthread_mutex_unlock(&g.web_lock);
}

static void removewebplayer(GAME &g, int num)
{
    pthread_mutex_lock(&g.web_lock);
    auto &v = g.webplayers;
    v.erase(std::remove(v.begin(), v.end(), num), v.end());
    pthread_mutex_unlock(&g.web_lock);
}

int joingame(GAME &g, ACTOR &a, const char *name)
{
    if (a.policy == FAIR)
        leavegame(g, a);
    int num = addplayer(g.players, name);
    if (num < 0)
        return -1;
    a.num = num;
    if (a.policy == FAIR)
        addwebplayer(g, num);
    return num;
}

// A FAIR step of the actor's own player, checked and made under one hold of
// playerlist_lock (materials are fixed once the world is loaded: no grid
// lock is needed to ask whether a cell blocks).
static ACTED fairstep(GAME &g, ACTOR &a, int num, long x, long y, bool by)
{
    if (!taketoken(a.moves, buckettime()))
        return ACTDROPPED;
    if (a.num < 0 || num != a.num)
        return ACTREFUSED;
    const WORLD &w = g.world;
    PLAYERS &p = g.players;
    ACTED result = ACTREFUSED;
    pthread_mutex_lock(&p.playerlist_lock);
    PLAYERINFO &e = p.playerlist[a.num];
    if (e.num >= 0 && e.health > 0) {
        long nx = by ? e.x + x : x, ny = by ? e.y + y : y;
        auto blocked = [&w](long cx, long cy) { return w.materials[w.material[(size_t)cellindex(w, cx, cy)]].block != 0; };
        if (checkstep(w.mapsizex, w.mapsizey, e.x, e.y, nx, ny, blocked) == STEPOK) {
            e.x = (int32_t)nx;
            e.y = (int32_t)ny;
            result = ACTDONE;
        }
    }
    pthread_mutex_unlock(&p.playerlist_lock);
    return result;
}

ACTED moveplayer(GAME &g, ACTOR &a, int num, long x, long y, bool by)
{
    if (!roundplays(g.rounds))
        return ACTREFUSED; // between rounds
    if (a.policy == FAIR)
        return fairstep(g, a, num, x, y, by);
    if (by)
        return ACTREFUSED; // port 3140 moves to positions only
    PLAYERINFO to = {};
    to.x = (int32_t)x;
    to.y = (int32_t)y;
    chgplayerinfo(g.players, num, to);
    return ACTDONE;
}

ACTED setfire(GAME &g, ACTOR &a)
{
    if (a.policy == FAIR && !taketoken(a.fires, buckettime()))
        return ACTDROPPED;
    if (a.num < 0 || !roundplays(g.rounds))
        return ACTREFUSED;
    PLAYERS &p = g.players;
    pthread_mutex_lock(&p.playerlist_lock);
    const PLAYERINFO &e = p.playerlist[a.num];
    bool alive = e.health > 0 && (a.policy == CLASSIC || e.num >= 0);
    long x = e.x, y = e.y;
    pthread_mutex_unlock(&p.playerlist_lock);
    if (!alive)
        return ACTREFUSED;
    addfire(g.world, x, y, a.num + 1);
    notefire(g.rounds);
    return ACTDONE;
}

void leavegame(GAME &g, ACTOR &a)
{
    if (a.num < 0)
        return;
    if (a.policy == FAIR)
        removewebplayer(g, a.num);
    delplayer(g.players, a.num);
    a.num = -1;
}
