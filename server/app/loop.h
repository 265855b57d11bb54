// The simulation loop of the main thread.
#pragma once

#include "game/game.h"

// Tick g (tickgame, which tells the game's hooks), pause g.tick.interval,
// repeat until the game stops (stopgame).
void mainloop(GAME &g);
