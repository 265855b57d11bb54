// A new round's world: the world back to what its map file builds. Used
// by the rounds (round.h) from the ticking thread; the players start again
// through restartplayers (player.h).
#pragma once

#include "game/record.h"

// Keeps g's world as its map built it (g.rounds.first), with the map
// file's identity (none for "" or a file that cannot be read).
void keepfirstworld(GAME &g, const char *mapfile);
// Sets g's world back to its map (resetworldto): both buffers, the fuel
// and the outside as first built, no attribution, no queued fires,
// nothing settled. The map file is read again: when it cannot be read or
// its content changed, the world is the map as first loaded and one line
// on standard output says so.
void restartworld(GAME &g);
