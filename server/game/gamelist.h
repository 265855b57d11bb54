// The games a game lists (GET /games): its own row, fresh, among the
// fleet's as the fleet thread last read them (lobby.h).
#pragma once

#include <vector>

#include "game/record.h"

// This game as a row of the list: its name, map, size, players present,
// capacity and round (playerlist_lock, then round_lock, one after the other).
GAMEROW gamerow(GAME &g);
// The games to list: the fleet's as last read (this game's own row taken
// fresh), or this game alone without a fleet; sorted by name. Takes
// lobby_lock, then gamerow's locks, one after the other.
std::vector<GAMEROW> listgames(GAME &g);
