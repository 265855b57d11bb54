// Resetting the world and the players for a new round.
#include "game/restart.h"

#include <cstdio>
#include <cstring>

#include "protocol.h"
#include "engine/digest.h"

void keepfirstworld(GAME &g, const char *mapfile)
{
    FIRSTWORLD &f = g.rounds.first;
    f.path = mapfile ? mapfile : "";
    if (f.path.empty() || !sha256file(f.path, f.size, f.sha256))
        f.path.clear();
    WORLD &w = g.world;
    pthread_mutex_lock(&w.oldmap_lock);
    f.heat.assign(w.oldmap->heat.begin(), w.oldmap->heat.end());
    f.fuel.assign(w.fuellevel.begin(), w.fuellevel.end());
    f.outside = w.outside;
    f.kept = true;
    pthread_mutex_unlock(&w.oldmap_lock);
}

void restartworld(GAME &g)
{
    // The same bytes build the same world (makemap is a pure function of
    // the file), so a file that still hashes as at start-up is the copy.
    const FIRSTWORLD &f = g.rounds.first;
    if (!f.path.empty()) {
        uint64_t size = 0;
        unsigned char sha[32];
        if (!sha256file(f.path, size, sha))
            std::printf("Map %s can no longer be read: the round starts on the map as first loaded\n", f.path.c_str());
        else if (size != f.size || std::memcmp(sha, f.sha256, sizeof sha) != 0)
            std::printf("Map %s has changed: the round starts on the map as first loaded\n", f.path.c_str());
    }
    WORLD &w = g.world;
    const size_t n = ncells(w);
    pthread_mutex_lock(&w.curmap_lock);
    pthread_mutex_lock(&w.oldmap_lock);
    waitforcopy(w);
    for (GRID &grid : w.grids) {
        grid.heat.assign(f.heat.begin(), f.heat.end());
        grid.attrindex.assign(n, -1);
        grid.pool.clear();
        grid.tagged.clear();
    }
    w.fuellevel.assign(f.fuel.begin(), f.fuel.end());
    w.outside = f.outside;
    w.firequeue.clear();
    w.settle.group.clear();
    w.mapgeneration++;
    pthread_mutex_unlock(&w.oldmap_lock);
    pthread_mutex_unlock(&w.curmap_lock);
}

void restartplayers(GAME &g)
{
    PLAYERS &p = g.players;
    pthread_mutex_lock(&p.playerlist_lock);
    for (int i = 0; i < p.numplayers; i++) {
        PLAYERINFO &e = p.playerlist[i];
        e.score = 0;
        if (e.num < 0)
            continue;
        if (!p.s_points.empty()) {
            MAP_VERTEX pos;
            getstartpos(p, &pos);
            e.x = pos.x;
            e.y = pos.y;
        }
        e.health = STARTHEALTH;
    }
    pthread_mutex_unlock(&p.playerlist_lock);
}
