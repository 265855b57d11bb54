// The world's storage: sizing, emptying, the material table.
#include "engine/world.h"

#include <cstdlib>
#include <cstring>
#include <new>

static void freegrids(WORLD &w)
{
    for (GRID &g : w.grids) {
        PACKEDARRAY().swap(g.heat);
        std::vector<int32_t>().swap(g.attrindex);
        ATTRPOOL().swap(g.pool);
        std::vector<uint32_t>().swap(g.tagged);
    }
    std::vector<uint16_t>().swap(w.material);
    PACKEDARRAY().swap(w.fuellevel);
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
    w.mapgeneration++; // whatever was encoded of the last world is stale
    w.mapsizex = sizex;
    w.mapsizey = sizey;
    size_t n = ncells(w);
    try {
        for (GRID &g : w.grids) {
            g.heat.assign(n, packed80(0));
            g.attrindex.assign(n, -1);
        }
        w.material.assign(n, 0);
        w.fuellevel.assign(n, packed80(0));
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
    w.mapgeneration++;
}

MATERIAL materialof(const MAPUNIT &cell)
{
    return MATERIAL{cell.cocon, cell.calperc, cell.calperf, cell.burnspeed, cell.ignitionpoint, cell.block};
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

double worldbytespercell(const WORLD &w)
{
    size_t n = w.material.size();
    if (n == 0)
        return 0;
    size_t bytes = w.material.capacity() * sizeof(uint16_t) + w.fuellevel.capacity() * sizeof(PACKED80) +
                   w.materials.capacity() * sizeof(MATERIAL);
    for (const GRID &g : w.grids) {
        bytes += g.heat.capacity() * sizeof(PACKED80) + g.attrindex.capacity() * sizeof(int32_t);
        // A large pool's room beyond its entries takes memory only once
        // reached (attribution.cpp): its entries count.
        bytes += g.pool.size() * sizeof(ATTR) + g.tagged.capacity() * sizeof(uint32_t);
    }
    return (double)bytes / (double)n;
}
