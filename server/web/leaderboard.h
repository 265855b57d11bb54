// GET /leaderboard: the board of a game's rounds as JSON (Boost.JSON):
//   {"rounds": n, "top": [{"name", "score", "rounds", "deaths"}, ... up to 10],
//    "last": null | {"number", "map", "started", "ended", "why",
//                    "top": [{"name", "score", "died"}, ... up to 3]},
//    "round": null | {"number", "phase": "playing"|"intermission", "left": seconds}}
#pragma once

#include <string>

#include "game/game.h"

// The JSON text of g's board now. Takes board_lock, then round_lock, one
// after the other.
std::string leaderboardjson(GAME &g);
