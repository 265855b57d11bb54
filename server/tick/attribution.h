// Heat attribution on the entries of tagged cells: which players' fires
// the heat of a cell came from. Every move of heat carries its record: the
// sender's attributed heat is split by each tag's share of it (rounded to
// float), the receiver's slots gain, the sender's lose. The functions never
// change heat; the caller moves the heat itself.
//
// Slots fill from 0 upwards and are never emptied, so the used slots are a
// prefix and a tag stands in at most one slot of a cell. The hot forms are
// inline: the tick calls them once per move.
#pragma once

#include <emmintrin.h>

#include <cfloat>
#include <cmath>
#include <cstddef>

#include "world.h"

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
        if (unit->sourcequan[i] < smallest) {
            smallest = unit->sourcequan[i];
            found = i;
        }
    }
    return found;
}

// Bit i set where slot i holds a tag: the fifteen tags compared at once.
inline unsigned attrused(const ATTR *unit)
{
    static_assert(NUMSLOTS == 15 && offsetof(ATTR, sourcequan) >= 16 * sizeof(int),
                  "the tags and the padding after them fill four 16-byte loads");
    unsigned used = 0;
    for (int q = 0; q < 4; q++) {
        __m128i v;
        std::memcpy(&v, (const char *)unit->heatsource + 16 * q, 16);
        const __m128i zero = _mm_cmpeq_epi32(v, _mm_setzero_si128());
        used |= (unsigned)(~_mm_movemask_ps(_mm_castsi128_ps(zero)) & 0xf) << (4 * q);
    }
    return used & ((1u << NUMSLOTS) - 1);
}

// The used slots of a unit and their tags, in slot order. A sender's list
// holds for all its moves of a tick: they change its quantities only.
struct SLOTLIST {
    int m;
    int slot[NUMSLOTS];
    int tag[NUMSLOTS];
};

inline void listslots(const ATTR *unit, SLOTLIST &l)
{
    l.m = 0;
    for (unsigned b = attrused(unit); b; b &= b - 1) {
        const int i = __builtin_ctz(b);
        l.slot[l.m] = i;
        l.tag[l.m++] = unit->heatsource[i];
    }
}

// The attributed heat of a unit: its listed quantities summed in slot order.
inline long double listtotal(const ATTR *unit, const SLOTLIST &l)
{
    long double totalheat = 0;
    for (int j = 0; j < l.m; j++)
        totalheat += unit->sourcequan[l.slot[j]];
    return totalheat;
}

// addheat with the used slots of the sender (or, without one, of the
// receiver) already listed in l.
inline void addheatlisted(ATTR *rec, ATTR *src, const SLOTLIST &l, long double heat2add)
{
    // A missing sender is a scratch copy of the receiver, and a missing
    // receiver one of the sender. The shares are all taken before any slot
    // changes, so the scratch copy is never needed: the shares come from
    // the receiver itself, and what the copy would lose or gain is dropped.
    const ATTR *from = src ? src : rec;
    const int m = l.m;
    if (m == 0)
        return;
    const long double totalheat = listtotal(from, l);
    if (!(totalheat > 0))
        return;
    float prec[NUMSLOTS];
    if (m == 1 && totalheat < INFINITY) {
        // The total is the one quantity (0 + q): its share q / q is 1.
        prec[0] = 1.0f;
    } else {
        for (int j = 0; j < m; j++) {
            long double q = from->sourcequan[l.slot[j]];
            prec[j] = q > 0 ? (float)(q / totalheat) : 0.0f;
        }
    }
    for (int j = 0; j < m; j++) {
        long double part = (long double)prec[j] * heat2add;
        if (rec) {
            int slot = findfreeslot(rec, l.tag[j]);
            rec->heatsource[slot] = l.tag[j];
            rec->sourcequan[slot] = part + rec->sourcequan[slot];
        }
        if (src)
            src->sourcequan[l.slot[j]] = src->sourcequan[l.slot[j]] - part;
    }
}

// Moves the attribution of heat2add calories from src to rec. Either may
// be null (heat from or into the surroundings, or released in the cell by
// combustion), not both.
inline void addheat(ATTR *rec, ATTR *src, long double heat2add)
{
    SLOTLIST l;
    listslots(src ? src : rec, l);
    addheatlisted(rec, src, l, heat2add);
}

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
