// Heat attribution. Every move of heat carries the record of whose fires it
// came from: the sender's attributed heat is split by each tag's share of
// it (rounded to float), the receiver's slots gain, the sender's lose.
#include "scorefunc.h"

#include <cfloat>

void addheat(MAPUNIT *rec, MAPUNIT *src, long double heat2add)
{
    MAPUNIT dummy;
    if (!src) {
        dummy = *rec;
        src = &dummy;
    }
    if (!rec) {
        dummy = *src;
        rec = &dummy;
    }

    int precheatsrcnum[NUMSLOTS] = {};
    float prec[NUMSLOTS] = {};
    long double totalheat = 0;
    for (int i = 0; i < NUMSLOTS; i++)
        if (src->heatsource[i] != 0)
            totalheat += src->sourcequan[i];
    if (!(totalheat > 0))
        return;

    for (int i = 0; i < NUMSLOTS; i++) {
        precheatsrcnum[i] = src->heatsource[i];
        if (src->heatsource[i] != 0 && src->sourcequan[i] > 0)
            prec[i] = (float)(src->sourcequan[i] / totalheat);
    }

    for (int i = 0; i < NUMSLOTS; i++) {
        if (precheatsrcnum[i] == 0)
            continue;
        int slot = findfreeslot(rec, precheatsrcnum[i]);
        rec->heatsource[slot] = precheatsrcnum[i];
        rec->sourcequan[slot] = (long double)prec[i] * heat2add + rec->sourcequan[slot];
        src->sourcequan[i] = src->sourcequan[i] - (long double)prec[i] * heat2add;
    }
}

void addheatfromplayer(MAPUNIT *rec, long double heat2add, int num)
{
    MAPUNIT scratch;
    for (int i = 0; i < NUMSLOTS; i++) {
        scratch.heatsource[i] = 0;
        scratch.sourcequan[i] = 0;
    }
    scratch.heatsource[0] = num;
    scratch.sourcequan[0] = heat2add;
    addheat(rec, &scratch, heat2add);
}

int findfreeslot(const MAPUNIT *unit, int heatsourcenum)
{
    return slotfor(unit->heatsource, unit->sourcequan, heatsourcenum);
}
