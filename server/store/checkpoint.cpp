// A game to a checkpoint and back, and the identity of a map file. The
// game's locks are taken as doc/threads.md orders them, grid locks and
// player locks never together, and only for copying memory.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "game/actions.h"
#include "engine/publish.h"
#include "store/sha256.h"
#include "store/store.h"

bool samemap(const MAPID &a, const MAPID &b)
{
    return a.size == b.size && std::memcmp(a.sha256, b.sha256, sizeof a.sha256) == 0;
}

MAPID mapidentityof(const std::string &name, const void *bytes, size_t size)
{
    MAPID id;
    id.name = name;
    id.size = size;
    SHA256 s;
    sha256init(s);
    sha256add(s, bytes, size);
    sha256end(s, id.sha256);
    return id;
}

bool mapidentity(const char *path, MAPID &id, std::string &error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) {
        error = std::string("cannot read the map ") + path + ": " + std::strerror(errno);
        return false;
    }
    SHA256 s;
    sha256init(s);
    char buffer[65536];
    uint64_t size = 0;
    while (in) {
        in.read(buffer, sizeof buffer);
        sha256add(s, buffer, (size_t)in.gcount());
        size += (uint64_t)in.gcount();
    }
    if (in.bad()) {
        error = std::string("cannot read the map ") + path;
        return false;
    }
    id.name = path;
    id.size = size;
    sha256end(s, id.sha256);
    return true;
}

// The published grid is copied the way the tick reads it: with the
// copying mark raised fires are queued instead of written and nothing else
// writes oldmap, so it is read without oldmap_lock while readers, fires
// and even the next tick's computing go on; only the tick's swap waits
// for the copy, which starts right after a swap. The fires that arrived
// meanwhile land as they would have between ticks, or, when a tick
// computes by then, at its swap.
void takecheckpoint(GAME &g, CHECKPOINT &c)
{
    WORLD &w = g.world;
    pthread_mutex_lock(&w.oldmap_lock);
    w.copying = 1;
    const size_t queued = w.firequeue.size(); // fires the state waits for: a computing tick's, a restored world's
    c.fires = w.firequeue;
    c.tick = w.ticks;
    pthread_mutex_unlock(&w.oldmap_lock);

    const GRID &o = *w.oldmap;
    c.sizex = w.mapsizex;
    c.sizey = w.mapsizey;
    c.heat.assign(o.heat.begin(), o.heat.end());
    c.fuel.assign(w.fuellevel.begin(), w.fuellevel.end());
    c.tagged.assign(o.tagged.begin(), o.tagged.end());
    if (c.attr.capacity() < o.tagged.size()) { // grown without copying the old entries
        c.attr.clear();
        c.attr.reserve(o.tagged.size() + o.tagged.size() / 4);
    }
    c.attr.resize(o.tagged.size());
    for (size_t j = 0; j < o.tagged.size(); j++)
        c.attr[j] = o.pool[(size_t)o.attrindex[o.tagged[j]]];
    c.outside = w.outside;

    pthread_mutex_lock(&w.oldmap_lock);
    if (!w.tickcomputing)
        landfires(w, queued);
    w.copying = 0;
    pthread_cond_broadcast(&w.copied);
    pthread_mutex_unlock(&w.oldmap_lock);

    PLAYERS &p = g.players;
    pthread_mutex_lock(&p.playerlist_lock);
    c.players.resize((size_t)p.numplayers);
    for (int i = 0; i < p.numplayers; i++)
        c.players[(size_t)i] = SAVEDPLAYER{p.playerlist[i], false};
    pthread_mutex_lock(&p.s_pointindex_lock);
    c.startturn = p.s_pointindex;
    pthread_mutex_unlock(&p.s_pointindex_lock);
    pthread_mutex_unlock(&p.playerlist_lock);

    for (int num : webplayernumbers(g))
        if (num >= 0 && (size_t)num < c.players.size())
            c.players[(size_t)num].web = true;
    saveroundstate(g.rounds, c.round.number, c.round.started, c.round.state);
    c.tokens = issuedtokens(g);
}

