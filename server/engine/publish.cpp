// The tick's driver and its grid swap.
#include "engine/publish.h"

#include "engine/fire.h"

void swapgrids(WORLD &w, const TICKSTATE &t)
{
    pthread_mutex_lock(&w.oldmap_lock);
    waitforcopy(w);
    // A tick that moved no heat, burnt nothing and met no fire publishes
    // what was published: the encoded map answers stay good.
    const bool same = t.burns.empty() && w.firequeue.empty() && allsettled(w.settle);
    for (const BURN &b : t.burns)
        store80(w.fuellevel[b.index], b.fuel);
    for (const QUEUEDFIRE &f : w.firequeue) {
        firecell(*w.curmap, f.index, FIREHEAT, f.tag);
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
    computetick(w, t, t.interval);
    swapgrids(w, t);
    const size_t burning = t.burns.size();
    pthread_mutex_unlock(&w.curmap_lock);
    return burning;
}
