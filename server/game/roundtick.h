// The rounds' step of a game's tick, and their start (round.h has the
// rule and the record).
#pragma once

#include <cstddef>

#include "game/record.h"

// Starts the first round of g (after its map is loaded, before the first
// tick; g.rounds.length > 0): keeps the world as built for the resets
// unless keepfirstworld did (before a restore changed the world), and
// numbers the round after the board's last one unless a restored state
// gave it a number.
void startrounds(GAME &g, const char *mapfile);
// One tick of the round: ends it, or the intermission, when due. Called
// by tickgame after the physics, with no lock held.
void roundtick(GAME &g, size_t burning);
