// Players' fires.
#include "engine/fire.h"

#include "engine/tick/attribution.h"

void firecell(GRID &g, size_t i, long double heat2add, int tag)
{
    store80(g.heat[i], load80(g.heat[i]) + heat2add);
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
        firecell(*w.oldmap, (size_t)i, FIREHEAT, tag);
        unsettle(w.settle, (size_t)i, w.mapsizey);
    }
    w.mapgeneration++;
    pthread_mutex_unlock(&w.oldmap_lock);
}

void landfires(WORLD &w, size_t from)
{
    for (size_t k = from; k < w.firequeue.size(); k++) {
        firecell(*w.oldmap, w.firequeue[k].index, FIREHEAT, w.firequeue[k].tag);
        unsettle(w.settle, w.firequeue[k].index, w.mapsizey);
    }
    w.firequeue.resize(from);
}
