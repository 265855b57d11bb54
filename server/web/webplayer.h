// Fair play for web players: a web player is an entry of the same player
// list as the TCP players, which may only move itself, one step at a time
// to a neighbouring cell on the map that does not block, and only while
// alive, at a bounded rate of moves and fires.
#pragma once

#include <string>

#include "tokenbucket.h"

// What one web client plays: its player (-1 before it joins) and its buckets.
struct WEBPLAYER {
    int num = -1;
    TOKENBUCKET moves; // at most 20 moves and 20 fires a second
    TOKENBUCKET fires;
};

// Joins the game as a new player named `name` (checked by the caller: 1 to
// NAMEMAX bytes, none below 32). A player the client had is marked as
// left first. Returns the new number, or -1 when the game has no start
// position to give or no room (the client then has no player).
int webjoin(WEBPLAYER &p, const std::string &name);
// One step by (dx, dy), each -1, 0 or 1. Dropped (and counted) over the
// rate, refused (and counted) for a client without a living player or a
// step off the map or onto a blocking cell. True when the player moved.
bool webmove(WEBPLAYER &p, int dx, int dy);
// A fire on the player's cell, as "setfire;" does for a TCP player; dropped
// (and counted) over the rate. True when the fire was set.
bool webfire(WEBPLAYER &p);
// The client went away: its player, if any, is marked as left.
void webleave(WEBPLAYER &p);
