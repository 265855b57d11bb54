// The world's storage and the access to one cell at a time.
#include "world.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "tick/attribution.h"
#include "tick/tick.h"
#include "tick/scratch.h"

WORLD serverworld;

world::world() = default;
world::~world() = default;

static void freegrids(WORLD &w)
{
    for (GRID &g : w.grids) {
        std::vector<long double>().swap(g.heat);
        std::vector<int32_t>().swap(g.attrindex);
        ATTRPOOL().swap(g.pool);
        std::vector<uint32_t>().swap(g.tagged);
    }
    std::vector<uint16_t>().swap(w.material);
    std::vector<long double>().swap(w.fuellevel);
    w.materials.clear();
    w.materialnames.clear();
    w.materialfuel.clear();
    w.settle.group.clear();
    w.curmap = &w.grids[0];
    w.oldmap = &w.grids[1];
}

bool allocworld(WORLD &w, long sizex, long sizey)
{
    freegrids(w);
    w.mapsizex = sizex;
    w.mapsizey = sizey;
    size_t n = ncells(w);
    try {
        for (GRID &g : w.grids) {
            g.heat.assign(n, 0);
            g.attrindex.assign(n, -1);
        }
        w.material.assign(n, 0);
        w.fuellevel.assign(n, 0);
    } catch (const std::bad_alloc &) {
        freegrids(w);
        w.mapsizex = w.mapsizey = 0;
        return false;
    }
    return true;
}

void resetworld(WORLD &w)
{
    freegrids(w);
    w.mapsizex = w.mapsizey = 0;
    w.mapname.clear();
    std::memset(&w.outside, 0, sizeof w.outside);
    w.tickcomputing = 0;
    w.firequeue.clear();
    w.burns.clear();
    w.mapgeneration++;
}

MATERIAL materialof(const MAPUNIT &cell)
{
    MATERIAL m;
    std::memset(&m, 0, sizeof m);
    m.cocon = cell.cocon;
    m.calperc = cell.calperc;
    m.calperf = cell.calperf;
    m.burnspeed = cell.burnspeed;
    m.ignitionpoint = cell.ignitionpoint;
    m.block = cell.block;
    return m;
}

// True when two materials behave alike in the tick.
static bool samephysics(const MATERIAL &t, const MATERIAL &m)
{
    return samebits(t.cocon, m.cocon) && samebits(t.calperc, m.calperc) && samebits(t.calperf, m.calperf) &&
           samebits(t.burnspeed, m.burnspeed) && t.ignitionpoint == m.ignitionpoint && t.block == m.block;
}

int findmaterial(const WORLD &w, const MATERIAL &m)
{
    for (size_t i = 0; i < w.materials.size(); i++)
        if (samephysics(w.materials[i], m))
            return (int)i;
    return -1;
}

int addmaterial(WORLD &w, const MATERIAL &m, const std::string &name, long double fuel)
{
    for (size_t i = 0; i < w.materials.size(); i++)
        if (samephysics(w.materials[i], m) && samebits(w.materialfuel[i], fuel) && w.materialnames[i] == name)
            return (int)i;
    if (w.materials.size() >= 65536)
        return -1;
    w.materials.push_back(m);
    w.materialnames.push_back(name);
    w.materialfuel.push_back(fuel);
    return (int)w.materials.size() - 1;
}

// Cell i of buffer g as a whole record, with its material and fuel.
static MAPUNIT cellrecord(const WORLD &w, const GRID &g, size_t i)
{
    const MATERIAL &t = w.materials[w.material[i]];
    MAPUNIT m;
    std::memset(&m, 0, sizeof m);
    m.totalcal = g.heat[i];
    m.cocon = t.cocon;
    m.calperc = t.calperc;
    m.ignitionpoint = t.ignitionpoint;
    m.fuellevel = w.fuellevel[i];
    m.calperf = t.calperf;
    m.burnspeed = t.burnspeed;
    m.block = t.block;
    if (g.attrindex[i] >= 0) {
        const ATTR &a = g.pool[(size_t)g.attrindex[i]];
        std::memcpy(m.heatsource, a.heatsource, sizeof m.heatsource);
        std::memcpy(m.sourcequan, a.sourcequan, sizeof m.sourcequan);
    }
    return m;
}

MAPUNIT pubcell(const WORLD &w, size_t i)
{
    MAPUNIT m = cellrecord(w, *w.oldmap, i);
    for (const QUEUEDFIRE &f : w.firequeue) {
        if (f.index != i)
            continue;
        m.totalcal += FIREHEAT;
        ATTR a;
        std::memcpy(a.heatsource, m.heatsource, sizeof a.heatsource);
        std::memcpy(a.sourcequan, m.sourcequan, sizeof a.sourcequan);
        addheatfromplayer(&a, FIREHEAT, f.tag);
        std::memcpy(m.heatsource, a.heatsource, sizeof m.heatsource);
        std::memcpy(m.sourcequan, a.sourcequan, sizeof m.sourcequan);
    }
    return m;
}

void setpubcell(WORLD &w, size_t i, const MAPUNIT &cell)
{
    const MATERIAL m = materialof(cell);
    int t = findmaterial(w, m);
    if (t < 0)
        t = addmaterial(w, m, "", cell.fuellevel);
    if (t < 0)
        std::abort(); // more than 65,536 materials: only a test builds such a world
    w.material[i] = (uint16_t)t;
    w.fuellevel[i] = cell.fuellevel;
    unsettle(w.settle, i, w.mapsizey);
    GRID &g = *w.oldmap;
    g.heat[i] = cell.totalcal;
    if (attrblank(cell.heatsource, cell.sourcequan) && g.attrindex[i] < 0)
        return; // a cell without tags needs no entry
    ATTR &a = attrentry(g, i);
    std::memcpy(a.heatsource, cell.heatsource, sizeof a.heatsource);
    std::memcpy(a.sourcequan, cell.sourcequan, sizeof a.sourcequan);
}

MAPUNIT getcell(WORLD &w, long x, long y)
{
    pthread_mutex_lock(&w.oldmap_lock);
    long i = cellindex(w, x, y);
    MAPUNIT m = i < 0 ? w.outside : pubcell(w, (size_t)i);
    pthread_mutex_unlock(&w.oldmap_lock);
    return m;
}

void putcell(WORLD &w, long x, long y, const MAPUNIT &cell)
{
    pthread_mutex_lock(&w.oldmap_lock);
    long i = cellindex(w, x, y);
    if (i >= 0) {
        setpubcell(w, (size_t)i, cell);
        w.mapgeneration++;
    }
    pthread_mutex_unlock(&w.oldmap_lock);
}

double worldbytespercell(const WORLD &w)
{
    size_t n = w.material.size();
    if (n == 0)
        return 0;
    size_t bytes = w.material.capacity() * sizeof(uint16_t) + w.fuellevel.capacity() * sizeof(long double) +
                   w.materials.capacity() * sizeof(MATERIAL);
    for (const GRID &g : w.grids) {
        bytes += g.heat.capacity() * sizeof(long double) + g.attrindex.capacity() * sizeof(int32_t);
        bytes += g.pool.capacity() * sizeof(ATTR) + g.tagged.capacity() * sizeof(uint32_t);
    }
    return (double)bytes / (double)n;
}
