// Port 3140 of a game: what the front end keeps of it (the listening
// socket, the map answers its connections share, the count of its open
// connections, the send timeout of its connections and the bytes they
// sent). The listener's loop is listener.h's.
#pragma once

#include <atomic>
#include <cstdint>

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
    // Seconds an answer may wait for a client that reads nothing before the
    // connection ends (0: for ever): a client that never reads would
    // otherwise hold its answer (a whole picture of the map) for ever. Set
    // before connections start (the server from --stall-timeout).
    int stall = 0;
    std::atomic<uint64_t> bytessent{0}; // lock-free: every connection thread adds to it
    double bytesseen = 0; // what /metrics was told of bytessent: the scraping thread's
};

// Adds the connections and payload bytes of port t to its game's metrics,
// read at each scrape. Before the threads.
void tcpmetrics(TCPPORT &t);
