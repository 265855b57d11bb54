// The bridge between the oracle and a world of the server: the published
// state copied in and out, and compared to the last bit.
#pragma once

#include <string>

#include "oracle.h"
#include "engine/world.h"
#include "testgame.h"

// One cell from a whole record of the server, and back into one (every
// field the oracle's cell holds).
void oracle_fromserver(ORACELL &o, const MAPUNIT &m);
void oracle_toserver(MAPUNIT &m, const ORACELL &o);

// Copies the world's published state (oldmap, outside, sizes) into a new
// oracle world, under oldmap_lock. The tick length is the fixed 0.1 s.
ORACLEWORLD oracle_snapshot(WORLD &s = testgame.world);

// Writes every cell of w's published grid, whole, into the world's oldmap
// (under oldmap_lock); when the sizes differ it writes nothing. Lets a test put a world into
// a state (attribution, odd heats) that no map file can describe. Does not
// touch the world's outside.
void oracle_install(const ORACLEWORLD &w, WORLD &s = testgame.world);

// Compares, under oldmap_lock, w's published grid with the world's oldmap,
// byte for byte over the 10 significant bytes of each long double, cell by
// cell in index order: totalcal, fuellevel, then slot by slot the heatsource
// tag and the sourcequan; then the totalcal of the two outside cells.
// Returns true when all are equal. Otherwise, when diff is not null, writes into it the
// first difference: cell, field and both values (%La).
bool oracle_same(const ORACLEWORLD &w, std::string *diff, WORLD &s = testgame.world);
