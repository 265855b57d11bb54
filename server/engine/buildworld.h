// Building a world from what a map file said (the engine's world builder).
#pragma once

#include <cstdio>

#include "engine/mapfile.h"
#include "engine/world.h"

// Builds w from what a map file said: its size, every cell of its unit
// type (heat temp x calperc, fuel, no tags), the outside cell from type 0,
// the map's name. Prints the start-up progress to `progress` when it is
// not null ("Decoding map...", the two allocation lines, "Setting up map"
// and a dot per column). Throws MAPERROR for a cell value that names no
// type, a missing outside type or a used type without heat capacity, in
// that order of checking.
void makemap(const MAPFILE &f, WORLD &w, FILE *progress);
