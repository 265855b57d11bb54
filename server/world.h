// The world: a grid of mapsizex x mapsizey cells held twice (oldmap, the
// published state of the last tick, and curmap, the tick's work area), plus
// the single outside cell that stands for every position off the map.
// Cell (x, y) is element x * mapsizey + y: y varies fastest.
#pragma once

#include <pthread.h>

#include <cfloat>
#include <cstddef>
#include <cstdint>
#include <limits>

static_assert(std::numeric_limits<long double>::digits == 64 && LDBL_MAX_EXP == 16384,
              "heat arithmetic needs the 80-bit x87 extended long double");

enum { NUMSLOTS = 15 }; // attribution slots per cell

typedef struct mapunit {
    long double totalcal;            // heat held, calories
    long double cocon;               // conduction coefficient
    long double calperc;             // heat capacity, calories per kelvin
    int ignitionpoint;               // burns at or above this many whole kelvins
    long double fuellevel;           // fuel left
    long double calperf;             // calories per unit of fuel burnt
    long double burnspeed;           // fuel burnt per second while burning
    int heatsource[NUMSLOTS];        // player number + 1, or 0 for an empty slot
    long double sourcequan[NUMSLOTS]; // calories attributed to each tag
    int block;                       // 1 for a blocking unit type
} MAPUNIT;

typedef struct map_vertex {
    int32_t x;
    int32_t y;
} MAP_VERTEX;

// Grid size; fixed once loading ends, read by all without a lock.
extern long mapsizex;
extern long mapsizey;

extern pthread_mutex_t curmap_lock; // taken only by the tick, before oldmap_lock
extern pthread_mutex_t oldmap_lock; // guards the oldmap pointer, its cells and fuellevel

// The two buffers of the compact world (grid.h): heat and attribution.
struct GRID;
extern GRID *curmap;    // guarded by curmap_lock: the tick's work area
extern GRID *oldmap;    // guarded by oldmap_lock: the published grid
extern MAPUNIT outside; // fixed once loading ends: the surroundings

// Number of cells of each grid.
inline size_t ncells() { return (size_t)mapsizex * (size_t)mapsizey; }

// True when (x, y) is a cell of the map; every other position is outside.
inline bool onmap(long x, long y)
{
    return x >= 0 && x <= mapsizex - 1 && y >= 0 && y <= mapsizey - 1;
}

// Index of the cell at (x, y), or -1 for a position off the map (outside).
// The only place where a position becomes a cell.
inline long cellindex(long x, long y)
{
    if (!onmap(x, y))
        return -1;
    return x * mapsizey + y;
}

// The published cell i as a whole record (a fire queued while the tick
// computes included). Called with oldmap_lock held.
MAPUNIT pubcell(size_t i);
// Overwrites the published cell i with a whole record (static properties,
// heat, fuel, attribution). For tests and tools, between ticks; called with
// oldmap_lock held.
void setpubcell(size_t i, const MAPUNIT &cell);
// The same by position, taking oldmap_lock: getcell gives outside for a
// position off the map; putcell ignores one.
MAPUNIT getcell(long x, long y);
void putcell(long x, long y, const MAPUNIT &cell);

// Whole kelvins of a heat over a capacity, truncated toward zero; values
// beyond the int range saturate, and a temperature that is not a number
// reads as the lowest int, so it neither burns nor hurts.
int truncatetemp(long double kelvins);
