// The store's rows of the rounds: the round under way (table roundstate,
// saved with each checkpoint) and the ended rounds with their players'
// results (tables rounds and results), from which the board is built.
#pragma once

#include <string>

#include "game/game.h"
#include "store/sqlite.h"
#include "store/store.h"

// The round under way as the one row of roundstate, inside the caller's
// transaction.
bool writeroundstate(sqlite3 *db, const SAVEDROUND &r);
// That row (number 0 when there is none); false with SQLite's message.
bool readroundstate(sqlite3 *db, SAVEDROUND &r, std::string &error);
// One ended round and its results, inside the caller's transaction;
// false when a statement failed (SQLite's message on db).
bool writeroundrows(sqlite3 *db, const ROUNDRESULT &r);
// The board of every stored round.
bool loadboardrows(sqlite3 *db, LEADERBOARD &b, std::string &error);
// The lobby's rows (outbox, names), inside the caller's transaction (as
// writeroundrows); and reading them back (the outbox's rounds with their
// results).
bool writelobbyrows(sqlite3 *db, const LOBBYROWS &rows);
bool loadlobbyrows(sqlite3 *db, LOBBYROWS &rows, std::string &error);
