// The tick's grid swap and players' fires.
#include "publish.h"

#include <chrono>

#include "loop.h"
#include "tick/attribution.h"
#include "tick/tick.h"

// A fire into cell i of one buffer: heat2add calories into its heat and,
// for a non-zero tag and a positive amount, into the tag's slot.
static void gridfire(GRID &g, size_t i, long double heat2add, int tag)
{
    g.heat[i] += heat2add;
    // Without a tag or an amount the move changes nothing: the cell keeps
    // no entry.
    if (tag != 0 && heat2add > 0)
        addheatfromplayer(&attrentry(g, i), heat2add, tag);
}

void addfire(WORLD &w, long x, long y, int tag)
{
    long i = cellindex(w, x, y);
    if (i < 0)
        return;
    pthread_mutex_lock(&w.oldmap_lock);
    if (w.tickcomputing)
        w.firequeue.push_back({(size_t)i, tag});
    else {
        gridfire(*w.oldmap, (size_t)i, FIREHEAT, tag);
        unsettle(w.settle, (size_t)i, w.mapsizey);
    }
    w.mapgeneration++;
    pthread_mutex_unlock(&w.oldmap_lock);
}

void swapgrids(WORLD &w)
{
    pthread_mutex_lock(&w.oldmap_lock);
    // A tick that moved no heat, burnt nothing and met no fire publishes
    // what was published: the encoded map answers stay good.
    const bool same = w.burns.empty() && w.firequeue.empty() && allsettled(w.settle);
    for (const BURN &b : w.burns)
        w.fuellevel[b.index] = b.fuel;
    for (const QUEUEDFIRE &f : w.firequeue) {
        gridfire(*w.curmap, f.index, FIREHEAT, f.tag);
        unsettle(w.settle, f.index, w.mapsizey);
    }
    w.firequeue.clear();
    w.tickcomputing = 0;
    GRID *tmp = w.oldmap;
    w.oldmap = w.curmap;
    w.curmap = tmp;
    if (!same)
        w.mapgeneration++;
    pthread_mutex_unlock(&w.oldmap_lock);
}

void (*tickobserver)(WORLD &w, double seconds, size_t burning) = nullptr;

void dophys(WORLD &w)
{
    const auto from = std::chrono::steady_clock::now();
    pthread_mutex_lock(&w.curmap_lock);
    pthread_mutex_lock(&w.oldmap_lock);
    w.tickcomputing = 1;
    pthread_mutex_unlock(&w.oldmap_lock);
    fasttick(w, updateinterval);
    swapgrids(w);
    const size_t burning = w.burns.size();
    pthread_mutex_unlock(&w.curmap_lock);
    if (tickobserver)
        tickobserver(w, std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count(), burning);
}
