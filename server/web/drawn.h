// What the web stream draws of the world: per cell its material, its
// temperature in whole kelvins and whether it burns or burnt, read from the
// published state. The stream encodes these values and nothing else, so
// pages see exactly what the exposure step and combustion test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "world.h"

// A cell's state as drawn.
enum : uint8_t {
    CELLPLAIN = 0,   // neither burning nor burnt
    CELLBURNING = 1, // fuel left and kelvins at or past the ignition point
    CELLBURNT = 2,   // not burning; fuel down to BURNTFRACTION of its material's start (more than 0)
};

// The drawn values of every cell, index x * sizey + y as in the world.
struct DRAWN {
    long sizex = 0, sizey = 0;
    std::vector<uint16_t> material; // index into the world's materials
    std::vector<int32_t> kelvins;   // truncatetemp(heat / calperc)
    std::vector<uint8_t> state;     // CELLPLAIN, CELLBURNING or CELLBURNT
};

// One cell's drawn values.
struct DRAWNCELL {
    uint16_t material;
    int32_t kelvins;
    uint8_t state;
    bool operator==(const DRAWNCELL &) const = default;
};

// Sizes d for w's map and draws every cell of the published state, fires
// queued while the tick computes included. Called with oldmap_lock held.
void drawworld(const WORLD &w, DRAWN &d);

// Draws only the columns [x0, x1) of the published state into d, which
// already has w's size (drawworld sized it); the other columns keep what
// they hold. Called with oldmap_lock held.
void drawcolumns(const WORLD &w, DRAWN &d, long x0, long x1);

// The drawn values of published cell i, worked out the plain way from
// pubcell (one division, the FPU's comparisons): what drawworld must
// give. Called with oldmap_lock held.
DRAWNCELL drawcell(const WORLD &w, size_t i);
