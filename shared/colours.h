// The game's colours, the same for the terminal client, the map pictures
// and the web page: a material colour worked out from a material's
// properties (the wire of port 3140 carries no type names), the heat
// colours laid over it when a cell warms up, flames and ash.
#pragma once

#include <cstdint>

#include "material.h"
#include "protocol.h"

struct RGB {
    uint8_t r, g, b;
};

// A colour for a material whose cells start with `initialfuel`: by name
// when `name` (only map files have names; may be null) names a known kind
// (grass, forest, brush, rock, water, ...), else from the properties
// (blocking: grey; no fuel and large heat capacity: water blue; fuel:
// greens, drier and yellower the lower the ignition point).
RGB materialcolour(const MATERIAL &m, double initialfuel, const char *name);

// Temperatures below this many kelvins show the material colour.
constexpr double COLDLIMIT = 320.0;
// Above this many kelvins a player standing on the cell is hurt.
constexpr double HURTLIMIT = HURTKELVINS;

// The colour of the heat ramp at `kelvins` (for kelvins >= COLDLIMIT).
RGB heatramp(double kelvins);

// The colour of one cell: the material when cold, blended into the heat
// ramp as it warms, flames when burning (fuel left and at or above its
// ignition point; `phase` makes flames flicker), ash when its fuel is gone.
RGB cellcolour(RGB material, double kelvins, double fuel, double initialfuel, int ignitionpoint,
               unsigned phase);

// The colour of a burnt cell (shared/burning.h says which are).
constexpr RGB ASHCOLOUR = {62, 56, 52};
// The heat colour's weight over a cell's own colour at `kelvins` (at or
// above COLDLIMIT), from 0 to 1.
double heatweight(double kelvins);
// a mixed towards b by f (0: a, 1: b).
RGB mix(RGB a, RGB b, double f);
