// A copy of a world's published state, and putting one back: what a
// checkpoint keeps, and what a round starts again from. The copy holds
// plain long double arrays, whatever the world stores inside.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/world.h"

// A world at one published tick. The fixed parts (size, materials, the
// material of each cell) come from the map and are not in it.
struct WORLDSNAPSHOT {
    uint64_t tick = 0;               // states published so far
    long sizex = 0, sizey = 0;
    std::vector<long double> heat;   // per cell
    std::vector<long double> fuel;   // per cell
    std::vector<uint32_t> tagged;    // cells that hold attribution, ascending
    std::vector<ATTR> attr;          // their slots, attr[j] of cell tagged[j]
    MAPUNIT outside{};
    std::vector<QUEUEDFIRE> fires;   // fires queued while the tick computed
};

// Copies w's published state into s (reusing s's memory). The grid is
// copied with no lock held under the copying mark: readers, fires and a
// tick's computing go on, only a tick's swap and a reset wait for it.
// Called by any thread but the ticking one.
void takesnapshot(WORLD &w, WORLDSNAPSHOT &s);

// Makes s (of a world of w's size) w's published state in both buffers,
// queued fires and tick count included, everything unsettled; under
// curmap_lock then oldmap_lock. Called while w does not tick.
void restoresnapshot(WORLD &w, const WORLDSNAPSHOT &s);

// Sets w back to s's cells for a new round: heat, fuel and outside from
// s, no attribution, no queued fires, nothing settled; the tick count
// carries on. Under curmap_lock then oldmap_lock (waits for a copy).
void resetworldto(WORLD &w, const WORLDSNAPSHOT &s);

// Makes `to` a copy of the whole of `from` (sizes, materials, both
// buffers, fuel, outside, what settled), so that ticking it goes exactly
// as ticking `from` would; a new state for to's readers. Under to's
// curmap_lock then oldmap_lock; `from` must not tick meanwhile. For
// benchmarks.
void copyworld(WORLD &to, const WORLD &from);
