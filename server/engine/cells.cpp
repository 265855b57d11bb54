// Cells one at a time.
#include "engine/cells.h"

#include <cstdlib>
#include <cstring>

#include "engine/tick/attribution.h"

// The slots of an entry into a whole record, and back.
static void slotstounit(const ATTR &a, MAPUNIT &m)
{
    std::memcpy(m.heatsource, a.heatsource, sizeof m.heatsource);
    for (int s = 0; s < NUMSLOTS; s++)
        m.sourcequan[s] = load80(a.sourcequan[s]);
}

static void unittoslots(const MAPUNIT &m, ATTR &a)
{
    std::memcpy(a.heatsource, m.heatsource, sizeof a.heatsource);
    for (int s = 0; s < NUMSLOTS; s++)
        store80(a.sourcequan[s], m.sourcequan[s]);
}

// Cell i of buffer g as a whole record, with its material and fuel.
static MAPUNIT cellrecord(const WORLD &w, const GRID &g, size_t i)
{
    const MATERIAL &t = w.materials[w.material[i]];
    MAPUNIT m;
    std::memset(&m, 0, sizeof m);
    m.totalcal = load80(g.heat[i]);
    m.cocon = t.cocon;
    m.calperc = t.calperc;
    m.ignitionpoint = t.ignitionpoint;
    m.fuellevel = load80(w.fuellevel[i]);
    m.calperf = t.calperf;
    m.burnspeed = t.burnspeed;
    m.block = t.block;
    if (g.attrindex[i] >= 0)
        slotstounit(g.pool[(size_t)g.attrindex[i]], m);
    return m;
}

MAPUNIT pubcell(const WORLD &w, size_t i)
{
    MAPUNIT m = cellrecord(w, *w.oldmap, i);
    for (const QUEUEDFIRE &f : w.firequeue) {
        if (f.index != i)
            continue;
        m.totalcal += FIREHEAT;
        ATTR a;
        unittoslots(m, a);
        addheatfromplayer(&a, FIREHEAT, f.tag);
        slotstounit(a, m);
    }
    return m;
}

void setpubcell(WORLD &w, size_t i, const MAPUNIT &cell)
{
    const MATERIAL m = materialof(cell);
    int t = findmaterial(w, m);
    if (t < 0)
        t = addmaterial(w, m, "", cell.fuellevel);
    if (t < 0)
        std::abort(); // more than 65,536 materials: only a test builds such a world
    w.material[i] = (uint16_t)t;
    store80(w.fuellevel[i], cell.fuellevel);
    unsettle(w.settle, i, w.mapsizey);
    GRID &g = *w.oldmap;
    store80(g.heat[i], cell.totalcal);
    if (attrblank(cell.heatsource, cell.sourcequan) && g.attrindex[i] < 0)
        return; // a cell without tags needs no entry
    unittoslots(cell, attrentry(g, i));
}

MAPUNIT getcell(WORLD &w, long x, long y)
{
    pthread_mutex_lock(&w.oldmap_lock);
    long i = cellindex(w, x, y);
    MAPUNIT m = i < 0 ? w.outside : pubcell(w, (size_t)i);
    pthread_mutex_unlock(&w.oldmap_lock);
    return m;
}

void putcell(WORLD &w, long x, long y, const MAPUNIT &cell)
{
    pthread_mutex_lock(&w.oldmap_lock);
    long i = cellindex(w, x, y);
    if (i >= 0) {
        setpubcell(w, (size_t)i, cell);
        w.mapgeneration++;
    }
    pthread_mutex_unlock(&w.oldmap_lock);
}
