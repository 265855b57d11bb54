// The store at start-up: opened for the loaded map's file, its world
// discarded when asked, else restored into the game. The caller (main)
// decides what a refusal does; nothing here ends the process.
#pragma once

#include <string>

#include "store/checkpointer.h"

// Opens the store `path` for game g, whose world was loaded from the map
// file `mappath`, into c.store, then with `fresh` drops its world (the
// rounds played stay), else restores it into g. 1 when a world was
// restored (g.world.ticks is its tick), 0 when g keeps the map's world,
// -1 with the refusal's line (c.store left empty, the file as it was).
int openstate(GAME &g, const std::string &path, const std::string &mappath, bool fresh, CHECKPOINTER &c,
              std::string &error);
