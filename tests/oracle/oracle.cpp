// The plain reference tick. Everything below the bridge functions works on
// the oracle's own records only; the bridge copies to and from the server's
// published grid.
#include "oracle.h"

#include <pthread.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "phys.h"
#include "world.h"

// ---- positions ------------------------------------------------------------

// A position is in the map when each coordinate is within its own size.
static bool inmap(const ORACLEWORLD &w, long x, long y)
{
    return x >= 0 && x < w.sizex && y >= 0 && y < w.sizey;
}

// The cell of `grid` at (x, y); positions off the map are the outside cell.
static ORACELL &cellof(ORACLEWORLD &w, std::vector<ORACELL> &grid, long x, long y)
{
    if (!inmap(w, x, y))
        return w.outside;
    return grid[x * w.sizey + y];
}

ORACELL &oracle_cell(ORACLEWORLD &w, long x, long y) { return cellof(w, w.oldmap, x, y); }

// ---- attribution ------------------------------------------------------------

int oracle_findfreeslot(const ORACELL &unit, int heatsourcenum)
{
    for (int i = 0; i < ORACLESLOTS; i++) {
        if (unit.heatsource[i] == 0)
            return i;
        if (unit.heatsource[i] == heatsourcenum)
            return i;
    }
    long double smallest = LDBL_MAX;
    int slot = 14; // nothing below the largest finite value: the last slot
    bool found = false;
    for (int i = 0; i < ORACLESLOTS; i++) {
        if (unit.sourcequan[i] < smallest) {
            smallest = unit.sourcequan[i];
            slot = i;
            found = true;
        }
    }
    if (!found)
        slot = 14;
    return slot;
}

void oracle_addheat(ORACELL *rec, ORACELL *src, long double heat2add)
{
    ORACELL dummy;
    if (src == nullptr) {
        dummy = *rec;
        src = &dummy;
    }
    if (rec == nullptr) {
        dummy = *src;
        rec = &dummy;
    }

    float prec[ORACLESLOTS];
    int precheatsrcnum[ORACLESLOTS];
    for (int i = 0; i < ORACLESLOTS; i++) {
        prec[i] = 0;
        precheatsrcnum[i] = 0;
    }

    long double totalheat = 0;
    for (int i = 0; i < ORACLESLOTS; i++) {
        if (src->heatsource[i] != 0)
            totalheat = totalheat + src->sourcequan[i];
    }
    if (totalheat > 0) {
        // go on
    } else {
        return;
    }

    for (int i = 0; i < ORACLESLOTS; i++) {
        precheatsrcnum[i] = src->heatsource[i];
        if (src->heatsource[i] != 0 && src->sourcequan[i] > 0) {
            long double share = src->sourcequan[i] / totalheat;
            prec[i] = (float)share;
        }
    }

    for (int i = 0; i < ORACLESLOTS; i++) {
        if (precheatsrcnum[i] == 0)
            continue;
        int slot = oracle_findfreeslot(*rec, precheatsrcnum[i]);
        rec->heatsource[slot] = precheatsrcnum[i];
        long double part = (long double)prec[i] * heat2add;
        rec->sourcequan[slot] = part + rec->sourcequan[slot];
        long double loss = (long double)prec[i] * heat2add;
        src->sourcequan[i] = src->sourcequan[i] - loss;
    }
}

static void addheatfromplayer(ORACELL *rec, long double heat2add, int num)
{
    ORACELL scratch;
    for (int i = 0; i < ORACLESLOTS; i++) {
        scratch.heatsource[i] = 0;
        scratch.sourcequan[i] = 0;
    }
    scratch.heatsource[0] = num;
    scratch.sourcequan[0] = heat2add;
    oracle_addheat(rec, &scratch, heat2add);
}

// ---- conduction ---------------------------------------------------------------

struct ORAVERTEX {
    int x;
    int y;
};

static const int offx[8] = {+1, +1, 0, -1, -1, -1, 0, +1};
static const int offy[8] = {0, +1, +1, +1, 0, -1, -1, -1};

