// The plain reference tick. It works on the oracle's own records only; the
// bridge (bridge.cpp) copies between a world of the server and them.
//
// Each step is written as the rules of the tick state it, under the same
// names: dotemp with distribcal for conduction, dofire for combustion,
// addheat, findfreeslot and addheatfromplayer for the attribution of heat to
// players. All heat arithmetic is done in 80-bit long double, the tick length
// is a double widened where it is used, and every expression keeps the order
// of operations of the rules, so that a tick that follows them agrees with
// this one to the last bit. Nothing is precomputed and nothing is skipped.

#include "oracle.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>

namespace plain {

// A cell position as distribcal keeps it: two 32-bit signed integers.
struct VERTEX {
    int32_t x;
    int32_t y;
};

// Offsets of the neighbours 0 to 7 from a position, in the order in which
// they are visited: anticlockwise, starting from +x.
const int32_t neighbourdx[8] = {+1, +1, 0, -1, -1, -1, 0, +1};
const int32_t neighbourdy[8] = {0, +1, +1, +1, 0, -1, -1, -1};

// A position is on the map when each coordinate lies within its own size;
// every other position stands for the single outside cell.
bool inmap(const ORACLEWORLD &w, long x, long y)
{
    return 0 <= x && x < w.sizex && 0 <= y && y < w.sizey;
}

// The published cell at (x, y), or outside for a position off the map.
ORACELL &published(ORACLEWORLD &w, long x, long y)
{
    if (inmap(w, x, y))
        return w.oldmap[(size_t)(x * w.sizey + y)];
    return w.outside;
}

// The work-area cell at (x, y); only for positions on the map.
ORACELL &working(ORACLEWORLD &w, long x, long y)
{
    return w.curmap[(size_t)(x * w.sizey + y)];
}

// ---- attribution ---------------------------------------------------------------

// The slot of `unit` that tag `heatsourcenum` is to use: the slot that already
// holds the tag or the first empty one; when all 15 hold other tags, the slot
// with the smallest quantity (the lowest on a tie), which the new tag takes
// over. When no quantity is below the largest finite long double (only
// non-finite quantities), the last slot.
int findfreeslot(const ORACELL &unit, int heatsourcenum)
{
    for (int i = 0; i < ORACLESLOTS; i++) {
        if (unit.heatsource[i] == 0 || unit.heatsource[i] == heatsourcenum)
            return i;
    }
    long double smallest = LDBL_MAX;
    int found = -1;
    for (int i = 0; i < ORACLESLOTS; i++) {
        if (unit.sourcequan[i] < smallest) {
            smallest = unit.sourcequan[i];
            found = i;
        }
    }
    if (found < 0)
        return ORACLESLOTS - 1;
    return found;
}

// Moves the attribution of heat2add calories from src to rec. Either side may
// be missing (nullptr): the missing side is then a whole-record copy of the
// other, and whatever is written into that copy is lost. Never touches
// totalcal: the caller moves the heat itself.
void addheat(ORACELL *rec, ORACELL *src, long double heat2add)
{
    if (rec == nullptr && src == nullptr)
        return;

    ORACELL dummy;
    if (src == nullptr) {
        dummy = *rec;
        src = &dummy;
    }
    if (rec == nullptr) {
        dummy = *src;
        rec = &dummy;
    }

    int precheatsrcnum[ORACLESLOTS];
    float prec[ORACLESLOTS];
    for (int i = 0; i < ORACLESLOTS; i++) {
        prec[i] = 0;
        precheatsrcnum[i] = 0;
    }

    // The sender's attributed heat, negative quantities included.
    long double totalheat = 0;
    for (int i = 0; i < ORACLESLOTS; i++) {
        if (src->heatsource[i] != 0)
            totalheat = totalheat + src->sourcequan[i];
    }
    if (!(totalheat > 0))
        return;

    // Each sender slot's share, rounded to single precision.
    for (int i = 0; i < ORACLESLOTS; i++) {
        precheatsrcnum[i] = src->heatsource[i];
        if (precheatsrcnum[i] != 0 && src->sourcequan[i] > 0)
            prec[i] = (float)(src->sourcequan[i] / totalheat);
    }

    // Every sender tag is registered in the receiver, a share of 0 included;
    // each pass sees the receiver as the passes before it left it.
    for (int i = 0; i < ORACLESLOTS; i++) {
        if (precheatsrcnum[i] == 0)
            continue;
        const int slot = findfreeslot(*rec, precheatsrcnum[i]);
        rec->heatsource[slot] = precheatsrcnum[i];
        rec->sourcequan[slot] = (long double)prec[i] * heat2add + rec->sourcequan[slot];
        src->sourcequan[i] = src->sourcequan[i] - (long double)prec[i] * heat2add;
    }
}

// Attributes heat2add calories put into rec by the player with tag num: the
// sender is a scratch record that holds only that tag, with the whole amount.
void addheatfromplayer(ORACELL *rec, long double heat2add, int num)
{
    ORACELL scratch;
    for (int i = 0; i < ORACLESLOTS; i++) {
        scratch.heatsource[i] = 0;
        scratch.sourcequan[i] = 0;
    }
    scratch.heatsource[0] = num;
    scratch.sourcequan[0] = heat2add;
    addheat(rec, &scratch, heat2add);
}

// ---- conduction ----------------------------------------------------------------

// Conduction out of the position (x, y), which may be a virtual border cell
// one step off the map, into its eight neighbours. Every request is worked
// out from the published grid and outside; every change goes into the work
// area, on the map only.
void distribcal(ORACLEWORLD &w, int32_t x, int32_t y)
{
    VERTEX reqpos[8];
    long double reqcal[8];
    long double wantedcal;

    const ORACELL &source = published(w, x, y);
    wantedcal = 0;

    for (int t = 0; t < 8; t++) {
        reqpos[t].x = 0;
        reqpos[t].y = 0;
        reqcal[t] = 0;

        const int32_t nx = x + neighbourdx[t];
        const int32_t ny = y + neighbourdy[t];
        const ORACELL &receiver = published(w, nx, ny);

        const long double srctemp = source.totalcal / source.calperc;
        const long double rectemp = receiver.totalcal / receiver.calperc;
        if (!(srctemp > rectemp))
            continue; // heat flows downhill only

        long double cocon;
        if (receiver.cocon < source.cocon)
            cocon = receiver.cocon;
        else
            cocon = source.cocon;

        const long double request = ((long double)w.interval * cocon) * ((srctemp - rectemp) / 2);
        wantedcal = wantedcal + request;
        reqcal[t] = request;
        reqpos[t].x = nx;
        reqpos[t].y = ny;
    }

    for (int i = 0; i < 8; i++) {
        if (reqcal[i] == 0)
            continue;

        // Each request weighted by its own share of all requests.
        const long double amount = (reqcal[i] / wantedcal) * reqcal[i];

        ORACELL *receiver = nullptr;
        if (inmap(w, reqpos[i].x, reqpos[i].y)) {
            receiver = &working(w, reqpos[i].x, reqpos[i].y);
            receiver->totalcal = receiver->totalcal + amount;
        }
        ORACELL *sender = nullptr;
        if (inmap(w, x, y)) {
            sender = &working(w, x, y);
            sender->totalcal = sender->totalcal - amount;
        }
        addheat(receiver, sender, amount);
    }
}

// The conduction phase: the published grid copied whole into the work area,
// then every map cell (x outer, y inner), then the four lines of virtual
// border cells. The corners off the map are never run.
void dotemp(ORACLEWORLD &w)
{
    if (w.curmap.size() != w.oldmap.size())
        w.curmap.resize(w.oldmap.size());

    for (long x = 0; x < w.sizex; x++)
        for (long y = 0; y < w.sizey; y++)
            working(w, x, y) = w.oldmap[(size_t)(x * w.sizey + y)];

    for (long x = 0; x < w.sizex; x++)
        for (long y = 0; y < w.sizey; y++)
            distribcal(w, (int32_t)x, (int32_t)y);

    for (long x = 0; x < w.sizex; x++)
        distribcal(w, (int32_t)x, -1);
    for (long y = 0; y < w.sizey; y++)
        distribcal(w, (int32_t)w.sizex, (int32_t)y);
    for (long y = 0; y < w.sizey; y++)
        distribcal(w, -1, (int32_t)y);
    for (long x = 0; x < w.sizex; x++)
        distribcal(w, (int32_t)x, (int32_t)w.sizey);
}

// ---- combustion ----------------------------------------------------------------

// A temperature truncated toward zero to whole kelvins in a 32-bit int. NaN
// reads as the smallest int; values beyond the int's range read as its
// nearest end. (Cut first, then clamped: the whole part of a value in
// range is exact in 80 bits.)
int32_t wholekelvins(long double temperature)
{
    if (std::isnan(temperature))
        return INT32_MIN;
    const long double whole = std::trunc(temperature);
    return (int32_t)std::clamp(whole, (long double)INT32_MIN, (long double)INT32_MAX);
}

// Combustion, after conduction, on the work area as conduction left it.
void dofire(ORACLEWORLD &w)
{
    for (long x = 0; x < w.sizex; x++) {
        for (long y = 0; y < w.sizey; y++) {
            ORACELL &cell = working(w, x, y);

            const int32_t temp = wholekelvins(cell.totalcal / cell.calperc);
            if (cell.ignitionpoint > temp)
                continue;
            if (!(cell.fuellevel > 0))
                continue;

            long double fuel2burn = (long double)w.interval * cell.burnspeed;
            if (cell.fuellevel < fuel2burn)
                fuel2burn = cell.fuellevel;
            cell.fuellevel = cell.fuellevel - fuel2burn;

            const long double heat2add = fuel2burn * cell.calperf;
            cell.totalcal = cell.totalcal + heat2add;
            addheat(&cell, nullptr, heat2add);
        }
    }
}

} // namespace plain

// ---- the oracle's interface ------------------------------------------------------

ORACELL &oracle_cell(ORACLEWORLD &w, long x, long y)
{
    return plain::published(w, x, y);
}

void oracle_tick(ORACLEWORLD &w)
{
    plain::dotemp(w);
    plain::dofire(w);
    std::swap(w.oldmap, w.curmap);
}

void oracle_fire(ORACLEWORLD &w, long x, long y, int tag)
{
    if (!plain::inmap(w, x, y))
        return;
    ORACELL &cell = plain::published(w, x, y);
    cell.totalcal = cell.totalcal + 100.0L;
    plain::addheatfromplayer(&cell, 100.0L, tag);
}

void oracle_addheat(ORACELL *rec, ORACELL *src, long double heat2add)
{
    plain::addheat(rec, src, heat2add);
}

int oracle_findfreeslot(const ORACELL &unit, int heatsourcenum)
{
    return plain::findfreeslot(unit, heatsourcenum);
}
