// The tick's grid swap and players' fires.
#include "engine/publish.h"

#include "engine/tick/attribution.h"

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
    if (w.tickcomputing || w.copying)
        w.firequeue.push_back({(size_t)i, tag});
    else {
        gridfire(*w.oldmap, (size_t)i, FIREHEAT, tag);
        unsettle(w.settle, (size_t)i, w.mapsizey);
    }
    w.mapgeneration++;
    pthread_mutex_unlock(&w.oldmap_lock);
}

void landfires(WORLD &w, size_t from)
{
    for (size_t k = from; k < w.firequeue.size(); k++) {
        gridfire(*w.oldmap, w.firequeue[k].index, FIREHEAT, w.firequeue[k].tag);
        unsettle(w.settle, w.firequeue[k].index, w.mapsizey);
    }
    w.firequeue.resize(from);
}

void swapgrids(WORLD &w, const TICKSTATE &t)
{
    pthread_mutex_lock(&w.oldmap_lock);
    waitforcopy(w);
    // A tick that moved no heat, burnt nothing and met no fire publishes
    // what was published: the encoded map answers stay good.
    const bool same = t.burns.empty() && w.firequeue.empty() && allsettled(w.settle);
    for (const BURN &b : t.burns)
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
    w.ticks++;
    if (!same)
        w.mapgeneration++;
    pthread_mutex_unlock(&w.oldmap_lock);
}

size_t dophys(WORLD &w, TICKSTATE &t)
{
    pthread_mutex_lock(&w.curmap_lock);
    pthread_mutex_lock(&w.oldmap_lock);
    w.tickcomputing = 1;
    pthread_mutex_unlock(&w.oldmap_lock);
    fasttick(w, t, t.interval);
    swapgrids(w, t);
    const size_t burning = t.burns.size();
    pthread_mutex_unlock(&w.curmap_lock);
    return burning;
}
