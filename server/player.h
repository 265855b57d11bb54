// The player list: one PLAYERINFO entry per login, in login order, never
// removed; a player's number is the entry's index. Start positions from
// the map are handed out round robin in file order.
#pragma once

#include <pthread.h>

#include "wire.h"
#include "world.h"

// Lock order: playerlist_lock before s_pointindex_lock; neither is ever
// held together with a grid lock.
extern pthread_mutex_t playerlist_lock;    // guards playerlist, numplayers, every entry
extern PLAYERINFO *playerlist;             // guarded by playerlist_lock
extern int numplayers;                     // guarded by playerlist_lock
extern pthread_mutex_t s_pointindex_lock;  // guards s_pointindex
extern int s_pointindex;                   // guarded by s_pointindex_lock

// Numbers are never reused, so logins are bounded: past this many players
// the list (72 bytes an entry, and every "getplayerinfo;" answer) would
// grow for as long as clients log in, and the numbers would overflow.
enum { MAXPLAYERS = 1 << 20 };

// Adds a player named `name` (at most 29 characters are kept) at the next
// start position; returns its number, or -1 when there is no start
// position to give, the list holds MAXPLAYERS entries or cannot grow
// (nothing is added then).
int addplayer(const char *name);
// Marks player pnum as left (num -1). Nothing else changes.
void delplayer(int pnum);
// Moves player pnum to newinfo's x, y if it exists, is present and alive.
void chgplayerinfo(int pnum, PLAYERINFO newinfo);
// The next start position in turn. Called with playerlist_lock held.
void getstartpos(MAP_VERTEX *pos);

// Empties the list and the start-position turn. For tests only.
void resetplayers();
