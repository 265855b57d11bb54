// What the fleet thread asks of the fleet's database, one call a concern
// (heartbeat.cpp, outbox.cpp, fleetnames.cpp, fleetboard.cpp). Each call
// is given what it needs, copied from the game beforehand: none of them
// touches the game or holds a lock. False with db.error on failure.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "fleet/pg.h"
#include "game/game.h"

// Stores the game's row as fresh now (the database's clock).
bool storebeat(PGLINK &db, const GAMEROW &row);
// The games whose rows are younger than `stale` seconds, by name.
bool readgames(PGLINK &db, double stale, std::vector<GAMEROW> &games);

// Sends one ended round of game `game` with its players' results, in one
// transaction; a round already there (a retry) changes nothing.
bool sendresult(PGLINK &db, const std::string &game, const ROUNDRESULT &r);

// Claims each name for its key where nobody owns it yet, then reads every
// one's owner into `owners`.
bool claimnames(PGLINK &db, const std::vector<std::pair<std::string, KEYHASH>> &names,
                std::vector<std::pair<std::string, KEYHASH>> &owners);

// The fleet's board: rounds played, the best `top` totals of players with
// a key and of those without, and the last round to arrive with its best.
bool readfleetboard(PGLINK &db, size_t top, LEADERBOARD &b);
