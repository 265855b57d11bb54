// The physics tick: copy the published grid, conduct, burn, publish.
#pragma once

#include <cstdint>

#include "world.h"

// One whole tick: conduction (dotemp), combustion (dofire), then the swap.
void dophys();

// A player's fire: 100 calories into the cell at (x, y) of the published
// grid, attributed to `tag` (player number + 1). Nothing happens off the
// map. Safe to call from any thread while the tick runs; takes oldmap_lock.
void addfire(long x, long y, int tag);

// Calories one fire puts into its cell.
extern const long double FIREHEAT;

// Counts published states: raised by every swap and every fire. Readers
// that cache an encoding of oldmap compare it under oldmap_lock.
extern uint64_t mapgeneration; // guarded by oldmap_lock

// Set by the tick from its copy of oldmap until its swap; a fire that
// arrives meanwhile is queued for the state the tick publishes.
extern int tickcomputing; // guarded by oldmap_lock

// Frees everything of the world and returns it to the empty state
// (no cells, outside all zero). For tests; the server never calls it.
void resetworld();
