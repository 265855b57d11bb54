// The start-up's map loading: the world from the map file (built by the
// engine, engine/buildworld.h) and the players' start positions.
#pragma once

#include <cstdio>

#include "game/record.h"

// Prints "Loading <path>", reads the file and builds g's world and start
// positions. Returns -1 when the file cannot be opened (nothing built), 0
// after a complete load, 1 on bad content after printing its error line to
// standard error (start-up then ends with status 1).
int loadmap(GAME &g, const char *filename);
