// GET /leaderboard: the board of a game's rounds as JSON (Boost.JSON):
//   {"rounds": n, "top": [{"name", "score", "rounds", "deaths"}, ... up to 10],
//    "unkeyed": [the same, for players without a key],
//    "last": null | {"number", "game", "map", "started", "ended", "why",
//                    "top": [{"name", "score", "died"}, ... up to 3]},
//    "round": null | {"number", "phase": "playing"|"intermission", "left": seconds}}
#pragma once

#include <string>

#include "game/game.h"

// The JSON text of g's board now: with a fleet, the fleet's board as the
// fleet thread last read it. Takes lobby_lock, board_lock, then
// round_lock, one after the other.
std::string leaderboardjson(GAME &g);
