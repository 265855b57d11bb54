// Port 3140 of a game: what the front end keeps of it (the listening
// socket, the map answers its connections share, the count of its open
// connections). The listener's loop is listener.h's.
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
