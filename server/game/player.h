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
// True when no player can be added for want of room (maxpresent players
// present, or the list at MAXPLAYERS); the refusal's reason. Takes
// playerlist_lock.
bool playersfull(PLAYERS &p);
// The next start position in turn. Called with playerlist_lock held.
void getstartpos(PLAYERS &p, MAP_VERTEX *pos);

// A copy of the whole list, and the start turn into *startturn when given
// (under playerlist_lock, s_pointindex_lock inside it): the one way the
// list is read whole.
std::vector<PLAYERINFO> copyplayers(PLAYERS &p, int *startturn = nullptr);
// A copy of player pnum's entry; false when there is no such entry.
bool readplayer(PLAYERS &p, int pnum, PLAYERINFO &entry);
// The players present (num >= 0).
int presentplayers(PLAYERS &p);
// Calls f(PLAYERINFO *list, int numplayers) with playerlist_lock held, for
// a change the game makes in one hold (damage and credit). f takes no
// other lock and never waits.
template <class F> void changeplayers(PLAYERS &p, F &&f)
{
    pthread_mutex_lock(&p.playerlist_lock);
    f(p.playerlist, p.numplayers);
    pthread_mutex_unlock(&p.playerlist_lock);
}
// Every present player starts again (under playerlist_lock, the start
// turn under s_pointindex_lock inside it): the next start position in
// turn, health STARTHEALTH, score 0; number and name kept. Players who
// left keep their entry, their score back to 0.
void restartplayers(PLAYERS &p);
// Replaces the list and the start turn (a restore); false, nothing
// changed, when memory runs out.
bool setplayers(PLAYERS &p, const std::vector<PLAYERINFO> &list, int startturn);

// Empties the list, the start positions and the turn. For tests.
void resetplayers(PLAYERS &p);
