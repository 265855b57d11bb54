// Drawing the published world for the web stream: per cell the values of
// stream/drawn.h, read under oldmap_lock from the world's published heat,
// fuel and materials.
#pragma once

#include <cstddef>

#include "drawn.h"
#include "engine/world.h"

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
