// Combustion: a cell whose truncated temperature has reached its ignition
// point burns updateinterval x burnspeed of its fuel (what is left, on the
// last tick) and releases fuel x calperf calories into itself. The fuel is
// published with the swap (fireburns), not written here.
#include "fire.h"

#include "grid.h"
#include "loop.h"
#include "world.h"

std::vector<BURN> fireburns; // guarded by curmap_lock

// Called with curmap_lock held.
void dofire()
{
    fireburns.clear();
    if (ncells() == 0)
        return;
    for (long x = 0; x < mapsizex; x++) {
        for (long y = 0; y < mapsizey; y++) {
            size_t i = (size_t)cellindex(x, y);
            const CELLTYPE &t = celltypes[celltype[i]];
            int temp = truncatetemp(curmap->heat[i] / t.calperc);
            if (t.ignitionpoint > temp)
                continue;
            long double fuel = fuellevel[i];
            if (!(fuel > 0))
                continue;
            long double fuel2burn = updateinterval * t.burnspeed;
            if (fuel < fuel2burn)
                fuel2burn = fuel;
            fuel = fuel - fuel2burn;
            long double heat2add = fuel2burn * t.calperf;
            curmap->heat[i] = curmap->heat[i] + heat2add;
            fireburns.push_back({(uint32_t)i, fuel, heat2add});
            if (curmap->attrindex[i] >= 0)
                attrmove(&curmap->pool[(size_t)curmap->attrindex[i]], nullptr, heat2add);
        }
    }
}
