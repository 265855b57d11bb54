// A new round's start: the world back to what its map file builds, every
// present player back at a start position. Used by the rounds (round.h)
// from the ticking thread.
#pragma once

#include "game/game.h"

// Keeps g's world as its map built it (g.rounds.first), with the map
// file's size and SHA-256 (none for "" or a file that cannot be read).
void keepfirstworld(GAME &g, const char *mapfile);
// Sets g's world back to its map: under curmap_lock then oldmap_lock,
// both buffers, the fuel and the outside as first built, no attribution,
// no queued fires, nothing settled. The map file is read again: when it
// cannot be read or its content changed, the world is the map as first
// loaded and one line on standard output says so.
void restartworld(GAME &g);
// Every present player starts again (under playerlist_lock, the start
// turn under s_pointindex_lock inside it): the next start position in
// turn, health STARTHEALTH, score 0; number and name kept. Players who
// left keep their entry, their score back to 0.
void restartplayers(GAME &g);
