// Port 3140 of a game: what the front end keeps of it (the listening
// socket, the map answers its connections share, the count of its open
// connections) and the listener thread's loop.
#pragma once

#include <atomic>

#include "game/game.h"
#include "tcp/mapanswer.h"

struct TCPPORT {
    TCPPORT() = default;
    TCPPORT(const TCPPORT &) = delete;
    TCPPORT &operator=(const TCPPORT &) = delete;

    GAME *game = nullptr; // the game it serves
    int sockfd = -1;      // the listening socket (setupnet)
    MAPANSWERS answers;   // guarded by the game's oldmap_lock (taken through readcells)
    std::atomic<int> connections{0}; // open connections
};

// The listener thread (`arg` points at a TCPPORT that outlives it):
// check4new until the game stops (stoplistener wakes a waiting accept).
void *netloop(void *arg);
// Shuts the listening socket down, which wakes a waiting accept: netloop
// then ends once the game stops. Connections already open go on until
// their clients leave (`connections` counts them).
void stoplistener(TCPPORT &t);
