// Heat attribution: the entries of tagged cells and a player's fire.
#include "tick/attribution.h"

#include <algorithm>
#include <cstring>

void addheatfromplayer(ATTR *rec, long double heat2add, int num)
{
    ATTR scratch;
    std::memset(&scratch, 0, sizeof scratch);
    scratch.heatsource[0] = num;
    scratch.sourcequan[0] = heat2add;
    addheat(rec, &scratch, heat2add);
}

bool attrblank(const int *heatsource, const long double *sourcequan)
{
    const long double zero = 0;
    for (int s = 0; s < NUMSLOTS; s++)
        if (heatsource[s] != 0 || !samebits(sourcequan[s], zero))
            return false;
    return true;
}

int32_t newentry(GRID &g, size_t i)
{
    ATTR empty;
    std::memset(&empty, 0, sizeof empty);
    g.pool.push_back(empty);
    g.attrindex[i] = (int32_t)(g.pool.size() - 1);
    return g.attrindex[i];
}

ATTR &attrentry(GRID &g, size_t i)
{
    if (g.attrindex[i] < 0) {
        newentry(g, i);
        auto at = std::lower_bound(g.tagged.begin(), g.tagged.end(), (uint32_t)i);
        g.tagged.insert(at, (uint32_t)i);
    }
    return g.pool[(size_t)g.attrindex[i]];
}
