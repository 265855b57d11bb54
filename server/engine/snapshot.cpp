// Copies of the published state and putting them back.
#include "engine/snapshot.h"

#include "engine/fire.h"

// The packed reals of `from` as long doubles, and back.
static void unpack(const PACKEDARRAY &from, std::vector<long double> &to)
{
    to.resize(from.size());
    for (size_t i = 0; i < from.size(); i++)
        to[i] = load80(from[i]);
}

static void pack(const std::vector<long double> &from, PACKEDARRAY &to)
{
    to.resize(from.size());
    for (size_t i = 0; i < from.size(); i++)
        store80(to[i], from[i]);
}

// The published grid is copied the way the tick reads it: with the
// copying mark raised fires are queued instead of written and nothing else
// writes oldmap, so it is read without oldmap_lock while readers, fires
// and even the next tick's computing go on; only the tick's swap waits
// for the copy. The fires that arrived meanwhile land as they would have
// between ticks, or, when a tick computes by then, at its swap.
void takesnapshot(WORLD &w, WORLDSNAPSHOT &s)
{
    pthread_mutex_lock(&w.oldmap_lock);
    w.copying = 1;
    const size_t queued = w.firequeue.size(); // fires the state waits for: a computing tick's, a restored world's
    s.fires = w.firequeue;
    s.tick = w.ticks;
    pthread_mutex_unlock(&w.oldmap_lock);

    const GRID &o = *w.oldmap;
    s.sizex = w.mapsizex;
    s.sizey = w.mapsizey;
    unpack(o.heat, s.heat);
    unpack(w.fuellevel, s.fuel);
    s.tagged.assign(o.tagged.begin(), o.tagged.end());
    if (s.attr.capacity() < o.tagged.size()) { // grown without copying the old entries
        s.attr.clear();
        s.attr.reserve(o.tagged.size() + o.tagged.size() / 4);
    }
    s.attr.resize(o.tagged.size());
    for (size_t j = 0; j < o.tagged.size(); j++)
        s.attr[j] = o.pool[(size_t)o.attrindex[o.tagged[j]]];
    s.outside = w.outside;

    pthread_mutex_lock(&w.oldmap_lock);
    if (!w.tickcomputing)
        landfires(w, queued);
    w.copying = 0;
    pthread_cond_broadcast(&w.copied);
    pthread_mutex_unlock(&w.oldmap_lock);
}

namespace {

// Both grid locks, taken in their order once no checkpoint copies oldmap,
// for as long as it lives: the world may then be written whole.
struct WHOLEWORLD {
    WORLD &w;
    explicit WHOLEWORLD(WORLD &world) : w(world)
    {
        pthread_mutex_lock(&w.curmap_lock);
        pthread_mutex_lock(&w.oldmap_lock);
        waitforcopy(w);
    }
    ~WHOLEWORLD()
    {
        pthread_mutex_unlock(&w.oldmap_lock);
        pthread_mutex_unlock(&w.curmap_lock);
    }
    WHOLEWORLD(const WHOLEWORLD &) = delete;
    WHOLEWORLD &operator=(const WHOLEWORLD &) = delete;
};

} // namespace

// Both buffers hold s's cells, with or without its attribution and
// queued fires; fuel and outside from s; everything unsettled. Called
// with both grid locks held.
static void putcells(WORLD &w, const WORLDSNAPSHOT &s, bool tags)
{
    const size_t n = ncells(w);
    for (GRID &grid : w.grids) {
        pack(s.heat, grid.heat);
        grid.attrindex.assign(n, -1);
        grid.pool.clear();
        grid.tagged.clear();
        if (!tags)
            continue;
        grid.pool.assign(s.attr.begin(), s.attr.end());
        grid.tagged.assign(s.tagged.begin(), s.tagged.end());
        for (size_t j = 0; j < s.tagged.size(); j++)
            grid.attrindex[s.tagged[j]] = (int32_t)j;
    }
    pack(s.fuel, w.fuellevel);
    w.outside = s.outside;
    if (tags)
        w.firequeue = s.fires;
    else
        w.firequeue.clear();
    w.settle.group.clear();
    w.mapgeneration++;
}

void restoresnapshot(WORLD &w, const WORLDSNAPSHOT &s)
{
    const WHOLEWORLD whole(w);
    putcells(w, s, true);
    w.tickcomputing = 0;
    w.ticks = s.tick;
}

void resetworldto(WORLD &w, const WORLDSNAPSHOT &s)
{
    const WHOLEWORLD whole(w);
    putcells(w, s, false);
}

void copyworld(WORLD &to, const WORLD &from)
{
    const WHOLEWORLD whole(to);
    to.mapsizex = from.mapsizex;
    to.mapsizey = from.mapsizey;
    to.materials = from.materials;
    to.materialnames = from.materialnames;
    to.materialfuel = from.materialfuel;
    to.material = from.material;
    to.fuellevel = from.fuellevel;
    for (int b = 0; b < 2; b++)
        to.grids[b] = from.grids[b];
    to.oldmap = &to.grids[from.oldmap - from.grids];
    to.curmap = &to.grids[from.curmap - from.grids];
    to.outside = from.outside;
    to.settle = from.settle;
    to.mapgeneration++;
}
