// A deliberately plain second implementation of the tick, kept beside the
// tests as the reference that the server's tick must match, on every world
// the tests give it, to the last bit of every 80-bit long double.
//
// It is written from the rules of the simulation alone, not from the
// server's code, step for step and in the rules' own names (dotemp,
// distribcal, dofire, addheat, findfreeslot, addheatfromplayer): its own cell
// record, a whole-record copy of the published grid into the work area, every
// temperature divided out afresh for every neighbour pair, a whole-record
// dummy copy in every attribution move where one side is missing, no
// precomputed tables and no shortcuts. Speed is no concern here.
//
// Where the rules leave a choice open, the oracle makes the server's:
// findfreeslot gives slot 14 when all 15 slots hold other tags and none holds
// a quantity below LDBL_MAX; the ignition test reads a NaN temperature as
// INT32_MIN and a temperature beyond the int's range as its nearest end; a
// cell or the outside with calperc 0 gets no special case.
//
// It never touches a world of the server: the bridge (bridge.h) copies
// between a world and the oracle's records.
//
// Typical use in a test:
//     loadmaptext(...);                      // the server's world
//     ORACLEWORLD w = oracle_snapshot();     // the same world, in the oracle
//     dophys(testgame.world, testgame.tick); oracle_tick(w);   // one tick on each side
//     std::string diff;
//     EXPECT_TRUE(oracle_same(w, &diff)) << diff;
#pragma once

#include <string>
#include <vector>

enum { ORACLESLOTS = 15 }; // attribution slots per cell

// One cell, field for field what a cell of the world holds.
struct ORACELL {
    long double totalcal = 0;      // heat held, calories
    long double cocon = 0;         // conduction coefficient
    long double calperc = 0;       // calories per kelvin
    int ignitionpoint = 0;         // burns at or above this many whole kelvins
    long double fuellevel = 0;     // fuel left
    long double calperf = 0;       // calories per unit of fuel
    long double burnspeed = 0;     // fuel per second while burning
    int heatsource[ORACLESLOTS] = {};        // tag (player number + 1), 0 = empty
    long double sourcequan[ORACLESLOTS] = {}; // calories attributed to the tag
    int block = 0;
};

// A whole world: two grids of sizex x sizey cells (cell (x, y) at index
// x * sizey + y), the single outside cell and the tick length.
struct ORACLEWORLD {
    long sizex = 0;
    long sizey = 0;
    double interval = 0.1;          // seconds per tick; widened where used
    std::vector<ORACELL> oldmap;    // the published state
    std::vector<ORACELL> curmap;    // the tick's work area
    ORACELL outside;                // every position off the map
};

// The published cell at (x, y), or w.outside for a position off the map.
ORACELL &oracle_cell(ORACLEWORLD &w, long x, long y);

// One tick: copy oldmap into curmap, conduction from every map cell (x
// outer, y inner) and then from the four lines of virtual border cells,
// combustion, swap.
void oracle_tick(ORACLEWORLD &w);

// A player's fire between ticks: 100 calories into the published cell at
// (x, y) and their attribution to `tag`. Nothing happens off the map.
void oracle_fire(ORACLEWORLD &w, long x, long y, int tag);

// The attribution move and the slot choice on their own, for tests that
// want to check a worked example against the oracle as well. Either side of
// oracle_addheat may be null for a missing side (the surroundings, or the
// burning cell's own heat); it never changes totalcal.
void oracle_addheat(ORACELL *rec, ORACELL *src, long double heat2add);
int oracle_findfreeslot(const ORACELL &unit, int heatsourcenum);
