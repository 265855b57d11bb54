// The game's map as its players and the layers above see it.
#pragma once

#include <cstddef>
#include <string>

#include "game/record.h"

// The game's map as players see it: its size in cells, its name without
// the closing quote mark the map file keeps, and how many start positions
// it has. Fixed once the map is loaded.
struct GAMEMAP {
    long sizex = 0;
    long sizey = 0;
    std::string name;
    size_t starts = 0;
};
GAMEMAP gamemap(const GAME &g);
