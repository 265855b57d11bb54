// Heat attribution on the entries of tagged cells: which players' fires
// the heat of a cell came from. Every move of heat carries its record: the
// sender's attributed heat is split by each tag's share of it (rounded to
// float), the receiver's slots gain, the sender's lose. The functions never
// change heat; the caller moves the heat itself.
//
// Slots fill from 0 upwards and are never emptied, so the used slots are a
// prefix and a tag stands in at most one slot of a cell. The tick's own
// attribution pass lives beside the rules (attribution.cpp), so that its
// innermost moves are compiled with them.
#pragma once

#include <cfloat>
#include <cmath>
#include <cstddef>

#include "engine/world.h"

// The slot of `unit` for the tag heatsourcenum: its own slot, the first
// empty one, or else the one with the smallest quantity (lowest on a tie),
// whose calories the new tag takes over. When every quantity is non-finite
// or at the largest finite value, slot 14.
inline int findfreeslot(const ATTR *unit, int heatsourcenum)
{
    for (int i = 0; i < NUMSLOTS; i++)
        if (unit->heatsource[i] == 0 || unit->heatsource[i] == heatsourcenum)
            return i;
    long double smallest = LDBL_MAX;
    int found = NUMSLOTS - 1;
    for (int i = 0; i < NUMSLOTS; i++) {
        const long double q = load80(unit->sourcequan[i]);
        if (q < smallest) {
            smallest = q;
            found = i;
        }
    }
    return found;
}

// Moves the attribution of heat2add calories from src to rec. Either may
// be null (heat from or into the surroundings, or released in the cell by
// combustion), not both.
void addheat(ATTR *rec, ATTR *src, long double heat2add);

// Attributes heat2add calories of rec to the tag num (a player's fire):
// with num not 0 and heat2add above 0 its slot grows by exactly heat2add;
// otherwise nothing changes.
void addheatfromplayer(ATTR *rec, long double heat2add, int num);

// True when slots hold no tag and every quantity is +0 (-0 counts as a
// quantity): a cell with such slots needs no entry.
bool attrblank(const int *heatsource, const long double *sourcequan);

// Index of a new empty entry of g for cell i (not yet listed in g.tagged).
int32_t newentry(GRID &g, size_t i);
// The entry of cell i in g, created empty (and listed in g.tagged at its
// place) when the cell has none. The reference is valid until the next
// entry is created.
ATTR &attrentry(GRID &g, size_t i);