// The refusal of a checkpoint that does not fit g: another size, a start
// turn past the map's start positions; "" when it fits.
static std::string misfit(const CHECKPOINT &c, GAME &g)
{
    char line[200];
    if (c.sizex != g.world.mapsizex || c.sizey != g.world.mapsizey) {
        std::snprintf(line, sizeof line, "the stored world is %ld x %ld cells, the map's %ld x %ld", c.sizex, c.sizey,
                      g.world.mapsizex, g.world.mapsizey);
        return line;
    }
    if (c.startturn < 0 || (c.startturn > 0 && (size_t)c.startturn >= g.players.s_points.size()))
        return "the stored start turn does not fit the map's start positions";
    return "";
}

// Both buffers become c's published state; everything unsettled, so the
// next tick computes every cell.
static void restoregrids(const CHECKPOINT &c, WORLD &w)
{
    const size_t n = ncells(w);
    for (GRID &grid : w.grids) {
        grid.heat.assign(c.heat.begin(), c.heat.end());
        grid.attrindex.assign(n, -1);
        grid.pool.assign(c.attr.begin(), c.attr.end());
        grid.tagged.assign(c.tagged.begin(), c.tagged.end());
        for (size_t j = 0; j < c.tagged.size(); j++)
            grid.attrindex[c.tagged[j]] = (int32_t)j;
    }
    w.fuellevel.assign(c.fuel.begin(), c.fuel.end());
    w.outside = c.outside;
    w.firequeue = c.fires;
    w.settle.group.clear();
    w.tickcomputing = 0;
    w.ticks = c.tick;
    w.mapgeneration++;
}

int restorecheckpoint(STORE &s, GAME &g, std::string &error)
{
    CHECKPOINT c;
    int found = s.load(c, error);
    if (found <= 0)
        return found;
    error = misfit(c, g);
    if (!error.empty())
        return -1;

    // The new list is made first: once the world is restored nothing fails.
    PLAYERINFO *list = (PLAYERINFO *)std::malloc((c.players.size() + 1) * sizeof(PLAYERINFO));
    if (!list) {
        error = "no memory for the stored players";
        return -1;
    }
    std::vector<int> web;
    for (size_t i = 0; i < c.players.size(); i++) {
        list[i] = c.players[i].info;
        if (c.players[i].web)
            web.push_back((int)i);
    }
    if (!loadroundstate(g.rounds, c.round.number, c.round.started, c.round.state)) {
        std::free(list);
        error = "undecodable round state";
        return -1;
    }

    WORLD &w = g.world;
    pthread_mutex_lock(&w.curmap_lock);
    pthread_mutex_lock(&w.oldmap_lock);
    restoregrids(c, w);
    pthread_mutex_unlock(&w.oldmap_lock);
    pthread_mutex_unlock(&w.curmap_lock);

    PLAYERS &p = g.players;
    pthread_mutex_lock(&p.playerlist_lock);
    PLAYERINFO *old = p.playerlist;
    p.playerlist = list;
    p.numplayers = (int)c.players.size();
    recountpresent(p);
    pthread_mutex_lock(&p.s_pointindex_lock);
    p.s_pointindex = c.startturn;
    pthread_mutex_unlock(&p.s_pointindex_lock);
    pthread_mutex_unlock(&p.playerlist_lock);
    std::free(old);
    keeprestored(g, web, c.tokens, RESUMECLOCK::now());
    return 1;
}

bool savecheckpoint(STORE &s, const CHECKPOINT &c, SAVEREPORT &report, std::string &error)
{
    return s.save(c, report, error);
}

int loadcheckpoint(STORE &s, CHECKPOINT &c, std::string &error) { return s.load(c, error); }

void closestore(std::unique_ptr<STORE> &s) { s.reset(); }
