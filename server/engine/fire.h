// Players' fires into the published state. A fire that arrives between
// ticks lands in oldmap at once and is read by the next tick; one that
// arrives while the tick computes (or a checkpoint copies) is queued:
// readers of the published grid see it at once (pubcell and eachpubcell
// add it), and it lands in the state the tick publishes (swapgrids).
#pragma once

#include <cstddef>

#include "engine/world.h"

// A player's fire: FIREHEAT calories into the published cell at (x, y),
// attributed to `tag` (player number + 1). Nothing happens off the map.
// Safe from any thread while the tick runs; takes oldmap_lock.
void addfire(WORLD &w, long x, long y, int tag);

// Lands the fires queued from entry `from` on in the published state, as
// fires that arrive between ticks land, and drops them from the queue.
// Called with oldmap_lock held while no tick computes, by a reader that
// raised the computing mark to read oldmap without the lock (a snapshot).
void landfires(WORLD &w, size_t from);

// A fire into cell i of one buffer: heat2add calories into its heat and,
// for a non-zero tag and a positive amount, into the tag's slot. For the
// swap, which lands queued fires in the state it publishes.
void firecell(GRID &g, size_t i, long double heat2add, int tag);
