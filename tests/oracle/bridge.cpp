// The bridge between the oracle's records and a world of the server: copies
// of the published state in and out, and the comparison of the two.
#include "bridge.h"

#include <cstdio>
#include <cstring>

#include "extended.h"


void oracle_fromserver(ORACELL &o, const MAPUNIT &m)
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

void oracle_toserver(MAPUNIT &m, const ORACELL &o)
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

ORACLEWORLD oracle_snapshot(WORLD &s)
{
    ORACLEWORLD w;
    pthread_mutex_lock(&s.oldmap_lock);
    w.sizex = s.mapsizex;
    w.sizey = s.mapsizey;
    w.oldmap.resize(ncells(s));
    w.curmap.resize(ncells(s));
    for (size_t i = 0; i < ncells(s); i++)
        oracle_fromserver(w.oldmap[i], pubcell(s, i));
    oracle_fromserver(w.outside, s.outside);
    pthread_mutex_unlock(&s.oldmap_lock);
    return w;
}

void oracle_install(const ORACLEWORLD &w, WORLD &s)
{
    pthread_mutex_lock(&s.oldmap_lock);
    if (w.sizex == s.mapsizex && w.sizey == s.mapsizey) {
        for (size_t i = 0; i < ncells(s); i++) {
            MAPUNIT m;
            std::memset(&m, 0, sizeof m);
            oracle_toserver(m, w.oldmap[i]);
            setpubcell(s, i, m);
        }
        s.mapgeneration++;
    }
    pthread_mutex_unlock(&s.oldmap_lock);
}

static std::string describe(long x, long y, const char *field, long double oraclevalue,
                            long double servervalue)
{
    char buf[256];
    std::snprintf(buf, sizeof buf, "cell (%ld, %ld) %s: oracle %La, server %La", x, y, field,
                  oraclevalue, servervalue);
    return buf;
}

bool oracle_same(const ORACLEWORLD &w, std::string *diff, WORLD &s)
{
    std::string what;
    bool same = true;
    pthread_mutex_lock(&s.oldmap_lock);
    if (w.sizex != s.mapsizex || w.sizey != s.mapsizey) {
        same = false;
        what = "sizes: oracle " + std::to_string(w.sizex) + " x " + std::to_string(w.sizey) +
               ", server " + std::to_string(s.mapsizex) + " x " + std::to_string(s.mapsizey);
    }
    for (long x = 0; same && x < w.sizex; x++) {
        for (long y = 0; same && y < w.sizey; y++) {
            const ORACELL &o = w.oldmap[x * w.sizey + y];
            const MAPUNIT m = pubcell(s, (size_t)(x * s.mapsizey + y));
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
    if (same && !samebits(w.outside.totalcal, s.outside.totalcal)) {
        same = false;
        what = describe(-1, -1, "outside totalcal", w.outside.totalcal, s.outside.totalcal);
    }
    pthread_mutex_unlock(&s.oldmap_lock);
    if (!same && diff != nullptr)
        *diff = what;
    return same;
}
