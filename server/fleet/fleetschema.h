// The fleet database's tables and their upgrades, versioned like the
// store's: a table of one row holds the version, and each step takes the
// database from one version to the next. Servers of one fleet may start at
// once: the upgrade holds a transaction-level advisory lock, so one of
// them upgrades and the others find it done. A database of a newer
// version than this server knows is left alone (the fleet stays off).
//
// Version 1:
//   games    one row per game: its name, map and size, page address,
//            players present and capacity, round, phase and seconds left,
//            and when the row was last refreshed (the database's clock)
//   rounds   every ended round of every game, keyed by the game's name,
//            the round's number and its start: a result sent twice is
//            kept once
//   results  the players of each of them (keyed: joined with a key)
//   names    who owns a name: the SHA-256 of its player key
#pragma once

#include <string>

#include "fleet/pg.h"

enum { FLEETVERSION = 1 };

// Creates or upgrades the fleet's tables; false with the reason.
bool upgradefleet(PGLINK &db, std::string &error);
