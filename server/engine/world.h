// The world: a grid of mapsizex x mapsizey cells and the single outside
// cell that stands for every position off the map. Cell (x, y) is element
// x * mapsizey + y: y varies fastest.
//
// A cell is stored split by how often it changes: its static properties
// once per material (each cell holds a 16-bit index into the materials),
// its heat in one packed 80-bit real per buffer (packed80.h), its fuel in
// one published array of them, and its attribution slots only while it
// holds tags, as an entry of a pool per buffer reached through a per-cell
// index (-1 for none). The heat and attribution exist twice: oldmap, the
// state the last tick published, and curmap, the tick's work area; the
// tick swaps them. While no cell holds tags the world takes 2 x 10 (heat)
// + 10 (fuel) + 2 (material) + 2 x 4 (attribution index) = 40 bytes per
// cell.
//
// A game holds its world (game.h); tests and benchmarks build their own
// with the same functions, each with its own locks. The world is storage
// only: the tick (tick/) computes it and publish.h publishes it.
#pragma once

#include <pthread.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "extended.h"
#include "material.h"
#include "protocol.h"
#include "engine/packed80.h"
#include "engine/settle.h"

enum { NUMSLOTS = 15 }; // attribution slots per cell

// One cell as a whole record: how cells are read and written one at a time
// (the exposure step, tests and tools). The world does not store it.
typedef struct mapunit {
    long double totalcal;             // heat held, calories
    long double cocon;                // conduction coefficient
    long double calperc;              // heat capacity, calories per kelvin
    int ignitionpoint;                // burns at or above this many whole kelvins
    long double fuellevel;            // fuel left
    long double calperf;              // calories per unit of fuel burnt
    long double burnspeed;            // fuel burnt per second while burning
    int heatsource[NUMSLOTS];         // player number + 1, or 0 for an empty slot
    long double sourcequan[NUMSLOTS]; // calories attributed to each tag
    int block;                        // 1 for a blocking unit type
} MAPUNIT;

typedef struct map_vertex {
    int32_t x;
    int32_t y;
} MAP_VERTEX;

// The attribution slots of one cell that holds tags: 224 bytes, whole
// 16-byte blocks (the quantities packed: 304 bytes as long doubles).
struct alignas(16) ATTR {
    int heatsource[NUMSLOTS];
    PACKED80 sourcequan[NUMSLOTS];
};

// An allocator that leaves new elements uninitialised: the tick sizes the
// attribution pool and then writes every entry, so zeroing it first would
// only cost time.
template <class T> struct UNINITIALISED : std::allocator<T> {
    template <class U> struct rebind {
        using other = UNINITIALISED<U>;
    };
    UNINITIALISED() = default;
    template <class U> UNINITIALISED(const UNINITIALISED<U> &) {}
    template <class U, class... A> void construct(U *p, A &&...a)
    {
        if constexpr (sizeof...(A) == 0)
            ::new ((void *)p) U;
        else
            ::new ((void *)p) U(std::forward<A>(a)...);
    }
};
using ATTRPOOL = std::vector<ATTR, UNINITIALISED<ATTR>>;

// One of the two buffers: the heat of every cell and the attribution of the
// cells that hold tags.
struct GRID {
    PACKEDARRAY heat;               // totalcal of every cell
    std::vector<int32_t> attrindex; // entry of pool, or -1 for a cell without tags
    ATTRPOOL pool;                  // entries of tagged cells
    std::vector<uint32_t> tagged;   // cells with an entry, ascending
};

// A fire that arrived while the tick computes, waiting for the swap.
struct QUEUEDFIRE {
    size_t index; // cell
    int tag;      // player number + 1
};

typedef struct world {
    world() = default;
    world(const world &) = delete; // the grid pointers point into it
    world &operator=(const world &) = delete;

    // Fixed once the world is built; read by all without a lock.
    long mapsizex = 0;
    long mapsizey = 0;
    std::string mapname;              // as the map file names it
    std::vector<MATERIAL> materials;  // at most 65,536
    // Per material, for those who draw the world: the name of the unit type
    // it came from ("" for none) and the fuel its cells started with.
    std::vector<std::string> materialnames;
    std::vector<long double> materialfuel;
    std::vector<uint16_t> material;   // per cell: index into materials
    MAPUNIT outside{};                // the surroundings

    pthread_mutex_t curmap_lock = PTHREAD_MUTEX_INITIALIZER; // taken only by the tick, before oldmap_lock
    pthread_mutex_t oldmap_lock = PTHREAD_MUTEX_INITIALIZER; // guards what is marked so below

    GRID grids[2];
    GRID *curmap = &grids[0];           // guarded by curmap_lock: the tick's work area
    GRID *oldmap = &grids[1];           // guarded by oldmap_lock: the published state
    PACKEDARRAY fuellevel;              // guarded by oldmap_lock: published fuel;
                                        // the tick writes it only at its swap
    SETTLE settle;                      // guarded by oldmap_lock; the tick's own while tickcomputing
    // Counts published states: raised by every fire and every swap that
    // publishes another state (not by a tick that moved nothing). Readers
    // that keep an encoding of oldmap compare it.
    uint64_t mapgeneration = 0;         // guarded by oldmap_lock
    uint64_t ticks = 0;                 // guarded by oldmap_lock: states the tick published
    // Set while the tick reads oldmap without the lock, until its swap; a
    // fire that arrives meanwhile is queued for the state the tick
    // publishes (and shown by pubcell at once).
    int tickcomputing = 0;              // guarded by oldmap_lock
    // Set while a checkpoint copies oldmap without the lock: fires are
    // queued as while the tick computes, and nothing writes oldmap (the
    // tick's swap, a round's reset) until it is lowered and `copied` is
    // signalled (waitforcopy).
    int copying = 0;                                      // guarded by oldmap_lock
    pthread_cond_t copied = PTHREAD_COND_INITIALIZER;     // with oldmap_lock: copying was lowered
    std::vector<QUEUEDFIRE> firequeue;  // guarded by oldmap_lock
} WORLD;

