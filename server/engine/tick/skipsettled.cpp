// Settled regions: which columns a tick may skip, and which groups settled.
#include <algorithm>

#include "engine/tick/scratch.h"

void findsettled(const TICKVIEW &w, TICKSCRATCH &sc)
{
    const long X = w.sizex;
    sc.skip.assign((size_t)X, 0);
    sc.moved.assign((size_t)X, 0);
    SETTLE *st = w.settle;
    if (!st)
        return;
    // Another interval, other surroundings or another size unsettle all.
    const size_t groups = (size_t)((X + SETTLEWIDTH - 1) / SETTLEWIDTH);
    long double outtemp = w.outside->totalcal / w.outside->calperc;
    if (st->group.size() != groups || st->interval != w.interval || !samebits(st->outtemp, outtemp) ||
        !samebits(st->outcocon, w.outside->cocon)) {
        st->group.assign(groups, 0);
        st->interval = w.interval;
        st->outtemp = outtemp;
        st->outcocon = w.outside->cocon;
        return;
    }
    // A settled group beside settled groups: skipped.
    for (size_t g = 0; g < groups; g++) {
        bool quiet = st->group[g] && (g == 0 || st->group[g - 1]) && (g + 1 == groups || st->group[g + 1]);
        if (!quiet)
            continue;
        size_t hi = std::min((g + 1) * SETTLEWIDTH, (size_t)X);
        for (size_t x = g * SETTLEWIDTH; x < hi; x++)
            sc.skip[x] = 1;
    }
}

void recordsettled(const TICKVIEW &w, const TICKSCRATCH &sc)
{
    SETTLE *st = w.settle;
    if (!st)
        return;
    for (size_t g = 0; g < st->group.size(); g++) {
        size_t lo = g * SETTLEWIDTH, hi = std::min(lo + SETTLEWIDTH, (size_t)w.sizex);
        if (sc.skip[lo])
            continue; // skipped: still settled
        bool moved = false;
        for (size_t x = lo; x < hi; x++)
            moved |= sc.moved[x] != 0;
        st->group[g] = !moved;
    }
}
