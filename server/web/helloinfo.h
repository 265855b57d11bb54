// What HELLO tells of the server's world, taken from it once it is loaded:
// its sizes, its name and its material table with the colours the game
// gives them.
#pragma once

#include "messages.h"
#include "engine/world.h"

// HELLO's input for w at tick 0. Reads only what is fixed once the world
// is loaded (sizes, name, materials), so needs no lock.
HELLOINFO helloinfo(const WORLD &w);