// Conduction out of the position (x, y), which may be a virtual border
// position one step off the map.
static void distribcal(ORACLEWORLD &w, long x, long y)
{
    ORACELL &source = cellof(w, w.oldmap, x, y);
    ORAVERTEX reqpos[8];
    long double reqcal[8];
    long double wantedcal = 0;

    for (int t = 0; t < 8; t++) {
        reqpos[t].x = 0;
        reqpos[t].y = 0;
        reqcal[t] = 0;
        long nx = x + offx[t];
        long ny = y + offy[t];
        ORACELL &receiver = cellof(w, w.oldmap, nx, ny);
        long double srctemp = source.totalcal / source.calperc;
        long double rectemp = receiver.totalcal / receiver.calperc;
        if (!(srctemp > rectemp))
            continue;
        long double cocon;
        if (receiver.cocon < source.cocon)
            cocon = receiver.cocon;
        else
            cocon = source.cocon;
        long double timecocon = (long double)w.interval * cocon;
        long double halfdiff = (srctemp - rectemp) / 2;
        long double request = timecocon * halfdiff;
        wantedcal = wantedcal + request;
        reqcal[t] = request;
        reqpos[t].x = (int)nx;
        reqpos[t].y = (int)ny;
    }

    for (int i = 0; i < 8; i++) {
        if (reqcal[i] == 0)
            continue;
        long double amount = (reqcal[i] / wantedcal) * reqcal[i];
        ORACELL *rec = nullptr;
        if (inmap(w, reqpos[i].x, reqpos[i].y)) {
            rec = &cellof(w, w.curmap, reqpos[i].x, reqpos[i].y);
            rec->totalcal = rec->totalcal + amount;
        }
        ORACELL *snd = nullptr;
        if (inmap(w, x, y)) {
            snd = &cellof(w, w.curmap, x, y);
            snd->totalcal = snd->totalcal - amount;
        }
        // Between two outside positions nothing can flow (same temperature).
        if (rec != nullptr || snd != nullptr)
            oracle_addheat(rec, snd, amount);
    }
}

// ---- combustion ---------------------------------------------------------------

// Temperature truncated toward zero to a 32-bit int; out of range values
// saturate and a NaN reads as the lowest int (it never burns).
static int wholekelvins(long double t)
{
    if (t != t)
        return INT_MIN;
    if (t >= 2147483648.0L)
        return INT_MAX;
    if (t <= -2147483649.0L)
        return INT_MIN;
    return (int)t;
}

static void dofire(ORACLEWORLD &w)
{
    for (long x = 0; x < w.sizex; x++) {
        for (long y = 0; y < w.sizey; y++) {
            ORACELL &cell = cellof(w, w.curmap, x, y);
            int temp = wholekelvins(cell.totalcal / cell.calperc);
            if (cell.ignitionpoint > temp)
                continue;
            if (!(cell.fuellevel > 0))
                continue;
            long double fuel2burn = (long double)w.interval * cell.burnspeed;
            if (cell.fuellevel < fuel2burn)
                fuel2burn = cell.fuellevel;
            cell.fuellevel = cell.fuellevel - fuel2burn;
            long double heat2add = fuel2burn * cell.calperf;
            cell.totalcal = cell.totalcal + heat2add;
            oracle_addheat(&cell, nullptr, heat2add);
        }
    }
}

// ---- the tick -------------------------------------------------------------------

void oracle_tick(ORACLEWORLD &w)
{
    w.curmap.resize(w.oldmap.size());
    for (long x = 0; x < w.sizex; x++)
        for (long y = 0; y < w.sizey; y++)
            w.curmap[x * w.sizey + y] = w.oldmap[x * w.sizey + y];

    for (long x = 0; x < w.sizex; x++)
        for (long y = 0; y < w.sizey; y++)
            distribcal(w, x, y);
    for (long x = 0; x < w.sizex; x++)
        distribcal(w, x, -1);
    for (long y = 0; y < w.sizey; y++)
        distribcal(w, w.sizex, y);
    for (long y = 0; y < w.sizey; y++)
        distribcal(w, -1, y);
    for (long x = 0; x < w.sizex; x++)
        distribcal(w, x, w.sizey);

    dofire(w);

    std::swap(w.oldmap, w.curmap);
}

void oracle_fire(ORACLEWORLD &w, long x, long y, int tag)
{
    if (!inmap(w, x, y))
        return;
    ORACELL &cell = cellof(w, w.oldmap, x, y);
    cell.totalcal = cell.totalcal + 100.0L;
    addheatfromplayer(&cell, 100.0L, tag);
}

// ---- bridge to the server's grid ----------------------------------------------

static void fromserver(ORACELL &o, const MAPUNIT &m)
{
    o.totalcal = m.totalcal;
    o.cocon = m.cocon;
    o.calperc = m.calperc;
    o.ignitionpoint = m.ignitionpoint;
    o.fuellevel = m.fuellevel;
    o.calperf = m.calperf;
    o.burnspeed = m.burnspeed;
    for (int i = 0; i < ORACLESLOTS; i++) {
        o.heatsource[i] = m.heatsource[i];
        o.sourcequan[i] = m.sourcequan[i];
    }
    o.block = m.block;
}

