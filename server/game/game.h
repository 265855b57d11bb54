// A game: its world and the tick's state, its players, the resume table
// and the rounds, in one record passed explicitly, and the calls the
// server makes of it. The server runs one (main.cpp); tests make, run and
// drop as many as they like, each with its own locks and threads. The
// game knows no front end: port 3140 (tcp/) and the web (web/) keep their
// own state in records of their own and hear of ticks through hooks.
//
// Locks, in the order they may be taken (doc/threads.md): world.curmap_lock
// before world.oldmap_lock; players.playerlist_lock before
// players.s_pointindex_lock; never a grid lock together with a player
// lock; resume_lock never together with any other; rounds.round_lock and
// rounds.board->board_lock never together with any other; nor
// lobby->lobby_lock.
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <vector>

#include "game/addresses.h"
#include "game/lobby.h"
#include "game/player.h"
#include "game/round.h"
#include "game/metrics.h"
#include "game/resume.h"
#include "engine/published.h"
#include "engine/snapshot.h"
#include "engine/tick/tick.h"
#include "engine/world.h"

struct game;

// What a tick tells its hooks: the tick's own seconds (the physics and its
// publication) and the cells that burnt in it.
struct TICKREPORT {
    double seconds = 0;
    size_t burning = 0;
};
// Called after every tick by the ticking thread, with no lock held, in the
// order added: fn(arg, g, report). A hook must not wait (on a client, a
// disk or a lock held for long): the web's stream cue, the checkpoint
// thread's signal.
struct TICKHOOK {
    void (*fn)(void *arg, struct game &g, const TICKREPORT &report);
    void *arg;
};

typedef struct game {
    game() = default;
    game(const game &) = delete;
    game &operator=(const game &) = delete;

    WORLD world;        // its own locks: curmap_lock, oldmap_lock
    TICKSTATE tick;     // guarded by world.curmap_lock
    PLAYERS players;    // its own locks: playerlist_lock, s_pointindex_lock

    pthread_mutex_t resume_lock = PTHREAD_MUTEX_INITIALIZER; // guards resumes
    RESUMES resumes; // guarded by resume_lock: the players of the fair policy, their resume tokens, who plays them, who is kept

    ROUNDS rounds; // its own locks: round_lock, and board_lock in its board
    std::shared_ptr<LOBBY> lobby = std::make_shared<LOBBY>(); // its own lock, lobby_lock: the fleet, names

    ADDRESSBUCKETS logins; // its own lock, address_lock: port 3140's logins by address

    METRICS metrics; // its registry, made by whoever runs the game (startmetrics); each metric guards itself

    std::atomic<bool> stopping{false}; // set by stopgame: the game's loops end

    // Added before the first tick (addtickhook), then read by the ticking
    // thread only.
    std::vector<TICKHOOK> hooks;
} GAME;

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
