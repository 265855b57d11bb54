// The record of a game: its world and the tick's state, its players, the
// resume table, the rounds, the lobby, port 3140's login allowances, its
// metrics and its tick hooks, each lock beside what it guards. The
// game's own files and the parts of its interface (game.h) include it;
// the layers above include game.h.
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
