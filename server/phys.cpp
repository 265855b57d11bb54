// The tick and its grid swap.
//
// Every 0.1 s the main thread:
//   1. takes curmap_lock, then oldmap_lock; copies oldmap into curmap and
//      takes each cell's temperature; marks the tick as computing; releases
//      oldmap_lock (dotemp);
//   2. conducts heat from every cell and the virtual border (dotemp),
//      reading only the copied temperatures and writing only curmap;
//   3. burns fuel in cells at or past their ignition point (dofire);
//   4. takes oldmap_lock, adds the fires that arrived while it computed,
//      swaps oldmap and curmap, releases both locks.
// A fire that arrives between ticks lands in oldmap and is copied by the
// next tick; one that arrives while the tick computes lands in oldmap too
// (readers see it at once) and is queued for the state the tick publishes.
#include "phys.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fire.h"
#include "scorefunc.h"
#include "temp.h"

long mapsizex = 0;
long mapsizey = 0;

pthread_mutex_t curmap_lock = PTHREAD_MUTEX_INITIALIZER;
pthread_mutex_t oldmap_lock = PTHREAD_MUTEX_INITIALIZER;

MAPUNIT *curmap = nullptr; // guarded by curmap_lock
MAPUNIT *oldmap = nullptr; // guarded by oldmap_lock
MAPUNIT outside;           // fixed once loading ends

const long double FIREHEAT = 100.0L;

uint64_t mapgeneration = 0; // guarded by oldmap_lock

// Set while the tick computes between its copy and its swap; fires that
// arrive then are also queued here for the state the tick publishes.
struct QUEUEDFIRE {
    size_t index;
    int tag;
};
int tickcomputing = 0;                // guarded by oldmap_lock
static std::vector<QUEUEDFIRE> firequeue; // guarded by oldmap_lock

int truncatetemp(long double kelvins)
{
    if (std::isnan(kelvins))
        return INT32_MIN;
    if (kelvins >= 2147483648.0L)
        return INT32_MAX;
    if (kelvins <= -2147483649.0L)
        return INT32_MIN;
    return (int)kelvins;
}

void resetworld()
{
    delete[] curmap;
    delete[] oldmap;
    delete[] celltemp;
    curmap = oldmap = nullptr;
    celltemp = nullptr;
    mapsizex = mapsizey = 0;
    std::memset(&outside, 0, sizeof outside);
    tickcomputing = 0;
    firequeue.clear();
    mapgeneration++;
}

static void putfire(MAPUNIT *cell, int tag)
{
    cell->totalcal += FIREHEAT;
    addheatfromplayer(cell, FIREHEAT, tag);
}

void addfire(long x, long y, int tag)
{
    if (!onmap(x, y))
        return;
    pthread_mutex_lock(&oldmap_lock);
    putfire(cellat(oldmap, x, y), tag);
    if (tickcomputing)
        firequeue.push_back({(size_t)x * (size_t)mapsizey + (size_t)y, tag});
    mapgeneration++;
    pthread_mutex_unlock(&oldmap_lock);
}

void dophys()
{
    pthread_mutex_lock(&curmap_lock);
    dotemp();
    dofire();
    pthread_mutex_lock(&oldmap_lock);
    for (const QUEUEDFIRE &f : firequeue)
        putfire(&curmap[f.index], f.tag);
    firequeue.clear();
    tickcomputing = 0;
    MAPUNIT *tmp = oldmap;
    oldmap = curmap;
    curmap = tmp;
    mapgeneration++;
    pthread_mutex_unlock(&oldmap_lock);
    pthread_mutex_unlock(&curmap_lock);
}