static void toserver(MAPUNIT &m, const ORACELL &o)
{
    m.totalcal = o.totalcal;
    m.cocon = o.cocon;
    m.calperc = o.calperc;
    m.ignitionpoint = o.ignitionpoint;
    m.fuellevel = o.fuellevel;
    m.calperf = o.calperf;
    m.burnspeed = o.burnspeed;
    for (int i = 0; i < ORACLESLOTS; i++) {
        m.heatsource[i] = o.heatsource[i];
        m.sourcequan[i] = o.sourcequan[i];
    }
    m.block = o.block;
}

ORACLEWORLD oracle_snapshot()
{
    ORACLEWORLD w;
    pthread_mutex_lock(&oldmap_lock);
    w.sizex = mapsizex;
    w.sizey = mapsizey;
    w.oldmap.resize((size_t)(mapsizex * mapsizey));
    w.curmap.resize((size_t)(mapsizex * mapsizey));
    for (long x = 0; x < mapsizex; x++)
        for (long y = 0; y < mapsizey; y++)
            fromserver(w.oldmap[x * mapsizey + y], pubcell((size_t)(x * mapsizey + y)));
    fromserver(w.outside, outside);
    pthread_mutex_unlock(&oldmap_lock);
    return w;
}

void oracle_install(const ORACLEWORLD &w)
{
    pthread_mutex_lock(&oldmap_lock);
    if (w.sizex == mapsizex && w.sizey == mapsizey) {
        for (long x = 0; x < mapsizex; x++) {
            for (long y = 0; y < mapsizey; y++) {
                MAPUNIT m = pubcell((size_t)(x * mapsizey + y));
                toserver(m, w.oldmap[x * mapsizey + y]);
                setpubcell((size_t)(x * mapsizey + y), m);
            }
        }
        mapgeneration++;
    }
    pthread_mutex_unlock(&oldmap_lock);
}

// The 10 significant bytes of an 80-bit long double (the rest is padding).
static bool samebits(long double a, long double b)
{
    return std::memcmp(&a, &b, 10) == 0;
}

static std::string describe(long x, long y, const char *field, long double oraclevalue,
                            long double servervalue)
{
    char buf[256];
    std::snprintf(buf, sizeof buf, "cell (%ld, %ld) %s: oracle %La, server %La", x, y, field,
                  oraclevalue, servervalue);
    return buf;
}

bool oracle_same(const ORACLEWORLD &w, std::string *diff)
{
    std::string what;
    bool same = true;
    pthread_mutex_lock(&oldmap_lock);
    if (w.sizex != mapsizex || w.sizey != mapsizey) {
        same = false;
        what = "sizes: oracle " + std::to_string(w.sizex) + " x " + std::to_string(w.sizey) +
               ", server " + std::to_string(mapsizex) + " x " + std::to_string(mapsizey);
    }
    for (long x = 0; same && x < w.sizex; x++) {
        for (long y = 0; same && y < w.sizey; y++) {
            const ORACELL &o = w.oldmap[x * w.sizey + y];
            const MAPUNIT m = pubcell((size_t)(x * mapsizey + y));
            if (!samebits(o.totalcal, m.totalcal)) {
                same = false;
                what = describe(x, y, "totalcal", o.totalcal, m.totalcal);
                break;
            }
            if (!samebits(o.fuellevel, m.fuellevel)) {
                same = false;
                what = describe(x, y, "fuellevel", o.fuellevel, m.fuellevel);
                break;
            }
            for (int i = 0; i < ORACLESLOTS; i++) {
                if (o.heatsource[i] != m.heatsource[i]) {
                    same = false;
                    char buf[128];
                    std::snprintf(buf, sizeof buf, "cell (%ld, %ld) heatsource[%d]: oracle %d, server %d",
                                  x, y, i, o.heatsource[i], m.heatsource[i]);
                    what = buf;
                    break;
                }
                if (!samebits(o.sourcequan[i], m.sourcequan[i])) {
                    same = false;
                    std::string field = "sourcequan[" + std::to_string(i) + "]";
                    what = describe(x, y, field.c_str(), o.sourcequan[i], m.sourcequan[i]);
                    break;
                }
            }
        }
    }
    if (same && !samebits(w.outside.totalcal, outside.totalcal)) {
        same = false;
        what = describe(-1, -1, "outside totalcal", w.outside.totalcal, outside.totalcal);
    }
    pthread_mutex_unlock(&oldmap_lock);
    if (!same && diff != nullptr)
        *diff = what;
    return same;
}
