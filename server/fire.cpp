// Combustion: a cell whose truncated temperature has reached its ignition
// point burns updateinterval x burnspeed of its fuel (what is left, on the
// last tick) and releases fuel x calperf calories into itself.
#include "fire.h"

#include "loop.h"
#include "scorefunc.h"
#include "world.h"

// Called with curmap_lock held.
void dofire()
{
    if (ncells() == 0)
        return;
    for (long x = 0; x < mapsizex; x++) {
        for (long y = 0; y < mapsizey; y++) {
            MAPUNIT *cell = cellat(curmap, x, y);
            int temp = truncatetemp(cell->totalcal / cell->calperc);
            if (cell->ignitionpoint > temp)
                continue;
            if (!(cell->fuellevel > 0))
                continue;
            long double fuel2burn = updateinterval * cell->burnspeed;
            if (cell->fuellevel < fuel2burn)
                fuel2burn = cell->fuellevel;
            cell->fuellevel = cell->fuellevel - fuel2burn;
            long double heat2add = fuel2burn * cell->calperf;
            cell->totalcal = cell->totalcal + heat2add;
            addheat(cell, nullptr, heat2add);
        }
    }
}
