// Heat conduction. Requests are worked out from the published temperatures
// (taken once per cell at the start of the tick), and every transfer is
// applied to curmap in the order of the sweep: map cells with x outer and
// y inner, then the four lines of virtual border cells.
#include "temp.h"

#include "loop.h"
#include "phys.h"
#include "scorefunc.h"

long double *celltemp = nullptr; // guarded by curmap_lock
static long double outsidetemp;  // guarded by curmap_lock

typedef struct vertex {
    int32_t x;
    int32_t y;
} VERTEX;

// Neighbour offsets, anticlockwise from +x.
static const int neighbourdx[8] = {1, 1, 0, -1, -1, -1, 0, 1};
static const int neighbourdy[8] = {0, 1, 1, 1, 0, -1, -1, -1};

// Temperature of the published cell at (x, y), or of the surroundings.
static inline long double tempat(long x, long y)
{
    if (!onmap(x, y))
        return outsidetemp;
    return celltemp[(size_t)x * (size_t)mapsizey + (size_t)y];
}

void distribcal(long x, long y)
{
    // Static properties read the same in curmap as in oldmap.
    const MAPUNIT *source = cellat(curmap, x, y);
    long double srctemp = tempat(x, y);
    VERTEX reqpos[8];
    long double reqcal[8];
    long double wantedcal = 0;

    for (int t = 0; t < 8; t++) {
        reqpos[t].x = 0;
        reqpos[t].y = 0;
        reqcal[t] = 0;
        long nx = x + neighbourdx[t];
        long ny = y + neighbourdy[t];
        long double rectemp = tempat(nx, ny);
        if (!(srctemp > rectemp))
            continue;
        const MAPUNIT *receiver = cellat(curmap, nx, ny);
        long double cocon = receiver->cocon < source->cocon ? receiver->cocon : source->cocon;
        long double request = (updateinterval * cocon) * ((srctemp - rectemp) / 2);
        wantedcal += request;
        reqcal[t] = request;
        reqpos[t].x = (int32_t)nx;
        reqpos[t].y = (int32_t)ny;
    }

    bool fromsurroundings = !onmap(x, y);
    for (int i = 0; i < 8; i++) {
        if (reqcal[i] == 0)
            continue;
        long double amount = (reqcal[i] / wantedcal) * reqcal[i];
        MAPUNIT *rec = nullptr;
        if (onmap(reqpos[i].x, reqpos[i].y)) {
            rec = cellat(curmap, reqpos[i].x, reqpos[i].y);
            rec->totalcal += amount;
        }
        MAPUNIT *src = nullptr;
        if (!fromsurroundings) {
            src = cellat(curmap, x, y);
            src->totalcal -= amount;
        }
        if (rec || src)
            addheat(rec, src, amount);
    }
}

void dotemp()
{
    size_t n = ncells();
    pthread_mutex_lock(&oldmap_lock);
    for (size_t i = 0; i < n; i++) {
        curmap[i] = oldmap[i];
        celltemp[i] = oldmap[i].totalcal / oldmap[i].calperc;
    }
    if (n > 0)
        outsidetemp = outside.totalcal / outside.calperc;
    tickcomputing = 1;
    pthread_mutex_unlock(&oldmap_lock);

    // Without cells nothing can send or receive (and a grid with one side
    // 0 may still be long on the other).
    if (n == 0)
        return;

    for (long x = 0; x < mapsizex; x++)
        for (long y = 0; y < mapsizey; y++)
            distribcal(x, y);
    for (long x = 0; x < mapsizex; x++)
        distribcal(x, -1);
    for (long y = 0; y < mapsizey; y++)
        distribcal(mapsizex, y);
    for (long y = 0; y < mapsizey; y++)
        distribcal(-1, y);
    for (long x = 0; x < mapsizex; x++)
        distribcal(x, mapsizey);
}
