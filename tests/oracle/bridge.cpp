// The bridge between the oracle's records and a world of the server: copies
// of the published state in and out, and the comparison of the two.
#include "bridge.h"

#include "engine/cells.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <type_traits>

#include "extended.h"

// The oracle's cell holds, field for field and in the same order, what the
// server's whole record holds, so the bridge copies one into the other
// whole; a record of the server that changes breaks the build here.
#define SAMEFIELD(f)                                                                                    \
    (offsetof(ORACELL, f) == offsetof(MAPUNIT, f) && std::is_same_v<decltype(ORACELL::f), decltype(MAPUNIT::f)>)
static_assert(sizeof(ORACELL) == sizeof(MAPUNIT) && std::is_trivially_copyable_v<ORACELL> && SAMEFIELD(totalcal) &&
                  SAMEFIELD(cocon) && SAMEFIELD(calperc) && SAMEFIELD(ignitionpoint) && SAMEFIELD(fuellevel) &&
                  SAMEFIELD(calperf) && SAMEFIELD(burnspeed) && SAMEFIELD(heatsource) && SAMEFIELD(sourcequan) &&
                  SAMEFIELD(block),
              "the oracle's cell and the server's whole record differ");
#undef SAMEFIELD

void oracle_fromserver(ORACELL &o, const MAPUNIT &m) { std::memcpy((void *)&o, &m, sizeof o); }
void oracle_toserver(MAPUNIT &m, const ORACELL &o) { std::memcpy((void *)&m, &o, sizeof m); }

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
