// The tick and its grid swap.
//
// Every 0.1 s the main thread:
//   1. takes curmap_lock; under oldmap_lock marks the tick as computing
//      (from then on a fire is queued instead of written into oldmap, which
//      the tick reads without the lock);
//   2. runs the fast tick (grid.h) from oldmap into curmap: conduction from
//      every cell and the virtual border, combustion, attribution; the fuel
//      burnt comes back as a list;
//   3. takes oldmap_lock, writes the burnt fuel, adds the fires that arrived
//      while it computed, swaps oldmap and curmap, releases both locks.
// A fire that arrives between ticks lands in oldmap and is read by the next
// tick; one that arrives while the tick computes is queued: readers of the
// published grid see it at once (pubcell adds it), and it lands in the
// state the tick publishes.
#include "phys.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "fire.h"
#include "grid.h"
#include "loop.h"
#include "scorefunc.h"
#include "temp.h"

long mapsizex = 0;
long mapsizey = 0;

pthread_mutex_t curmap_lock = PTHREAD_MUTEX_INITIALIZER;
pthread_mutex_t oldmap_lock = PTHREAD_MUTEX_INITIALIZER;

static GRID grids[2];
GRID *curmap = nullptr; // guarded by curmap_lock
GRID *oldmap = nullptr; // guarded by oldmap_lock
MAPUNIT outside;        // fixed once loading ends

std::vector<CELLTYPE> celltypes;  // fixed while a tick runs
uint16_t *celltype = nullptr;     // fixed once loading ends
long double *fuellevel = nullptr; // guarded by oldmap_lock
SETTLE settle;                    // guarded by oldmap_lock; the tick's own while tickcomputing

const long double FIREHEAT = 100.0L;

uint64_t mapgeneration = 0; // guarded by oldmap_lock

int tickcomputing = 0;                    // guarded by oldmap_lock
static std::vector<QUEUEDFIRE> firequeue; // guarded by oldmap_lock
static std::vector<BURN> tickburns;       // guarded by curmap_lock

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

bool allocworld(size_t n)
{
    freeworld();
    size_t m = n ? n : 1;
    for (GRID &g : grids) {
        g.heat = new (std::nothrow) long double[m]();
        g.attrindex = new (std::nothrow) int32_t[m];
        if (!g.heat || !g.attrindex)
            return false;
        for (size_t i = 0; i < m; i++)
            g.attrindex[i] = -1;
    }
    celltype = new (std::nothrow) uint16_t[m]();
    fuellevel = new (std::nothrow) long double[m]();
    if (!celltype || !fuellevel)
        return false;
    curmap = &grids[0];
    oldmap = &grids[1];
    settle.clear();
    return true;
}

void freeworld()
{
    for (GRID &g : grids) {
        delete[] g.heat;
        delete[] g.attrindex;
        g.heat = nullptr;
        g.attrindex = nullptr;
        ATTRPOOL().swap(g.pool);
        std::vector<uint32_t>().swap(g.tagged);
    }
    delete[] celltype;
    delete[] fuellevel;
    celltype = nullptr;
    fuellevel = nullptr;
    celltypes.clear();
    settle.clear();
    curmap = oldmap = nullptr;
}

void resetworld()
{
    freeworld();
    mapsizex = mapsizey = 0;
    std::memset(&outside, 0, sizeof outside);
    tickcomputing = 0;
    firequeue.clear();
    mapgeneration++;
}

MAPUNIT pubcell(size_t i)
{
    MAPUNIT m = cellrecord(celltypes[celltype[i]], *oldmap, i, fuellevel[i]);
    for (const QUEUEDFIRE &f : firequeue) {
        if (f.index == i) {
            m.totalcal += FIREHEAT;
            addheatfromplayer(&m, FIREHEAT, f.tag);
        }
    }
    return m;
}

const std::vector<QUEUEDFIRE> &queuedfires() { return firequeue; }

void setpubcell(size_t i, const MAPUNIT &cell)
{
    int t = interntype(celltypes, cell);
    if (t < 0)
        std::abort(); // more than 65,536 materials: tests only
    celltype[i] = (uint16_t)t;
    fuellevel[i] = cell.fuellevel;
    settle.unsettle(i, mapsizey);
    putheatrecord(*oldmap, i, cell);
}

MAPUNIT getcell(long x, long y)
{
    pthread_mutex_lock(&oldmap_lock);
    long i = cellindex(x, y);
    MAPUNIT m = i < 0 ? outside : pubcell((size_t)i);
    pthread_mutex_unlock(&oldmap_lock);
    return m;
}

void putcell(long x, long y, const MAPUNIT &cell)
{
    pthread_mutex_lock(&oldmap_lock);
    long i = cellindex(x, y);
    if (i >= 0) {
        setpubcell((size_t)i, cell);
        mapgeneration++;
    }
    pthread_mutex_unlock(&oldmap_lock);
}

void addfire(long x, long y, int tag)
{
    long i = cellindex(x, y);
    if (i < 0)
        return;
    pthread_mutex_lock(&oldmap_lock);
    if (tickcomputing)
        firequeue.push_back({(size_t)i, tag});
    else {
        gridfire(*oldmap, (size_t)i, FIREHEAT, tag);
        settle.unsettle((size_t)i, mapsizey);
    }
    mapgeneration++;
    pthread_mutex_unlock(&oldmap_lock);
}

// Publishes curmap: burnt fuel, queued fires, the swap. Called with
// curmap_lock held.
void swapgrids(const std::vector<BURN> &burns)
{
    pthread_mutex_lock(&oldmap_lock);
    // A tick that moved no heat, burnt nothing and met no fire publishes
    // what was published: the encoded map answers stay good.
    const bool same = burns.empty() && firequeue.empty() && settle.allsettled();
    for (const BURN &b : burns)
        fuellevel[b.index] = b.fuel;
    for (const QUEUEDFIRE &f : firequeue) {
        gridfire(*curmap, f.index, FIREHEAT, f.tag);
        settle.unsettle(f.index, mapsizey);
    }
    firequeue.clear();
    tickcomputing = 0;
    GRID *tmp = oldmap;
    oldmap = curmap;
    curmap = tmp;
    if (!same)
        mapgeneration++;
    pthread_mutex_unlock(&oldmap_lock);
}

void dophys()
{
    pthread_mutex_lock(&curmap_lock);
    pthread_mutex_lock(&oldmap_lock);
    tickcomputing = 1;
    pthread_mutex_unlock(&oldmap_lock);
    tickburns.clear();
    if (ncells() > 0) {
        TICKWORLD w;
        w.sizex = mapsizex;
        w.sizey = mapsizey;
        w.types = celltypes.data();
        w.ntypes = celltypes.size();
        w.type = celltype;
        w.fuel = fuellevel;
        w.in = oldmap;
        w.out = curmap;
        w.outside = &outside;
        w.interval = updateinterval;
        w.settle = &settle;
        fasttick(w, tickburns);
    }
    swapgrids(tickburns);
    pthread_mutex_unlock(&curmap_lock);
}

void dophysplain()
{
    pthread_mutex_lock(&curmap_lock);
    pthread_mutex_lock(&oldmap_lock);
    tickcomputing = 1;
    pthread_mutex_unlock(&oldmap_lock);
    settle.clear(); // the plain tick keeps no record of what settled
    dotemp();
    dofire();
    swapgrids(fireburns);
    pthread_mutex_unlock(&curmap_lock);
}
