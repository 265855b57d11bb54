// A game, as the server sees it: one record passed explicitly (GAME,
// record.h) and the calls the layers above make of it. The server runs
// one (main.cpp); tests make, run and drop as many as they like, each
// with its own locks and threads. The game knows no front end: port 3140
// (tcp/) and the web (web/) keep their own state in records of their own
// and hear of ticks through hooks.
//
// This is the game's one interface: the front ends, the store, the fleet
// and the program include this header and no other of game/ (but
// stopthread.h, a helper of their threads). The calls are here and in the
// parts it includes, each beside its own code:
//   actions.h   a client's actions (join, move, fire, leave, resume, drop)
//               under the classic and the fair policy
//   exposure.h  the exposure step of port 3140's players
//   loadmap.h   a map loaded into a game at start-up
//   newround.h, roundtick.h   the world kept for the rounds, their start
//   gamelist.h, names.h       the list of games, the names and keyed JOIN
//   gamemap.h   the map's size, name and start positions
// and the records they take and give (the board, the lobby, the resume
// tokens, the metrics, the login allowances) come with record.h.
#pragma once

#include "game/record.h"
#include "game/actions.h"
#include "game/exposure.h"
#include "game/gamelist.h"
#include "game/gamemap.h"
#include "game/loadmap.h"
#include "game/names.h"
#include "game/newround.h"
#include "game/roundtick.h"

// The numbers of the players of the fair policy (takes resume_lock).
std::vector<int> webplayernumbers(GAME &g);

// One entry of the player list as readers copy it: the entry (num -1
// once left) and whether it plays under the fair policy (the web).
struct LISTEDPLAYER {
    PLAYERINFO info;
    bool web = false;
};
// A copy of g's player list in number order, the start turn into
// *startturn when given: resume_lock for the web players' numbers, then
// playerlist_lock (copyplayers), one after the other.
std::vector<LISTEDPLAYER> listplayers(GAME &g, int *startturn = nullptr);

// Adds a hook told after every tick (before the first tick).
void addtickhook(GAME &g, void (*fn)(void *arg, GAME &g, const TICKREPORT &report), void *arg);
// One tick of the game, as the simulation loop runs it every
// g.tick.interval: the physics and its publication (dophys), the round's
// step (roundtick), the exposure step of every player of the fair policy,
// the end of kept players whose keep time is up, the tick's metrics, then
// the hooks.
void tickgame(GAME &g);
// Ends the game's loops: the simulation loop returns after its tick; a
// front end's loop ends once it sees it (and its own stop wakes it).
void stopgame(GAME &g);
// True once stopgame was called.
bool gamestopping(const GAME &g);
// Calls f(const WORLD &) with the published state held still (oldmap_lock;
// engine/published.h says what f may read and how long it may take).
template <class F> void readcells(GAME &g, F &&f) { readpublished(g.world, f); }
// A copy of g's published world for the store (takesnapshot: only a
// tick's swap waits for it), and putting one back into g before it ticks
// (restoresnapshot).
void snapshotgame(GAME &g, WORLDSNAPSHOT &s);
void restoregame(GAME &g, const WORLDSNAPSHOT &s);
