// Driving the tick: one tick computed and published by the grid swap.
// Players' fires into the published state are fire.h's.
//
// Every 0.1 s the main thread (dophys):
//   1. takes curmap_lock; under oldmap_lock marks the tick as computing
//      (from then on a fire is queued instead of written into oldmap, which
//      the tick reads without the lock);
//   2. runs the tick from oldmap into curmap: conduction from every cell
//      and the virtual border, combustion, attribution; the fuel burnt
//      comes back as a list;
//   3. takes oldmap_lock, writes the burnt fuel, adds the fires that
//      arrived while it computed, swaps oldmap and curmap, releases both
//      locks.
// A fire that arrives while the tick computes is queued (fire.h) and
// lands in the state the tick publishes.
#pragma once

#include <cstddef>

#include "engine/tick/tick.h"
#include "engine/world.h"

// One whole tick of w (t.interval seconds, with t, this world's tick
// state) and its publication. Returns the number of cells that burnt in it.
size_t dophys(WORLD &w, TICKSTATE &t);

// Publishes what the tick computed: writes the burnt fuel of t, adds the
// fires queued while it computed, swaps oldmap and curmap under
// oldmap_lock and lowers the computing mark. Called with curmap_lock held,
// by dophys (and by tests that stand in for a tick).
void swapgrids(WORLD &w, const TICKSTATE &t);
