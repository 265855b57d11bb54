// What the web stream draws of a cell: its material, its temperature in
// whole kelvins and whether it burns or burnt. The stream encodes these
// values and nothing else; the server draws them from the published world
// (server/web/drawworld), so pages see exactly what the exposure step
// and combustion test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A cell's state as drawn.
enum : uint8_t {
    CELLPLAIN = 0,   // neither burning nor burnt
    CELLBURNING = 1, // fuel left and kelvins at or past the ignition point
    CELLBURNT = 2,   // not burning; fuel down to BURNTFRACTION (shared/burning.h) of its material's start (more than 0)
};

// The drawn values of every cell, index x * sizey + y as in the world.
struct DRAWN {
    long sizex = 0, sizey = 0;
    std::vector<uint16_t> material; // index into HELLO's material table
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
