// Heat attribution: which players' fires the heat of a cell came from.
#pragma once

#include <cfloat>

#include "world.h"

// Moves the attribution of heat2add calories from src to rec. Either may be
// null (heat from or into the surroundings), not both. Never changes
// totalcal: the caller moves the heat itself.
void addheat(MAPUNIT *rec, MAPUNIT *src, long double heat2add);

// Attributes heat2add calories of rec to the tag num.
void addheatfromplayer(MAPUNIT *rec, long double heat2add, int num);

// The slot of `unit` to use for the tag heatsourcenum: its own slot, the
// first empty one, or else the one with the smallest quantity (lowest on a
// tie). When every quantity is non-finite or at the largest finite value,
// slot 14 is used.
int findfreeslot(const MAPUNIT *unit, int heatsourcenum);

// The rule of findfreeslot over one cell's slot arrays, for every layout
// of the slots (whole records and the compact world's entries).
inline int slotfor(const int *heatsource, const long double *sourcequan, int heatsourcenum)
{
    for (int i = 0; i < NUMSLOTS; i++)
        if (heatsource[i] == 0 || heatsource[i] == heatsourcenum)
            return i;
    long double smallest = LDBL_MAX;
    int found = NUMSLOTS - 1; // only non-finite quantities: the last slot
    for (int i = 0; i < NUMSLOTS; i++) {
        if (sourcequan[i] < smallest) {
            smallest = sourcequan[i];
            found = i;
        }
    }
    return found;
}