// Waits, with oldmap_lock held, until no checkpoint copies oldmap: called
// by whoever writes oldmap other than a fire.
inline void waitforcopy(WORLD &w)
{
    while (w.copying)
        pthread_cond_wait(&w.copied, &w.oldmap_lock);
}

// Number of cells of each grid.
inline size_t ncells(const WORLD &w) { return (size_t)w.mapsizex * (size_t)w.mapsizey; }

// True when (x, y) is a cell of the map; every other position is outside.
inline bool onmap(const WORLD &w, long x, long y)
{
    return x >= 0 && x <= w.mapsizex - 1 && y >= 0 && y <= w.mapsizey - 1;
}

// Index of the cell at (x, y), or -1 for a position off the map (outside).
// The only place where a position becomes a cell.
inline long cellindex(const WORLD &w, long x, long y)
{
    if (!onmap(w, x, y))
        return -1;
    return x * w.mapsizey + y;
}

// True when the cell at (x, y), a position on the map, is of a blocking
// material. Materials are fixed once the world is built: no lock.
inline bool cellblocks(const WORLD &w, long x, long y)
{
    return w.materials[w.material[(size_t)cellindex(w, x, y)]].block != 0;
}

// Sizes the world for sizex x sizey cells: no materials yet, every cell of
// material 0, heat and fuel 0, no tags. Whatever it held is gone. False
// when memory runs out (the world is then empty).
bool allocworld(WORLD &w, long sizex, long sizey);
// Returns the world to the empty state: no cells, no materials, outside
// all zero, no name.
void resetworld(WORLD &w);
// Index of the material with these properties, this name and this starting
// fuel, added when new; -1 when the table is full. Unit types that differ
// in any of them stay apart, so each keeps what pages draw of it. Called
// while building the world, or between ticks with oldmap_lock held (the
// tick reads the materials without a lock).
int addmaterial(WORLD &w, const MATERIAL &m, const std::string &name = "", long double fuel = 0);
// Index of the first material with these properties, whatever its name and
// starting fuel; -1 for none.
int findmaterial(const WORLD &w, const MATERIAL &m);
// The material of a whole record.
MATERIAL materialof(const MAPUNIT &cell);

// Bytes the world holds per cell (both buffers, materials, fuel, indexes,
// the attribution pools' entries), averaged over the cells.
double worldbytespercell(const WORLD &w);

// One published cell as map answers and pictures draw it.
struct PUBCELL {
    size_t index;
    long x, y;
    long double totalcal;      // a fire queued while the tick computes included
    long double fuellevel;
    const MATERIAL *material;
};

// Calls f(const PUBCELL &) for every published cell in index order. Called
// with oldmap_lock held.
template <class F> void eachpubcell(const WORLD &w, F &&f)
{
    // Queued fires (rare, and few) as (cell, heat with its fires), sorted.
    std::vector<std::pair<size_t, long double>> fired;
    for (const QUEUEDFIRE &q : w.firequeue) {
        bool found = false;
        for (auto &p : fired)
            if (p.first == q.index) {
                p.second += FIREHEAT;
                found = true;
            }
        if (!found)
            fired.push_back({q.index, load80(w.oldmap->heat[q.index]) + FIREHEAT});
    }
    std::sort(fired.begin(), fired.end());
    size_t next = 0;
    PUBCELL c;
    c.index = 0;
    const PACKED80 *heat = w.oldmap->heat.data();
    const PACKED80 *fuel = w.fuellevel.data();
    for (long x = 0; x < w.mapsizex; x++) {
        c.x = x;
        for (long y = 0; y < w.mapsizey; y++, c.index++) {
            c.y = y;
            c.totalcal = load80(heat[c.index]);
            if (next < fired.size() && fired[next].first == c.index)
                c.totalcal = fired[next++].second;
            c.fuellevel = load80(fuel[c.index]);
            c.material = &w.materials[w.material[c.index]];
            f(c);
        }
    }
}
