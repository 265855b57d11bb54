// A cell as a whole record: reading the published state one cell at a time
// (the exposure step, the web's drawing) and writing it (tests and
// benchmarks build worlds so), fires queued while the tick computes
// included. The world stores cells split (world.h); this
// is where the split parts and the attribution slots meet again.
#pragma once

#include "engine/world.h"

// The published cell i as a whole record, a fire queued while the tick
// computes included. Called with oldmap_lock held.
MAPUNIT pubcell(const WORLD &w, size_t i);
// Overwrites the published cell i with a whole record (material, heat,
// fuel, attribution): its material is the first with its properties (one
// with its fuel as the start is added when none has them). For building
// worlds cell by cell (tests, benchmarks) between ticks; called with
// oldmap_lock held.
void setpubcell(WORLD &w, size_t i, const MAPUNIT &cell);
// The same by position, taking oldmap_lock: getcell gives outside for a
// position off the map; putcell ignores one.
MAPUNIT getcell(WORLD &w, long x, long y);
void putcell(WORLD &w, long x, long y, const MAPUNIT &cell);
