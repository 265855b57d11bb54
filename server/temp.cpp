// Heat conduction, plain form. Requests are worked out from the published
// temperatures (totalcal / calperc of oldmap), and every transfer is applied
// to curmap in the order of the sweep.
#include "temp.h"

#include <cstring>

#include "grid.h"
#include "loop.h"
#include "phys.h"

typedef struct vertex {
    int32_t x;
    int32_t y;
} VERTEX;

// Neighbour offsets, anticlockwise from +x.
static const int neighbourdx[8] = {1, 1, 0, -1, -1, -1, 0, 1};
static const int neighbourdy[8] = {0, 1, 1, 1, 0, -1, -1, -1};

// Temperature of the published cell at (x, y), or of the surroundings.
static long double tempat(long x, long y)
{
    long i = cellindex(x, y);
    if (i < 0)
        return outside.totalcal / outside.calperc;
    return oldmap->heat[i] / celltypes[celltype[i]].calperc;
}

static long double coconat(long x, long y)
{
    long i = cellindex(x, y);
    return i < 0 ? outside.cocon : celltypes[celltype[i]].cocon;
}

void distribcal(long x, long y)
{
    long double srctemp = tempat(x, y);
    long double srccocon = coconat(x, y);
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
        long double reccocon = coconat(nx, ny);
        long double cocon = reccocon < srccocon ? reccocon : srccocon;
        long double request = (updateinterval * cocon) * ((srctemp - rectemp) / 2);
        wantedcal += request;
        reqcal[t] = request;
        reqpos[t].x = (int32_t)nx;
        reqpos[t].y = (int32_t)ny;
    }

    long s = cellindex(x, y);
    for (int i = 0; i < 8; i++) {
        if (reqcal[i] == 0)
            continue;
        long double amount = (reqcal[i] / wantedcal) * reqcal[i];
        long r = cellindex(reqpos[i].x, reqpos[i].y);
        if (r >= 0)
            curmap->heat[r] += amount;
        if (s >= 0)
            curmap->heat[s] -= amount;
        // Attribution: a sender without tags moves none.
        if (s < 0) {
            if (r >= 0 && curmap->attrindex[r] >= 0)
                attrmove(&curmap->pool[(size_t)curmap->attrindex[r]], nullptr, amount);
        } else if (curmap->attrindex[s] >= 0) {
            ATTR *rec = r >= 0 ? &attrentry(*curmap, (size_t)r) : nullptr;
            attrmove(rec, &curmap->pool[(size_t)curmap->attrindex[s]], amount);
        }
    }
}

void dotemp()
{
    size_t n = ncells();
    if (n == 0)
        return;
    std::memcpy(curmap->heat, oldmap->heat, n * sizeof(long double));
    for (uint32_t i : curmap->tagged)
        curmap->attrindex[i] = -1;
    curmap->pool = oldmap->pool;
    curmap->tagged = oldmap->tagged;
    for (uint32_t i : curmap->tagged)
        curmap->attrindex[i] = oldmap->attrindex[i];

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
