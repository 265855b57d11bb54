// The physics tick over a world, from its published state (oldmap) into
// its work area (curmap). It gives, bit for bit, what running the sources
// one after the other gives (every cell conducting to its neighbours in
// x-outer, y-inner order, then the four lines of virtual border cells,
// then combustion, every heat move carrying its attribution), computed in
// another order:
//   - conduction in the gather form (conduction.cpp): each cell adds and
//     subtracts what it receives and sends in the order the source-by-source
//     sweep would apply it, from temperatures computed once per cell;
//   - combustion per cell, right after its conduction (combustion.h);
//   - settled groups of columns skipped (settle.h);
//   - attribution as its own pass over tagged cells only (attribution.cpp),
//     on this thread while a helper thread (helper.h) sweeps the rest of
//     the columns of a large map.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/tick/combustion.h"
#include "engine/tick/lanes/lanes.h"
#include "engine/world.h"

struct TICKSCRATCH; // the tick's buffers and helper thread (tick/scratch.h)

// What the tick keeps of one world from tick to tick. All of it is guarded
// by the world's curmap_lock (the ticking thread's alone).
// Seconds of game time one tick stands for, and the pause after it, unless
// a game sets its own (TICKSTATE::interval).
inline constexpr double updateinterval = 0.1;

struct TICKSTATE {
    TICKSTATE();
    ~TICKSTATE(); // stops the helper thread
    TICKSTATE(const TICKSTATE &) = delete;
    TICKSTATE &operator=(const TICKSTATE &) = delete;

    int threads = 0;                      // 0: chosen by map size; 1 or 2 forced
    double interval = updateinterval;     // seconds of one tick and of the pause after it; set before the first
    TICKPATH path = besttickpath();       // the x87 unit, or a vector path this processor runs
    std::vector<BURN> burns;              // the last tick's combustion, for the swap
    uint64_t paircolumns = 0;             // columns computed in vector lanes so far
    uint64_t x87columns = 0;              // columns computed on the x87 unit so far
    std::unique_ptr<TICKSCRATCH> scratch; // made by the first tick
};

// One tick of w: heat and attribution from w.oldmap into w.curmap; the fuel
// burnt comes back in t.burns (in index order per thread), for the swap to
// publish. Reads oldmap and the published fuel without writing them.
// Called by dophys with w.curmap_lock held and the tick marked as
// computing; two worlds may tick at once, each with its own state.
void computetick(WORLD &w, TICKSTATE &t, double interval);
