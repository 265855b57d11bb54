// GET /games: the live games of the fleet (this game alone without one) as
// JSON (Boost.JSON), sorted by name:
//   {"games": [{"name", "map", "width", "height", "url", "players",
//               "maxplayers", "round": n | null,
//               "phase": "playing" | "intermission" | null,
//               "left": seconds | null, "full", "self"}, ...]}
#pragma once

#include <string>

#include "game/game.h"

// The JSON text of the games now; `host` is the request's Host field,
// this game's address when it has no --public-url. Takes lobby_lock,
// playerlist_lock, then round_lock, one after the other.
std::string gamesjson(GAME &g, const std::string &host);
