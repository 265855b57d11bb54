// Colours shared by the map tools and the client: a material colour worked
// out from a cell's properties (the wire carries no type names), the heat
// colours laid over it when the cell warms up, and a small PNG writer with
// a 3x5 pixel font for legends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

// An RGB picture, row-major, three bytes per pixel.
struct PICTURE {
    int w = 0, h = 0;
    std::vector<uint8_t> px;
    PICTURE(int width, int height, RGB fill);
    void set(int x, int y, RGB c);
    RGB get(int x, int y) const;
    void rect(int x, int y, int w, int h, RGB c);
    // Text in the 3x5 font (digits, capitals, a few signs), `scale` pixels
    // per font dot; unknown characters leave a gap.
    void text(int x, int y, const std::string &s, RGB c, int scale = 1);
};
// Width in pixels of `s` drawn with PICTURE::text at `scale`.
int textwidth(const std::string &s, int scale = 1);

// Writes `pic` as an 8-bit RGB PNG. Returns an empty string on success,
// else one line saying what failed.
std::string writepng(const std::string &path, const PICTURE &pic);
