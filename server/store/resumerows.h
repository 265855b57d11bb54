// The store's rows of resume tokens (table `resume`): a token's SHA-256,
// its player and when it was issued. Written and read inside the
// transaction of the checkpoint they belong to (sqlitestore.cpp).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "game/game.h"
#include "store/sqlite.h"

// True when both lists hold the same tokens in the same order.
bool sametokens(const std::vector<SAVEDTOKEN> &a, const std::vector<SAVEDTOKEN> &b);
// Replaces every row with `tokens`, adding the bytes written to `bytes`.
// False on an error (sqlite3_errmsg says which).
bool writetokenrows(sqlite3 *db, const std::vector<SAVEDTOKEN> &tokens, size_t &bytes);
// Reads the rows, by number, of a checkpoint of `players` players; false
// with the reason when a row is undecodable or the table unreadable.
bool readtokenrows(sqlite3 *db, size_t players, std::vector<SAVEDTOKEN> &tokens, std::string &why);
