// A game: its world and the tick's state, its players, the map answers its
// readers share, and what the web endpoint keeps of it, in one record
// passed explicitly. The server runs one (main.cpp); tests make, run and
// drop as many as they like, each with its own locks and threads.
//
// Locks, in the order they may be taken (doc/threads.md): world.curmap_lock
// before world.oldmap_lock; players.playerlist_lock before
// players.s_pointindex_lock; never a grid lock together with a player
// lock; web_lock never together with any other; rounds.round_lock and
// rounds.board->board_lock never together with any other.
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <vector>

#include "tcp/mapanswer.h"
#include "game/metrics.h"
#include "game/player.h"
#include "game/round.h"
#include "game/resume.h"
#include "engine/tick/tick.h"
#include "engine/world.h"

struct WEBGAME; // what the web endpoint keeps of a game (web/webgame.h)

typedef struct game {
    game() = default;
    game(const game &) = delete;
    game &operator=(const game &) = delete;

    WORLD world;        // its own locks: curmap_lock, oldmap_lock
    TICKSTATE tick;     // guarded by world.curmap_lock
    PLAYERS players;    // its own locks: playerlist_lock, s_pointindex_lock
    MAPANSWERS answers; // guarded by world.oldmap_lock

    pthread_mutex_t web_lock = PTHREAD_MUTEX_INITIALIZER; // guards resumes
    RESUMES resumes; // guarded by web_lock: the players of the fair policy, their resume tokens, who plays them, who is kept

    ROUNDS rounds; // its own locks: round_lock, and board_lock in its board

    METRICS metrics; // its registry, made by whoever runs the game (startmetrics); each metric guards itself

    std::atomic<bool> stopping{false}; // set by stopgame: the game's loops end
    std::atomic<int> connections{0};   // open connections of the game's port 3140

    // The web endpoint's state of this game, null without an endpoint; and
    // what it is told after every tick, with no lock held (it must not
    // wait on a client): the tick's own seconds and the cells that burnt.
    // Both set before the first tick.
    std::shared_ptr<WEBGAME> web;
    void (*observer)(struct game &g, double seconds, size_t burning) = nullptr;
} GAME;

// The numbers of the players of the fair policy (takes web_lock).
std::vector<int> webplayernumbers(GAME &g);
