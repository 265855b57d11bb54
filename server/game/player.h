// The player list: one PLAYERINFO entry per login, in login order, never
// removed; a player's number is the entry's index. Start positions from
// the map are handed out round robin in file order.
#pragma once

#include <pthread.h>

#include <vector>

#include "wire.h"
#include "engine/world.h"

// Numbers are never reused, so logins are bounded: past this many players
// the list (72 bytes an entry, and every getplayerinfo answer) would
// grow for as long as clients log in, and the numbers would overflow.
enum { MAXPLAYERS = 1 << 20 };

// Lock order: playerlist_lock before s_pointindex_lock; neither is ever
// held together with a grid lock.
typedef struct players {
    players() = default;
    ~players(); // frees the list
    players(const players &) = delete;
    players &operator=(const players &) = delete;

    pthread_mutex_t playerlist_lock = PTHREAD_MUTEX_INITIALIZER;   // guards playerlist, numplayers, every entry
    PLAYERINFO *playerlist = nullptr;                              // guarded by playerlist_lock
    int numplayers = 0;                                            // guarded by playerlist_lock
    int present = 0;                                               // guarded by playerlist_lock: entries not left
    int maxpresent = MAXPLAYERS;                                   // --max-players; set before the first login
    std::vector<MAP_VERTEX> s_points;                              // fixed once loading ends
    pthread_mutex_t s_pointindex_lock = PTHREAD_MUTEX_INITIALIZER; // guards s_pointindex
    int s_pointindex = 0;                                          // guarded by s_pointindex_lock
} PLAYERS;

// Adds a player named `name` (at most NAMEMAX characters are kept) at the
// next start position; returns its number, or -1 when there is no start
// position to give, maxpresent players are present, the list holds
// MAXPLAYERS entries or cannot grow (nothing is added then).
int addplayer(PLAYERS &p, const char *name);
// Marks player pnum as left (num -1). Nothing else changes.
void delplayer(PLAYERS &p, int pnum);
// Moves player pnum to newinfo's x, y if it exists, is present and alive.
void chgplayerinfo(PLAYERS &p, int pnum, PLAYERINFO newinfo);
// Counts the present players again after the list was replaced (a
// restore). Called with playerlist_lock held.
void recountpresent(PLAYERS &p);
// True when no player can be added for want of room (maxpresent players
// present, or the list at MAXPLAYERS); the refusal's reason. Takes
// playerlist_lock.
bool playersfull(PLAYERS &p);
// The next start position in turn. Called with playerlist_lock held.
void getstartpos(PLAYERS &p, MAP_VERTEX *pos);

// Empties the list, the start positions and the turn. For tests.
void resetplayers(PLAYERS &p);
