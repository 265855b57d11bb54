// A deliberately plain second implementation of the tick, kept beside the
// tests as the reference that the server's tick (and every faster tick to
// come) must match to the last bit of every 80-bit long double.
//
// It is written straight from the rules of the simulation, not from the
// server's code: its own cell record, a whole-record copy of the grid, every
// temperature divided out afresh for every neighbour pair, a whole-record
// dummy copy in every attribution move where one side is missing, no
// precomputed tables and no shortcuts. Speed is no concern here.
//
// Typical use in a test:
//     loadmaptext(...);                      // the server's world
//     ORACLEWORLD w = oracle_snapshot();     // the same world, in the oracle
//     dophys(); oracle_tick(w);              // one tick on each side
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

// Copies the server's published world (oldmap, outside, sizes) into a new
// oracle world, under oldmap_lock. The tick length is the fixed 0.1 s.
ORACLEWORLD oracle_snapshot();

// Writes every cell of w's published grid, whole, into the server's oldmap
// (under oldmap_lock); the sizes must match the server's. Lets a test put
// the server's world into a state (attribution, odd heats) that no map file
// can describe. Does not touch the server's outside.
void oracle_install(const ORACLEWORLD &w);

// The published cell at (x, y), or w.outside for a position off the map.
ORACELL &oracle_cell(ORACLEWORLD &w, long x, long y);

// One tick: copy oldmap into curmap, conduction from every map cell (x
// outer, y inner) and then from the four lines of virtual border cells,
// combustion, swap.
void oracle_tick(ORACLEWORLD &w);

// A player's fire between ticks: 100 calories into the published cell at
// (x, y) and their attribution to `tag`. Nothing happens off the map.
void oracle_fire(ORACLEWORLD &w, long x, long y, int tag);

// Compares, under oldmap_lock, w's published grid with the server's oldmap,
// byte for byte over the 10 significant bytes of each long double: totalcal,
// fuellevel and the 15 sourcequan of every cell, plus the 15 heatsource tags,
// in index order; then the totalcal of the two outside cells. Returns true
// when all are equal. Otherwise, when diff is not null, writes into it the
// first difference: cell, field and both values (%La).
bool oracle_same(const ORACLEWORLD &w, std::string *diff);

// The attribution move and the slot choice on their own, for tests that
// want to check a worked example against the oracle as well.
void oracle_addheat(ORACELL *rec, ORACELL *src, long double heat2add);
int oracle_findfreeslot(const ORACELL &unit, int heatsourcenum);
