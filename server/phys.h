// The physics tick: copy the published grid, conduct, burn, publish.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "world.h"

struct BURN;

// One whole tick: conduction (dotemp), combustion (dofire), then the swap.
void dophys();

// A player's fire: 100 calories into the cell at (x, y) of the published
// grid, attributed to `tag` (player number + 1). Nothing happens off the
// map. Safe to call from any thread while the tick runs; takes oldmap_lock.
void addfire(long x, long y, int tag);

// Calories one fire puts into its cell.
extern const long double FIREHEAT;

// Counts published states: raised by every fire and every swap that
// publishes another state (not by a tick that moved nothing). Readers that
// cache an encoding of oldmap compare it under oldmap_lock.
extern uint64_t mapgeneration; // guarded by oldmap_lock

// Set by the tick while it reads oldmap without the lock, until its swap;
// a fire that arrives meanwhile is queued for the state the tick publishes
// (and shown by pubcell at once).
extern int tickcomputing; // guarded by oldmap_lock

// A fire waiting for the swap: cell index and tag.
struct QUEUEDFIRE {
    size_t index;
    int tag;
};
// The fires queued while the tick computes. Called with oldmap_lock held.
const std::vector<QUEUEDFIRE> &queuedfires();

// Publishes curmap: writes the burnt fuel, adds the queued fires, swaps
// oldmap and curmap under oldmap_lock. Called with curmap_lock held.
void swapgrids(const std::vector<BURN> &burns);

// Frees everything of the world and returns it to the empty state
// (no cells, outside all zero). For tests; the server never calls it.
void resetworld();

// The tick in its plain form (dotemp, dofire, swapgrids): the same bits as
// dophys, far slower. For tests.
void dophysplain();
