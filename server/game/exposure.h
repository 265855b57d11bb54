// The exposure step: a player on a hot cell loses health, and the players
// whose fires put heat into the cell gain score.
#pragma once

#include "game/record.h"

// Damage and credit for player `ourplayer` of g (nothing for -1): on a cell of
// more than HURTKELVINS whole kelvins, a living player loses one point of
// health per DAMAGESTEP kelvins above it, and each other player tagged in
// the cell's first CREDITSLOTS attribution slots gains that damage times
// its share of the cell's attributed heat (fractions dropped). Takes
// oldmap_lock and playerlist_lock in turn, never both.
void doexposure(GAME &g, int ourplayer);
