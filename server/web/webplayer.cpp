// Web players' moves and fires.
#include "web/webplayer.h"

#include <chrono>

#include "player.h"
#include "publish.h"
#include "web/metrics.h"
#include "web/stream.h"
#include "world.h"

// Seconds on the steady clock, for the token buckets.
static double now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

int webjoin(WEBPLAYER &p, const std::string &name)
{
    webleave(p);
    p.num = addplayer(name.c_str());
    if (p.num >= 0)
        addwebplayer(p.num);
    return p.num;
}

// The player's position, when it is present and alive.
static bool livingat(int num, long *x, long *y)
{
    PLAYERS &pl = serverplayers;
    pthread_mutex_lock(&pl.playerlist_lock);
    const PLAYERINFO &e = pl.playerlist[num];
    bool alive = e.num >= 0 && e.health > 0;
    *x = e.x;
    *y = e.y;
    pthread_mutex_unlock(&pl.playerlist_lock);
    return alive;
}

bool webmove(WEBPLAYER &p, int dx, int dy)
{
    if (!taketoken(p.moves, now())) {
        countweb(MOVESDROPPED);
        return false;
    }
    long x, y;
    if (p.num < 0 || !livingat(p.num, &x, &y)) {
        countweb(MOVESREFUSED);
        return false;
    }
    // Materials are fixed once the world is loaded: no lock needed.
    const WORLD &w = serverworld;
    long i = cellindex(w, x + dx, y + dy);
    if (i < 0 || w.materials[w.material[(size_t)i]].block) {
        countweb(MOVESREFUSED);
        return false;
    }
    PLAYERINFO to = {};
    to.x = (int32_t)(x + dx);
    to.y = (int32_t)(y + dy);
    chgplayerinfo(p.num, to);
    return true;
}

bool webfire(WEBPLAYER &p)
{
    if (!taketoken(p.fires, now())) {
        countweb(FIRESDROPPED);
        return false;
    }
    long x, y;
    if (p.num < 0 || !livingat(p.num, &x, &y))
        return false;
    addfire(serverworld, x, y, p.num + 1);
    return true;
}

void webleave(WEBPLAYER &p)
{
    if (p.num < 0)
        return;
    removewebplayer(p.num);
    delplayer(p.num);
    p.num = -1;
}
